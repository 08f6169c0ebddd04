#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "project/page_entry.h"
#include "project/page_title.h"
#include "testing/special_files.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::ScopedTempDir;
using testing::WriteBytes;

const std::optional<std::string> kFails = std::nullopt;

TEST(TextBetweenTest, Cases) {
  struct Case {
    const char* text;
    std::optional<std::string> expected;
  } cases[] = {
      {"<title>a</title>", "a"},
      {"x<title>a b </title>y", "a b "},
      {"<title></title>", ""},                 // nothing between: no failure
      {"<title>rest of line", "rest of line"}, // no closing tag
      {"<title>", kFails},                     // tag ends the text
      {"<title><title>b</title>", kFails},     // nothing before the second tag
      {"<title>a<title>b</title>", "a"},       // cut at the second opening tag
      {"</title><title>a</title>", "a"},
      {"no tag", kFails},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextBetween(c.text, "<title>", "</title>"), c.expected) << c.text;
  }
}

TEST(ReadPageTitleTest, Cases) {
  struct Case {
    const char* name;
    std::string bytes;
    std::optional<std::string> expected;
  } cases[] = {
      {"mixed case tags", "<TITLE>Intro</Title>\r\n", "intro"},
      {"spaces kept", "<title>  Intro  </title>", "  intro  "},
      {"tag with attribute ignored", "<title lang=en>x</title>\r\n<title>y</title>", "y"},
      {"space inside tag ignored", "< title>x</title>\r\n", ""},
      {"empty title", "<title></title>\r\n", ""},
      {"no closing tag", "<title>to the end\r\nnext", "to the end"},
      {"tag ends its line", "<title>\r\nlater</title>\r\n", kFails},
      {"second opening tag", "<title>a<title>b</title>", "a"},
      {"closing tag first", "</title> x <title>a</title>", "a"},
      {"first of two lines counts", "<title>one</title>\r\n<title>two</title>\r\n", "one"},
      {"no title", "line\r\nline\r\n", ""},
      {"empty page", "", ""},
      {"LF does not end a line", "a\n<title>x\ny</title>\nz", "x\ny"},
      {"CR alone ends a line", "a\r<title>x\ry</title>", "x"},
      {"entities and quotes kept", "<title>A&amp;B \"Q\"</title>", "a&amp;b \"q\""},
      {"Chinese in code page 936", "<title>\xB5\xDA\xD2\xBB\xD5\xC2 Intro</title>", "第一章 intro"},
      // Code page 936 text that is also valid two-byte UTF-8 (目录) stays 936.
      {"936 that looks like UTF-8", "<title>\xC4\xBF\xC2\xBC</title>", "目录"},
      {"UTF-8 without BOM", "<title>第一章 Ĳ</title>", "第一章 ĳ"},
      {"UTF-8 BOM", "\xEF\xBB\xBF<title>Ä</title>", "ä"},
      {"UTF-8 BOM not part of the first line", "\xEF\xBB\xBF<title>x</title>", "x"},
      {"UTF-16LE BOM", std::string("\xFF\xFE<\0T\0>\0", 8), ""},
      {"UTF-16LE title",
       std::string("\xFF\xFE<\0t\0i\0t\0l\0e\0>\0A\0\x2D\x4E", 20), "a中"},
      {"UTF-16BE title", std::string("\xFE\xFF\0<\0t\0i\0t\0l\0e\0>\0B\0\r\0\n", 22), "b"},
      {"Greek Cyrillic full-width lowered", "<title>ΑΒΓ ДЖ ＡＢ</title>", "αβγ дж ａｂ"},
      // 0x81 0x41 is 丄: its trail byte 'A' is no letter (lowered it would be 0x81 0x61, 乤).
      {"GBK trail byte that is an ASCII capital", "<title>\x81\x41</title>", "丄"},
  };
  ScopedTempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir / "page.txt";
    WriteBytes(path, c.bytes);
    EXPECT_EQ(ReadPageTitle(path), c.expected) << c.name;
  }
}

TEST(ReadPageTitleTest, MissingPageFails) {
  ScopedTempDir dir;
  EXPECT_EQ(ReadPageTitle(dir / "nope.txt"), kFails);
  EXPECT_EQ(ReadPageTitle(dir.path()), kFails);  // a folder is not a page
  // A FIFO put in a page's place has no writer: opening it must not wait for one.
  if (testing::MakeFifo(dir / "fifo.txt")) {
    EXPECT_EQ(ReadPageTitle(dir / "fifo.txt"), kFails);
  }
}

TEST(ReadPageTitleTest, AStopEndsTheScanOfAPageWithoutATitle) {
  ScopedTempDir dir;
  const std::string path = dir / "none.txt";
  WriteBytes(path, std::string(4 * 1024 * 1024, 'z'));
  int asked = 0;
  EXPECT_EQ(ReadPageTitle(path, [&] { return ++asked == 3; }), kFails);
  EXPECT_EQ(asked, 3);
}

TEST(ReadPageTitleTest, TagsAcrossReadBoundariesAndHugeLines) {
  // Pages are read in pieces; a tag split between two pieces, or a title far
  // into one LF-only line of megabytes, must still be found.
  ScopedTempDir dir;
  for (size_t pad : {16384 - 3, 16384 - 7, 16384, 3 * 1024 * 1024 + 5}) {
    const std::string path = dir / "big.txt";
    WriteBytes(path, std::string(pad, 'x') + "\n<TiTlE>Found</TITLE>" + std::string(100, 'y'));
    EXPECT_EQ(ReadPageTitle(path), std::optional<std::string>("found")) << pad;
  }
  const std::string path = dir / "none.txt";
  WriteBytes(path, std::string(5 * 1024 * 1024, 'z'));
  EXPECT_EQ(ReadPageTitle(path), std::optional<std::string>(""));
}

TEST(ReadPageTitleTest, TitleLineEncodingJudgedOnTheWholeLineAcrossPieces) {
  // The title line starts in the first 16 KiB piece and its tag stands in the
  // second: what the line held before the piece boundary still decides its encoding.
  const std::string utf8_head = "第";                        // a three-byte UTF-8 character
  const std::string gbk_head = "\xB5\xDA";                   // 第 in code page 936: no UTF-8
  const std::string utf8_title = "\xC4\xB2";                 // Ĳ, also two bytes of 936
  const auto page = [](const std::string& line_end, const std::string& head,
                       const std::string& title) {
    std::string bytes = std::string(16384 - 6 - line_end.size(), 'x') + line_end + head;
    while (bytes.size() < 16384 + 5) bytes += 'y';
    return bytes + "<title>" + title + "</title>\r\n";
  };
  struct Case {
    const char* name;
    std::string bytes;
    std::string expected;
  };
  const std::string as_936 = CodePageToUtf8(utf8_title, kCodePage936);
  ASSERT_NE(as_936, "ĳ");
  const Case cases[] = {
      {"UTF-8 line", page("\r\n", utf8_head, utf8_title), "ĳ"},
      {"936 line", page("\r\n", gbk_head, utf8_title), as_936},
      {"CR alone before the line", page("\r", utf8_head, utf8_title), "ĳ"},
      // A UTF-8 character on an earlier line does not count for this one.
      {"UTF-8 only on the line before", "第\r\n" + page("\r\n", "z", utf8_title), as_936},
      {"UTF-8 ends the first piece, its line ends in the second",
       std::string(16384 - 3, 'x') + "第\r\n<title>" + utf8_title + "</title>\r\n", as_936},
  };
  ScopedTempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir / "page.txt";
    WriteBytes(path, c.bytes);
    EXPECT_EQ(ReadPageTitle(path), c.expected) << c.name;
  }
}

TEST(ReadPageTitleTest, Utf16SurrogatePairSplitAcrossPieces) {
  ScopedTempDir dir;
  // Put U+1F600 (D83D DE00) so its two halves land in different 16 KiB pieces.
  // A long first line, so that the title stays short of the kept length.
  std::string bytes("\xFF\xFE", 2);
  while (bytes.size() < 16384 - 2 - 4 - 14 - 20) bytes += std::string("x\0", 2);
  bytes += std::string("\r\0\n\0", 4);
  const std::string open("<\0t\0i\0t\0l\0e\0>\0", 14);
  bytes += open;
  while (bytes.size() < 16384 - 2) bytes += std::string("a\0", 2);
  bytes += std::string("\x3D\xD8\x00\xDE", 4);
  const std::string path = dir / "u16.txt";
  WriteBytes(path, bytes);
  const std::optional<std::string> title = ReadPageTitle(path);
  ASSERT_TRUE(title.has_value());
  EXPECT_EQ(title->substr(title->size() - 4), "\xF0\x9F\x98\x80");
}

TEST(ReadPageTitleTest, LongTitlesAreCutAtACharacterBoundaryOfTheWrittenForm) {
  const auto times = [](const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
  };
  struct Case {
    const char* name;
    std::string page;
    std::string expected;  // the entry's name, UTF-8, as PageName gives it
  };
  const Case cases[] = {
      {"ASCII", "<title>" + std::string(10000, 'a') + "</title>\r\n", std::string(4096, 'a')},
      {"exactly the kept length", "<title>" + std::string(4096, 'b') + "</title>",
       std::string(4096, 'b')},
      {"no closing tag, no line end", "<title>" + std::string(100000, 'c'), std::string(4096, 'c')},
      // Two bytes a character in the written code page, whatever the page's own encoding.
      {"UTF-8", "<title>" + times("字", 5000) + "</title>\r\n", times("字", 2048)},
      {"code page 936", "<title>" + times("\xD7\xD6", 5000) + "</title>\r\n", times("字", 2048)},
      // The line's encoding is still judged on all of it, far past the cut; the
      // code page lacks the character, so each is a reference and none is cut in half.
      {"UTF-8 decided past the cut", "<title>" + times("\xC4\xB2", 20000) + "第\r\n",
       times("&#307;", 682)},
  };
  ScopedTempDir dir;
  for (const Case& c : cases) {
    WriteBytes(dir / "long.txt", c.page);
    EXPECT_EQ(PageName(dir.path(), "long.txt"), c.expected) << c.name;
  }
  const std::optional<std::string> read = ReadPageTitle(dir / "long.txt");
  ASSERT_TRUE(read.has_value());
  EXPECT_LE(read->size(), kTitleReadByteLimit);
  EXPECT_EQ(CutAtCharacter("a字", 3), "a");
  EXPECT_EQ(CutAtCharacter("a字", 4), "a字");
}

}  // namespace
}  // namespace inkbinder
