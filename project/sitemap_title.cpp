#include "project/sitemap_title.h"

namespace inkbinder {

std::string TitleForSitemap(std::string_view utf8, CodePage code_page, size_t max_bytes) {
  // Most titles fit whole, and one conversion each way tells.
  const std::string whole = Utf8ToCodePage(utf8, code_page);
  if (whole.size() <= max_bytes && CodePageToUtf8(whole, code_page) == utf8) {
    return std::string(utf8);
  }
  std::string out;
  size_t written = 0;  // bytes `out` takes in the code page
  size_t pos = 0;
  while (pos < utf8.size()) {
    const size_t start = pos;
    char32_t c = 0;
    const bool is_character = NextCodePoint(utf8, &pos, &c);
    const std::string_view original = utf8.substr(start, pos - start);
    std::string piece(original);
    size_t size = 1;  // ASCII; a byte that is no character, or U+FFFD: written '?'
    if (is_character && c >= 0x80 && c != 0xFFFD) {
      const std::string bytes = Utf8ToCodePage(original, code_page);
      if (CodePageToUtf8(bytes, code_page) == original) {
        size = bytes.size();
      } else {
        piece = "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
        size = piece.size();
      }
    }
    if (written + size > max_bytes) break;
    out += piece;
    written += size;
  }
  return out;
}

}  // namespace inkbinder
