#include <windows.h>

#include <cstdio>
#include <string>

#include "compiler/folder_lock.h"
#include "project/wide_text_win32.h"

namespace inkbinder {

namespace {

// The folder's one name whatever the spelling: resolved through the file
// system (links, 8.3 names, "..") where it can be opened, then case-folded.
std::wstring CanonicalFolder(const std::wstring& folder) {
  std::wstring path;
  HANDLE handle = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    const DWORD n = GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED);
    if (n > 0) {
      path.resize(n);
      const DWORD got = GetFinalPathNameByHandleW(handle, path.data(), n, FILE_NAME_NORMALIZED);
      path.resize(got < n ? got : 0);
    }
    CloseHandle(handle);
  }
  if (path.empty()) {
    const DWORD n = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    path.resize(n);
    const DWORD got = GetFullPathNameW(folder.c_str(), n, path.data(), nullptr);
    path.resize(got < n ? got : 0);
    if (path.empty()) path = folder;
  }
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  if (!path.empty()) CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
  return path;
}

}  // namespace

FolderLock::~FolderLock() {
  if (held_ != -1) CloseHandle(reinterpret_cast<HANDLE>(held_));
}

bool FolderLock::TryLock(const std::string& folder) {
  // Mutex names are short and hold no '\': the path goes in as a 64-bit FNV-1a hash.
  std::uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : CanonicalFolder(Utf8ToWide(folder))) {
    hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
  }
  wchar_t name[64];
  swprintf(name, 64, L"Local\\InkbinderFolder-%016llx", static_cast<unsigned long long>(hash));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
  if (mutex == nullptr) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  if (held_ != -1) CloseHandle(reinterpret_cast<HANDLE>(held_));
  held_ = reinterpret_cast<std::intptr_t>(mutex);
  return true;
}

}  // namespace inkbinder
