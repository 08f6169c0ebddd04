#pragma once

#include <string>
#include <string_view>

namespace inkbinder {

// Code pages are explicit. kSystemAnsi is the system's ANSI code page: CP_ACP
// on Windows; on other systems code page 936, the one our books are read in.
enum CodePage : unsigned { kSystemAnsi = 0, kCodePage936 = 936 };

// UTF-8 to the code page. A character the code page cannot hold becomes '?',
// as the Windows conversion writes it.
std::string Utf8ToCodePage(std::string_view utf8, CodePage code_page);
// The code page to UTF-8. A byte sequence that is not valid there becomes U+FFFD.
std::string CodePageToUtf8(std::string_view bytes, CodePage code_page);
// True when `utf8` survives a trip to the code page and back unchanged.
bool FitsCodePage(std::string_view utf8, CodePage code_page);

// UTF-16 (little- or big-endian, no BOM) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian);

bool IsValidUtf8(std::string_view text);
// Decodes the character at text[*pos] and moves past it. False, one byte on,
// when no valid shortest-form UTF-8 sequence starts there.
// Inline: every conversion and comparison of names calls it for each character.
inline bool NextCodePoint(std::string_view text, size_t* pos, char32_t* cp) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b0 = byte(*pos);
  size_t len;
  char32_t value;
  if (b0 < 0x80) {
    *cp = b0;
    ++*pos;
    return true;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, value = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, value = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, value = b0 & 0x07;
  } else {
    ++*pos;
    return false;
  }
  if (*pos + len > text.size()) {
    ++*pos;
    return false;
  }
  for (size_t i = 1; i < len; ++i) {
    const unsigned char b = byte(*pos + i);
    if ((b & 0xC0) != 0x80) {
      ++*pos;
      return false;
    }
    value = (value << 6) | (b & 0x3F);
  }
  const bool overlong = (len == 3 && value < 0x800) || (len == 4 && value < 0x10000);
  const bool bad = value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF);
  if (overlong || bad) {
    ++*pos;
    return false;
  }
  *pos += len;
  *cp = value;
  return true;
}

void AppendUtf8(std::string* out, char32_t code_point);

// `text` fit for one line of a terminal or a log: control characters (C0,
// DEL, C1), line and paragraph separators, bidirectional controls and bytes
// that are no UTF-8 are written as escapes (\n, \t, \x1b, \u202e), so a
// name can neither break the line nor drive the terminal. Text stays as it is.
std::string PrintableText(std::string_view text);

// Lower-cases by the Unicode simple lower-case mapping, character by
// character; what has no lower case (Chinese, for one) stays. Works on UTF-8
// only: bytes of other encodings are not characters, and stay as they are.
std::string LowerCase(std::string_view utf8);
// One character's simple lower case; the character itself when it has none.
char32_t LowerCaseCodePoint(char32_t code_point);

// ASCII letters only, for markup, keys and names that readers compare this
// way; every other byte stays, so code page 936 text passes unharmed.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
std::string AsciiLowerCase(std::string_view text);
// Inline: sitemaps of 100,000 pages compare a few million tag and attribute names.
inline bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// `text` without the blanks (spaces and tabs) at either end.
std::string_view TrimBlanks(std::string_view text);

}  // namespace inkbinder
