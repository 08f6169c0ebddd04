#include "win32/win32_text.h"

#include "platform/text.h"

namespace inkbinder::win32 {

void SetControlText(HWND hwnd, const std::string& utf8) {
  SetWindowTextA(hwnd, Utf8ToCodePage(utf8, kSystemAnsi).c_str());
}

std::string ControlText(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  if (length <= 0) return "";
  std::string bytes(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(hwnd, bytes.data(), length + 1);
  bytes.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return CodePageToUtf8(bytes, kSystemAnsi);
}

}  // namespace inkbinder::win32
