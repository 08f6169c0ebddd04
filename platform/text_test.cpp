#include <string>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "testing/bytes_assert.h"

namespace inkbinder {
namespace {

TEST(TextEncodingTest, CodePage936RoundTrip) {
  struct Case {
    const char* utf8;
    std::string bytes;
  } cases[] = {
      {"目录", "\xC4\xBF\xC2\xBC"},
      {"中文(中国)", "\xD6\xD0\xCE\xC4(\xD6\xD0\xB9\xFA)"},
      {"abc", "abc"},
      {"€", "\x80"},  // Windows' 936 has the euro sign; plain GBK does not
  };
  for (const Case& c : cases) {
    EXPECT_SAME_BYTES(c.bytes, Utf8ToCodePage(c.utf8, kCodePage936));
    EXPECT_EQ(CodePageToUtf8(c.bytes, kCodePage936), c.utf8);
    EXPECT_TRUE(FitsCodePage(c.utf8, kSystemAnsi)) << c.utf8;
  }
}

TEST(TextEncodingTest, WhatTheCodePageCannotHold) {
  EXPECT_EQ(Utf8ToCodePage("a\xF0\x9F\x98\x80" "b", kCodePage936), "a?b");
  EXPECT_FALSE(FitsCodePage("a\xF0\x9F\x98\x80", kCodePage936));
  EXPECT_EQ(CodePageToUtf8("a\xFF" "b", kCodePage936), "a\xEF\xBF\xBD" "b");
}

TEST(TextEncodingTest, ToCodePageAcrossAsciiStretches) {
  // ASCII between characters is copied or converted depending on its length:
  // the bytes must not depend on where that split falls.
  const std::string mu = "\xC4\xBF", lu = "\xC2\xBC";  // 目, 录 in 936
  const std::string short_gap(15, 'a'), long_gap(40, 'b');
  struct Case {
    std::string utf8;
    std::string bytes;
  } cases[] = {
      {"目" + short_gap + "录", mu + short_gap + lu},
      {"目" + long_gap + "录", mu + long_gap + lu},
      {long_gap + "目录" + long_gap, long_gap + mu + lu + long_gap},
      {"目\xE5\xBD" + long_gap, mu + "?" + long_gap},  // truncated before ASCII
      {"x\xE5\xBD", "x?"},                            // truncated at the end
      {"\xBF" + short_gap + "目", "?" + short_gap + mu},  // stray continuation byte
      {"目\xF0\x9F\x98\x80" + long_gap + "\xF0\x9F\x98\x80", mu + "?" + long_gap + "?"},
  };
  for (const Case& c : cases) EXPECT_SAME_BYTES(c.bytes, Utf8ToCodePage(c.utf8, kCodePage936));
}

TEST(TextEncodingTest, LowerCaseByTheUnicodeMapping) {
  struct Case {
    const char* text;
    const char* lower;
  } cases[] = {
      {"ABC xyz 123", "abc xyz 123"},
      {"ÀÉÖ×ØÞ ß", "àéö×øþ ß"},
      {"ĀĲŁŹŽŸ", "āĳłźžÿ"},
      {"ǍǏǑǓǕǗǙǛ ǅ", "ǎǐǒǔǖǘǚǜ ǆ"},  // pinyin capitals; a title-case letter
      {"ΑΩ ΆΏ Ϊ", "αω άώ ϊ"},
      {"ЁЯ Ѣ", "ёя ѣ"},
      {"ＡＺ", "ａｚ"},
      {"ⅠⅢⅫ ⒶⓏ", "ⅰⅲⅻ ⓐⓩ"},
      {"İ K ẞ", "i k ß"},  // single characters whose lower case is ASCII or ß
      {"𐐀", "𐐨"},                        // beyond U+FFFF
      {"第一章 ① 〇 ι ᾼ", "第一章 ① 〇 ι ᾳ"},
      {"ÿA", "ÿ" "a"},  // a stray byte is kept, not lowered
  };
  for (const Case& c : cases) EXPECT_EQ(LowerCase(c.text), c.lower) << c.text;
}

// Lower-casing a title of a code page 936 page must not lose a character:
// every character of the code page lower-cases to one the code page holds,
// but for Ⅺ and Ⅻ, whose lower case it lacks.
TEST(TextEncodingTest, LowerCaseStaysInCodePage936) {
  std::string lost;
  size_t lowered = 0;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string text = CodePageToUtf8(bytes, kCodePage936);
      if (text.find("\xEF\xBF\xBD") != std::string::npos) continue;  // no character there
      const std::string lower = LowerCase(text);
      if (lower == text) continue;
      ++lowered;
      if (!FitsCodePage(lower, kCodePage936)) lost += text;
    }
  }
  EXPECT_EQ(lost, "ⅪⅫ");
  EXPECT_GE(lowered, 90u);  // Greek, Cyrillic, full-width, Roman numerals, pinyin: 95
}

TEST(PrintableTextTest, NamesStayOnOneLineAndCannotDriveTheTerminal) {
  const struct {
    std::string text;
    const char* printed;
  } cases[] = {
      {"第1章 a\\b.txt", "第1章 a\\b.txt"},  // text, a backslash included, stays
      {"two\nlines.txt", "two\\nlines.txt"},
      {"\x1b]0;OWNED\a\x1b[2J.txt", "\\x1b]0;OWNED\\x07\\x1b[2J.txt"},
      {"tab\there\r", "tab\\there\\r"},
      {"del\x7f", "del\\x7f"},
      {"c1\xc2\x9b" "2J", "c1\\u009b2J"},             // the one-character CSI
      {"bidi\xe2\x80\xaetxt.exe", "bidi\\u202etxt.exe"},
      {"line\xe2\x80\xa8sep", "line\\u2028sep"},
      {"gbk\xb5\xda", "gbk\\xb5\\xda"},                 // not UTF-8: each byte
      {"cut\xe4\xb8", "cut\\xe4\\xb8"},
      {std::string("nul\0z", 5), "nul\\x00z"},
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableText(c.text), c.printed) << c.printed;
}

TEST(TextEncodingTest, Utf8Validity) {
  EXPECT_TRUE(IsValidUtf8("目录 abc"));
  for (const char* bad : {"\xC0\xAF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC4"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
  }
}

}  // namespace
}  // namespace inkbinder
