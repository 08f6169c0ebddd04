#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "project/page_entry.h"
#include "project/page_title.h"
#include "project/sitemap_title.h"
#include "testing/bytes_assert.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::ScopedTempDir;
using testing::WriteBytes;

std::string Utf16Le(std::string_view utf8) {
  std::string out;
  const auto unit = [&](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  size_t pos = 0;
  char32_t c = 0;
  while (pos < utf8.size()) {
    if (!NextCodePoint(utf8, &pos, &c)) ADD_FAILURE() << "not UTF-8: " << utf8;
    if (c < 0x10000) {
      unit(c);
    } else {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

// What a reader shows for a Name value: decoded from code page 936, numeric
// character references decoded.
std::string AsReaderShows(const std::string& bytes) {
  const std::string text = CodePageToUtf8(bytes, kCodePage936);
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const size_t end = text.find(';', i);
    if (text.compare(i, 2, "&#") == 0 && end != std::string::npos) {
      AppendUtf8(&out, static_cast<char32_t>(std::stoul(text.substr(i + 2, end - i - 2))));
      i = end + 1;
    } else {
      out += text[i++];
    }
  }
  return out;
}

// Titles of UTF-8 and UTF-16 pages: lower-cased by the Unicode mapping, and
// nothing lost to '?': what the code page lacks is written as a reference.
TEST(PageNameTest, TitleCharactersAreLowerCasedAndNoneIsLost) {
  struct Case {
    const char* title;    // in the page
    const char* written;  // the Name value, UTF-8, before conversion to the code page
    const char* shown;    // what a reader shows, when it differs from `written`
  } cases[] = {
      {"第Ⅲ章 Ⅷ", "第ⅲ章 ⅷ", nullptr},
      {"ǍǏǑǓ ǕǗǙǛ", "ǎǐǒǔ ǖǘǚǜ", nullptr},
      {"ΑΒΓ Ω", "αβγ ω", nullptr},
      {"ΆΈΉΊΌΎΏ", "&#940;&#941;&#942;&#943;&#972;&#973;&#974;", "άέήίόύώ"},
      {"Ёлка ЖУК", "ёлка жук", nullptr},
      {"ＡＢＣ ｘｙｚ", "ａｂｃ ｘｙｚ", nullptr},
      {"第一章 ①ⅷ　《目录》 é €", "第一章 ①ⅷ　《目录》 é €", nullptr},  // no lower case
      {"Ⅺ", "&#8570;", "ⅺ"},  // its lower case is beyond the code page
      {"Straße", "stra&#223;e", "straße"},
      {"2.\u00A0Common Features", "2.&#160;common features", "2.\u00A0common features"},
      {"한국어", "&#54620;&#44397;&#50612;", "한국어"},
      {"😀 Smile", "&#128512; smile", "😀 smile"},  // one reference, not two halves
  };
  ScopedTempDir dir;
  for (const Case& c : cases) {
    const std::string page = std::string("<title>") + c.title + "</title>\r\n";
    for (const auto& [encoding, bytes] : {std::pair{"UTF-8", "\xEF\xBB\xBF" + page},
                                          std::pair{"UTF-16", "\xFF\xFE" + Utf16Le(page)}}) {
      SCOPED_TRACE(std::string(encoding) + " " + c.title);
      WriteBytes(dir / "page.txt", bytes);
      const std::string name = PageName(dir.path(), "page.txt");
      EXPECT_EQ(name, c.written);
      const std::string written = Utf8ToCodePage(name, kSystemAnsi);
      EXPECT_EQ(written.find('?'), std::string::npos);
      EXPECT_EQ(AsReaderShows(written), c.shown ? c.shown : c.written);
    }
  }
}

TEST(PageNameTest, CodePageTitlesAreWrittenAsBefore) {
  // 第一章, a byte that is no character (written '?', as always), Intro.
  ScopedTempDir dir;
  WriteBytes(dir / "page.txt", "<title>\xB5\xDA\xD2\xBB\xD5\xC2 \xFF Intro</title>\r\n");
  EXPECT_SAME_BYTES("\xB5\xDA\xD2\xBB\xD5\xC2 ? intro",
                    Utf8ToCodePage(PageName(dir.path(), "page.txt"), kSystemAnsi));
}

TEST(TitleForSitemapTest, CutToTheWrittenBytesBetweenCharacters) {
  struct Case {
    std::string utf8;
    size_t max_bytes;
    std::string expected;
  } cases[] = {
      {"abcdef", 4, "abcd"},
      {"第一章", 5, "第一"},  // two bytes each in the code page
      {"第一章", 6, "第一章"},
      {"a\u00A0b", 6, "a"},  // the reference takes 6 bytes: all or nothing
      {"a\u00A0b", 7, "a&#160;"},
      {"a\u00A0b", 8, "a&#160;b"},
      {"😀", 8, ""},
      {"😀", 9, "&#128512;"},
      {"\uFFFDx", 1, "\uFFFD"},  // written '?': one byte
      {std::string(5000, 'x'), kTitleByteLimit, std::string(kTitleByteLimit, 'x')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TitleForSitemap(c.utf8, kCodePage936, c.max_bytes), c.expected)
        << c.utf8 << " in " << c.max_bytes;
  }

  // Long titles: 8-byte references and 2-byte characters fill the cap exactly.
  std::string korean, chinese;
  for (int i = 0; i < 5000; ++i) korean += "한", chinese += "第";
  for (const std::string& title : {korean, chinese, "a" + korean}) {
    const std::string cut = TitleForSitemap(title, kCodePage936, kTitleByteLimit);
    const std::string written = Utf8ToCodePage(cut, kCodePage936);
    EXPECT_LE(written.size(), kTitleByteLimit);
    EXPECT_GT(written.size(), kTitleByteLimit - 8);
    EXPECT_TRUE(title.rfind(AsReaderShows(written), 0) == 0) << "not a prefix of the title";
  }
}

}  // namespace
}  // namespace inkbinder
