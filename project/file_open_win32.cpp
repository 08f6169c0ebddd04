#include <windows.h>
#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "project/file_open.h"
#include "project/wide_text_win32.h"

namespace inkbinder {

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  return _wfopen(Utf8ToWide(utf8_path).c_str(), Utf8ToWide(mode).c_str());
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

}  // namespace inkbinder
