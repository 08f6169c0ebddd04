#include <windows.h>

#include "platform/wide_text_win32.h"
#include "testing/special_files.h"

namespace inkbinder::testing {

bool MakeSymbolicLink(const std::string& target, const std::string& at, std::string* why) {
  // The C++ library of this build has no links on Windows; the system has.
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (CreateSymbolicLinkW(Utf8ToWide(at).c_str(), Utf8ToWide(target).c_str(), kUnprivileged)) {
    return true;
  }
  *why = "error " + std::to_string(GetLastError());
  return false;
}

bool MakeFifo(const std::string&) { return false; }

bool SetWindowsAttributes(const std::string& path, std::uint32_t attributes) {
  const std::wstring wide = Utf8ToWide(path);
  return SetFileAttributesW(wide.c_str(), attributes) &&
         (GetFileAttributesW(wide.c_str()) & attributes) == attributes;
}

bool ExtendSparse(const std::string& path, std::int64_t size) {
  // Not the C runtime's size change, which writes every zero.
  HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD ignored = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = size;
  const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return ok;
}

ScopedFileSizeLimit::ScopedFileSizeLimit(std::int64_t) {}
ScopedFileSizeLimit::~ScopedFileSizeLimit() = default;

}  // namespace inkbinder::testing
