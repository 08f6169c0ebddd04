#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/project_file.h"
#include "project/templates.h"
#include "testing/bytes_assert.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::ReadBytes;
using testing::ScopedTempDir;
using testing::WriteBytes;

// The writers as the convert command drives them: the page names read first.
using Pages = std::vector<std::string>;
bool WriteContents(const std::string& folder, const Pages& pages) {
  return WriteContentsFile(folder, pages, ReadPageNames(folder, pages));
}
bool WriteIndex(const std::string& folder, const Pages& pages) {
  return WriteIndexFile(folder, pages, ReadPageNames(folder, pages));
}
std::string ContentsText(const std::string& folder, const Pages& pages) {
  return ContentsFileText(pages, ReadPageNames(folder, pages));
}
std::string IndexText(const std::string& folder, const Pages& pages) {
  return IndexFileText(pages, ReadPageNames(folder, pages));
}

// Joins lines, each followed by CR LF: how every generated file is laid out.
std::string Lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

const std::vector<std::string> kContentsHeader = {
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">",
    "<HTML>",
    "<HEAD>",
    "<meta name=\"GENERATOR\" content=\"Microsoft&reg; HTML Help Workshop 4.1\">",
    "<!-- Sitemap 1.0 -->",
    "</HEAD><BODY>",
    "<OBJECT type=\"text/site properties\">",
    "<param name=\"ImageType\" value=\"Folder\">",
    "</OBJECT>",
    "<UL>",
    "<LI> <OBJECT type=\"text/sitemap\">",
    "<param name=\"Name\" value=\"\xC4\xBF\xC2\xBC\">",  // 目录 in code page 936
    "</OBJECT>",
    "<UL> ;32",
};

const std::vector<std::string> kIndexHeader = {
    "<HTML>",
    "<HEAD>",
    "<meta name=\"GENERATOR\" content=\"Microsoft&reg; HTML Help Workshop 4.1\">",
    "<!-- Sitemap 1.0 -->",
    "</HEAD><BODY>",
    "<UL>",
};

std::vector<std::string> Entry(const std::string& name, const std::string& file) {
  return {"<LI> <OBJECT type=\"text/sitemap\">", "<param name=\"Name\" value=\"" + name + "\">",
          "<param name=\"Local\" value=\"" + file + "\">", "</OBJECT>"};
}

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class GeneratedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir / "a.txt", "first line\r\n<TITLE>Intro</Title>\r\nbody\r\n");
    WriteBytes(dir / "b.txt", "no title here\r\n");
  }
  ScopedTempDir dir;
  const std::vector<std::string> pages{"a.txt", "b.txt"};
};

TEST_F(GeneratedFilesTest, ContentsFileMatchesTheTwoPageExample) {
  ASSERT_TRUE(WriteContents(dir.path(), pages));
  const std::string expected = Lines(Concat({kContentsHeader, Entry("intro", "a.txt"),
                                             Entry("b.txt", "b.txt"),
                                             {"", "</UL>", "", "", "", "", "", "</UL>", "</BODY></HTML>"}}));
  EXPECT_EQ(expected.size(), 636u);
  EXPECT_SAME_BYTES(expected, ReadBytes(dir / kContentsFileName));
}

TEST_F(GeneratedFilesTest, IndexFileMatchesTheTwoPageExample) {
  ASSERT_TRUE(WriteIndex(dir.path(), pages));
  const std::string expected =
      Lines(Concat({kIndexHeader, Entry("intro", "a.txt"), Entry("b.txt", "b.txt"),
                    {"", "</UL>", "</BODY></HTML>"}}));
  EXPECT_EQ(expected.size(), 391u);
  EXPECT_SAME_BYTES(expected, ReadBytes(dir / kIndexFileName));
}

const std::string kWindowTail =
    ",\"chm_hhc.hhc\",\"chm_hhk.hhk\",,,,,,\"\xB9\xD8\xD3\xDA\",0x2120,,0x8380e,[84,25,648,513],,,,,,,0";

std::vector<std::string> ProjectLines(const std::string& title_bytes, const std::string& caption,
                                      const std::vector<std::string>& files) {
  return Concat({{"[OPTIONS]", "Compatibility=1.1 or later", "Compiled file=" + title_bytes + ".chm",
                  "Contents file=chm_hhc.hhc", "Default Window=chm_window", "",
                  "Display compile progress=No", "Index file=chm_hhk.hhk",
                  "Language=0x804 \xD6\xD0\xCE\xC4(\xD6\xD0\xB9\xFA)", "[WINDOWS]",
                  "chm_window=" + caption + kWindowTail, "[FILES]"},
                 files,
                 {"[INFOTYPES]\r\n", "", ""}});
}

TEST_F(GeneratedFilesTest, ProjectFileMatchesTheTwoPageExample) {
  ASSERT_TRUE(WriteProjectFile(dir.path(), pages, "abc"));
  const std::string expected = Lines(ProjectLines("abc", "abc", pages));
  EXPECT_EQ(expected.size(), 347u);
  EXPECT_SAME_BYTES(expected, ReadBytes(dir / kProjectFileName));
}

TEST_F(GeneratedFilesTest, OnePageLayouts) {
  const std::vector<std::string> one{"b.txt"};
  EXPECT_SAME_BYTES(Lines(Concat({kContentsHeader, Entry("b.txt", "b.txt"),
                                  {"", "</UL>", "", "", "", "", "", "</UL>", "</BODY></HTML>"}})),
                    Utf8ToCodePage(ContentsText(dir.path(), one), kCodePage936));
  EXPECT_SAME_BYTES(
      Lines(Concat({kIndexHeader, Entry("b.txt", "b.txt"), {"", "</UL>", "</BODY></HTML>"}})),
      IndexText(dir.path(), one));
  EXPECT_SAME_BYTES(Lines(ProjectLines("abc", "abc", one)),
                    Utf8ToCodePage(ProjectFileText(one, "abc"), kCodePage936));
}

TEST_F(GeneratedFilesTest, TitlesAreKeptAsTypedExceptACommaIsQuoted) {
  struct Case {
    std::string title, caption;
  } cases[] = {
      {" padded ", " padded "},
      {"书名", "书名"},
      {"a,b", "\"a,b\""},  // unquoted, the comma would shift every window field
      {"it's & more", "it's & more"},
  };
  for (const Case& c : cases) {
    const std::string text = ProjectFileText(pages, c.title);
    EXPECT_NE(text.find("\r\nCompiled file=" + c.title + ".chm\r\n"), std::string::npos) << c.title;
    EXPECT_NE(text.find("\r\nchm_window=" + c.caption + LoadTemplate(32) + "\r\n"), std::string::npos)
        << c.title;
  }
}

TEST_F(GeneratedFilesTest, ChineseTitlesAreWrittenInCodePage936) {
  WriteBytes(dir / "c.txt", "<title>\xB5\xDA\xD2\xBB\xD5\xC2 \xC6\xF0</title>\r\n");  // 第一章 起
  ASSERT_TRUE(WriteIndex(dir.path(), {"c.txt"}));
  ASSERT_TRUE(WriteProjectFile(dir.path(), {"c.txt"}, "示例"));
  EXPECT_NE(ReadBytes(dir / kIndexFileName)
                .find("<param name=\"Name\" value=\"\xB5\xDA\xD2\xBB\xD5\xC2 \xC6\xF0\">\r\n"),
            std::string::npos);
  EXPECT_NE(ReadBytes(dir / kProjectFileName).find("Compiled file=\xCA\xBE\xC0\xFD.chm\r\n"),
            std::string::npos);
}

TEST_F(GeneratedFilesTest, NamesThatWouldBreakTheSitemapAreEscaped) {
  // A raw quote ends the Name value early; & stays, titles from HTML carry entities.
  WriteBytes(dir / "q.txt", "<title>say \"hi\" <b> &amp; </title>\r\n");
  const std::string text = IndexText(dir.path(), {"q.txt"});
  EXPECT_NE(text.find("value=\"say &quot;hi&quot; &lt;b&gt; &amp; \">"), std::string::npos) << text;
  EXPECT_NE(text.find("<param name=\"Local\" value=\"q.txt\">"), std::string::npos);
}

TEST_F(GeneratedFilesTest, APageThatCannotBeReadIsNamedByItsFileName) {
  const std::string text = ContentsText(dir.path(), {"gone.txt", "a.txt"});
  EXPECT_NE(text.find("value=\"gone.txt\">\r\n<param name=\"Local\" value=\"gone.txt\">"),
            std::string::npos);
  EXPECT_NE(text.find("value=\"intro\">"), std::string::npos);
}

TEST_F(GeneratedFilesTest, ExistingFilesAreReplacedNotAppendedTo) {
  WriteBytes(dir / kContentsFileName, std::string(5000, 'x'));
  WriteBytes(dir / kIndexFileName, std::string(5000, 'x'));
  WriteBytes(dir / kProjectFileName, std::string(5000, 'x'));
  ASSERT_TRUE(WriteContents(dir.path(), pages));
  ASSERT_TRUE(WriteIndex(dir.path(), pages));
  ASSERT_TRUE(WriteProjectFile(dir.path(), pages, "abc"));
  EXPECT_EQ(ReadBytes(dir / kContentsFileName).size(), 636u);
  EXPECT_EQ(ReadBytes(dir / kIndexFileName).size(), 391u);
  EXPECT_EQ(ReadBytes(dir / kProjectFileName).size(), 347u);
}

TEST_F(GeneratedFilesTest, AFileThatCannotBeCreatedIsReported) {
  testing::MakeFolder(dir / kContentsFileName);  // a folder in the way stops even root
  EXPECT_FALSE(WriteContents(dir.path(), pages));
  EXPECT_FALSE(WriteIndex(dir / "no such folder", pages));
}

TEST(ManyPagesTest, BeyondTheOldLimitEveryPageIsWritten) {
  // 8,190 pages no longer fit a 16-bit line index; nothing may be cut off.
  ScopedTempDir dir;
  std::vector<std::string> pages;
  for (int i = 0; i < 8190; ++i) pages.push_back("p" + std::to_string(i) + ".txt");
  const std::string contents = ContentsText(dir.path(), pages);
  const std::string index = IndexText(dir.path(), pages);
  const std::string project = ProjectFileText(pages, "t");
  for (const std::string* text : {&contents, &index}) {
    EXPECT_NE(text->find("value=\"p8189.txt\">\r\n</OBJECT>\r\n"), std::string::npos);
  }
  EXPECT_NE(contents.find("</OBJECT>\r\n\r\n</UL>\r\n\r\n\r\n\r\n\r\n\r\n</UL>\r\n</BODY></HTML>\r\n"),
            std::string::npos);
  EXPECT_NE(project.find("\r\np8189.txt\r\n[INFOTYPES]\r\n\r\n\r\n\r\n"), std::string::npos);
  // 4 lines per page plus 23 fixed lines, each with CR LF.
  size_t lines = 0;
  for (char c : contents) lines += c == '\n';
  EXPECT_EQ(lines, 4u * 8190 + 23);
}

}  // namespace
}  // namespace inkbinder
