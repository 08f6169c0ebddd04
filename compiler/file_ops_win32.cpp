#include <windows.h>

#include "compiler/file_ops.h"
#include "project/wide_text_win32.h"

namespace inkbinder {

namespace {

std::uint64_t Join(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Nanoseconds from 1601 overflow 64 bits in 1893: count from 1970 instead.
std::int64_t UnixNanoseconds(const FILETIME& t) {
  constexpr std::int64_t k1601To1970 = 116444736000000000;  // in 100 ns units
  return (static_cast<std::int64_t>(Join(t.dwHighDateTime, t.dwLowDateTime)) - k1601To1970) * 100;
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

bool DeleteFileAt(const std::string& path) { return DeleteFileW(Utf8ToWide(path).c_str()) != 0; }

}  // namespace inkbinder
