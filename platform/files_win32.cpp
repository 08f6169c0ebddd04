#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <atomic>
#include <string>
#include <cstdio>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/wide_text_win32.h"

namespace inkbinder {

const std::size_t kLongestPathBytes = MAX_PATH - 1;

std::string FileSystemBytes(const std::string& utf8) { return Utf8ToCodePage(utf8, kSystemAnsi); }

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  return _wfopen(Utf8ToWide(utf8_path).c_str(), Utf8ToWide(mode).c_str());
}

namespace {

// A disk file's handle, opened for reading, and its size; null for anything else.
HANDLE OpenRegular(const std::string& path, std::uint64_t* size) {
  HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  // A pipe or a device (NUL, CON, a named pipe) is no page: only disk files are read.
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(file);
    return nullptr;
  }
  *size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return file;
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& utf8_path, std::uint64_t* size) {
  std::uint64_t bytes = 0;
  HANDLE file = OpenRegular(utf8_path, &bytes);
  if (file == nullptr) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "rb");
  if (stream == nullptr) {
    _close(fd);
    return nullptr;
  }
  if (size != nullptr) {
    setvbuf(stream, nullptr, _IONBF, 0);
    *size = bytes;
  }
  return stream;
}

bool RegularFileReader::Open(const std::string& utf8_path) {
  Close();
  HANDLE file = OpenRegular(utf8_path, &size_);
  if (file == nullptr) {
    size_ = 0;
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

bool RegularFileReader::Read(char* buffer, std::size_t want, std::size_t* got) {
  *got = 0;
  if (handle_ == -1) return false;
  while (*got < want) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(want - *got, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer + *got, chunk, &n, nullptr)) return false;
    if (n == 0) break;
    *got += n;
  }
  return true;
}

void RegularFileReader::Close() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
  size_ = 0;
}

bool ReplaceFileContents(const std::string& utf8_path, std::string_view bytes) {
  const std::wstring target = Utf8ToWide(utf8_path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return false;
  }
  static std::atomic<unsigned> counter{0};
  HANDLE file = INVALID_HANDLE_VALUE;
  std::wstring temp;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L".tmp";
    file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data(), chunk, &written, nullptr) && written > 0;
    bytes.remove_prefix(written);
  }
  ok = CloseHandle(file) && ok;
  // A link at the target is replaced as a name, like any file.
  ok = ok && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

bool IsTemporaryNameFor(const std::string& entry, const std::string& target) {
  // <target>.<pid>-<counter>.tmp
  const std::string prefix = target + ".";
  if (entry.size() <= prefix.size() + 6 || _strnicmp(entry.c_str(), prefix.c_str(), prefix.size()) != 0 ||
      _stricmp(entry.c_str() + entry.size() - 4, ".tmp") != 0) {
    return false;
  }
  const std::string middle = entry.substr(prefix.size(), entry.size() - 4 - prefix.size());
  const size_t dash = middle.find('-');
  return dash != std::string::npos && dash > 0 && dash + 1 < middle.size() &&
         middle.find_first_not_of("0123456789-") == std::string::npos &&
         middle.find('-', dash + 1) == std::string::npos;
}

namespace {

std::uint64_t Join(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Nanoseconds from 1601 overflow 64 bits in 1893: count from 1970 instead.
std::int64_t UnixNanoseconds(const FILETIME& t) {
  return (static_cast<std::int64_t>(Join(t.dwHighDateTime, t.dwLowDateTime)) -
          static_cast<std::int64_t>(kFileTimeOf1970)) * 100;
}

}  // namespace

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  const std::wstring wide = Utf8ToWide(path);
  // No access rights asked: the stamp can be taken while the compiler still holds the file.
  HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  if (file != INVALID_HANDLE_VALUE) {
    const bool got = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (got) {
      stamp.exists = true;
      stamp.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
      stamp.modified_ns = UnixNanoseconds(info.ftLastWriteTime);
      stamp.id = Join(info.nFileIndexHigh, info.nFileIndexLow);
      return stamp;
    }
  }
  // Cannot be opened at all (say, locked without sharing): what the folder entry says.
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return stamp;
  stamp.exists = true;
  stamp.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
  stamp.modified_ns = UnixNanoseconds(data.ftLastWriteTime);
  return stamp;
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReplaceable(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool DeleteFileAt(const std::string& path) { return DeleteFileW(Utf8ToWide(path).c_str()) != 0; }

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
