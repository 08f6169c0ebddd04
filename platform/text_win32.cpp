#include <windows.h>

#include "platform/text.h"
#include "platform/wide_text_win32.h"

namespace inkbinder {

namespace {

// Our code page numbers are Windows' own: kSystemAnsi is CP_ACP.
UINT WindowsCodePage(CodePage code_page) { return static_cast<UINT>(code_page); }

bool IsUtf8CodePage(UINT code_page) {
  return code_page == CP_UTF8 || (code_page == CP_ACP && GetACP() == CP_UTF8);
}

// Converts one run of bytes that must be valid in the code page; false when it is not.
bool DecodeStrict(UINT code_page, const char* bytes, int size, std::wstring* out) {
  const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
  if (n <= 0) return false;
  const size_t at = out->size();
  out->resize(at + static_cast<size_t>(n));
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes, size, out->data() + at, n);
  return true;
}

}  // namespace

std::string Utf8ToCodePage(std::string_view utf8, CodePage code_page) {
  const UINT cp = WindowsCodePage(code_page);
  const std::wstring wide = Utf8ToWide(utf8);
  if (IsUtf8CodePage(cp)) return WideToUtf8(wide);
  // The ANSI code pages hold nothing beyond the Basic Multilingual Plane: one
  // '?' per such character, not one per UTF-16 unit.
  std::wstring bmp;
  bmp.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) ++i;
      bmp += L'?';
    } else {
      bmp += c;
    }
  }
  if (bmp.empty()) return std::string();
  // No "best fit" look-alikes: a character the code page lacks becomes '?'.
  const int size = static_cast<int>(bmp.size());
  const int n =
      WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, bmp.data(), size, nullptr, 0, "?", nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, bmp.data(), size, out.data(), n, "?", nullptr);
  return out;
}

std::string CodePageToUtf8(std::string_view bytes, CodePage code_page) {
  const UINT cp = WindowsCodePage(code_page);
  if (bytes.empty()) return std::string();
  if (IsUtf8CodePage(cp)) return WideToUtf8(Utf8ToWide(bytes));
  std::wstring wide;
  if (DecodeStrict(cp, bytes.data(), static_cast<int>(bytes.size()), &wide)) {
    return WideToUtf8(wide);
  }
  // Something is not valid: go character by character, U+FFFD for each bad
  // one. A lead byte whose trail is wrong costs one byte, so the trail is read
  // again as a character of its own.
  wide.clear();
  for (size_t i = 0; i < bytes.size();) {
    const bool lead = IsDBCSLeadByteEx(cp, static_cast<BYTE>(bytes[i])) != 0;
    const size_t length = lead && i + 1 < bytes.size() ? 2 : 1;
    if (!(lead && length == 1) &&
        DecodeStrict(cp, bytes.data() + i, static_cast<int>(length), &wide)) {
      i += length;
    } else {
      wide += L'\xFFFD';
      ++i;
    }
  }
  return WideToUtf8(wide);
}

}  // namespace inkbinder
