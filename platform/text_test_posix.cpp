// The code page conversions against iconv itself, character by character:
// the remembered answers must give the bytes iconv gives, errors included.
#include <errno.h>
#include <iconv.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/text.h"

namespace inkbinder {
namespace {

// iconv over the whole input, a replacement for each sequence it refuses,
// stepping over a whole UTF-8 character or one code page byte.
std::string ByIconv(const std::string& in, const char* from, const char* to, const std::string& replacement) {
  const iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out;
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  while (left > 0) {
    char buffer[64];
    char* dst = buffer;
    size_t room = sizeof buffer;
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
    out += replacement;
    size_t step = 1;
    if (std::string(from) == "UTF-8") {
      const auto lead = static_cast<unsigned char>(*src);
      const size_t want = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      while (step < want && step < left && (static_cast<unsigned char>(src[step]) & 0xC0) == 0x80) ++step;
    }
    src += step;
    left -= step;
  }
  iconv_close(cd);
  return out;
}

std::string Utf8Of(char32_t cp) {
  std::string s;
  AppendUtf8(&s, cp);
  return s;
}

TEST(CodePageTest, EveryCharacterConvertsAsIconvConvertsIt) {
  for (char32_t cp = 0x80; cp <= 0xFFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    // Between ASCII, and twice: the second time the remembered answer is used.
    const std::string text = "a" + Utf8Of(cp) + "b" + Utf8Of(cp);
    ASSERT_EQ(Utf8ToCodePage(text, kCodePage936), ByIconv(text, "UTF-8", "CP936", "?")) << std::hex << cp;
  }
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    const std::string alone(1, static_cast<char>(lead));
    ASSERT_EQ(CodePageToUtf8(alone, kCodePage936), ByIconv(alone, "CP936", "UTF-8", "\xEF\xBF\xBD")) << lead;
    for (unsigned trail = 0; trail <= 0xFF; ++trail) {
      const std::string bytes = {static_cast<char>(lead), static_cast<char>(trail), 'x',
                                 static_cast<char>(lead), static_cast<char>(trail)};
      ASSERT_EQ(CodePageToUtf8(bytes, kCodePage936), ByIconv(bytes, "CP936", "UTF-8", "\xEF\xBF\xBD"))
          << std::hex << lead << " " << trail;
    }
  }
}

// Texts short and long, each byte of them as many UTF-8 bytes as any makes:
// the euro sign, a byte that is no character, a pair.
TEST(CodePageTest, CodePageTextOfAnyLengthConvertsAsIconvConvertsIt) {
  for (const std::string piece : {"\x80", "\xFF", "\xC4\xBF"}) {
    for (const size_t bytes : {size_t{1}, size_t{127}, size_t{128}, size_t{129}, size_t{1000}}) {
      std::string text;
      while (text.size() < bytes) text += piece;
      text.resize(bytes);
      ASSERT_EQ(CodePageToUtf8(text, kCodePage936), ByIconv(text, "CP936", "UTF-8", "\xEF\xBF\xBD"))
          << bytes << " bytes of " << static_cast<unsigned>(static_cast<unsigned char>(piece[0]));
    }
  }
}

TEST(CodePageTest, TextThatIsNoUtf8ConvertsAsIconvConvertsIt) {
  const std::string cases[] = {
      "\xE7\xAC",                      // a character cut short
      "a\xFF" "b",                     // never UTF-8
      "\xC0\x80",                      // overlong
      "\xED\xA0\x80",                  // a surrogate
      "\xF0\x9F\x98\x80 \xE7\xAC\xAC",  // beyond the Basic Multilingual Plane, then 第
  };
  for (const std::string& text : cases) {
    EXPECT_EQ(Utf8ToCodePage(text, kCodePage936), ByIconv(text, "UTF-8", "CP936", "?")) << text;
  }
}

}  // namespace
}  // namespace inkbinder
