#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helpbook/book_check.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"
#include "project/contents_file.h"
#include "testing/special_files.h"
#include "testing/temp_dir.h"

namespace helpbook {
namespace {

using inkbinder::kCodePage936;
using inkbinder::Process;
using inkbinder::ProcessOptions;
using inkbinder::Utf8ToCodePage;
using inkbinder::testing::ReadBytes;
using inkbinder::testing::ScopedTempDir;
using inkbinder::testing::WriteBytes;

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

// Books made by chmcmd alone, in a folder of the test's own, then checked.
class BookCheckTest : public ::testing::Test {
 protected:
  struct Page {
    std::string name;  // UTF-8, as on disk
    std::string bytes;
  };
  // Compiles `pages` with [FILES] lines in UTF-8, or in code page 936 as
  // chmcmd was once given them. False when chmcmd wrote no book.
  bool Compile(const std::vector<Page>& pages, bool files_in_code_page = false,
               const std::string& language = "0x804") {
    std::vector<std::string> names, titles;
    std::string files;
    expected_.pages.clear();
    for (const Page& p : pages) {
      WriteBytes(dir_ / p.name, p.bytes);
      if (files_in_code_page) WriteBytes(dir_ / Gbk(p.name), p.bytes);
      names.push_back(Gbk(p.name));
      titles.push_back(Gbk(p.name));
      files += (files_in_code_page ? Gbk(p.name) : p.name) + "\r\n";
      expected_.pages.push_back({p.name, dir_ / p.name});
    }
    expected_.contents_name = "c.hhc";
    expected_.contents_bytes = inkbinder::ContentsFileText(names, titles);
    WriteBytes(dir_ / "c.hhc", expected_.contents_bytes);
    WriteBytes(dir_ / "p.hhp", "[OPTIONS]\r\nBinary Index=No\r\nCompiled file=b.chm\r\n"
                               "Contents file=c.hhc\r\nLanguage=" + language + "\r\n[FILES]\r\n" +
                                   files);
    ProcessOptions quiet;
    quiet.working_folder = dir_.path();
    quiet.capture_output = true;
    quiet.capture_errors = true;
    std::string error;
    const auto chmcmd = Process::Start(INKBINDER_CHMCMD, {"p.hhp"}, quiet, &error);
    return chmcmd != nullptr && chmcmd->Wait() == 0 && !ReadBytes(book_).empty();
  }
  std::string Check() const { return CheckBook(book_, expected_); }

  ScopedTempDir dir_{"book check 书"};
  const std::string book_ = dir_ / "b.chm";
  BookFacts expected_;
};

TEST_F(BookCheckTest, ASoundBookHasNoProblem) {
  ASSERT_TRUE(Compile({{"第1章.txt", "one\r\n"}, {"a b.txt", "two"}, {"俓.txt", "three"}}));
  EXPECT_EQ(Check(), "");
}

TEST_F(BookCheckTest, NamesThePageAReaderCannotFind) {
  // Names stored in code page 936: the contents tree shows, no page opens.
  ASSERT_TRUE(Compile({{"a.txt", "aa"}, {"第1章.txt", "one"}}, true));
  EXPECT_EQ(Check(), "第1章.txt: the book does not hold this page");
  // A link to a page the project does not list is followed all the same.
  expected_.pages.pop_back();
  EXPECT_EQ(Check(), "the contents links to 第1章.txt, which a reader cannot find in the book "
                     "(Local \"第1章.txt\")");
}

TEST_F(BookCheckTest, NamesAPageWhoseBytesDiffer) {
  ASSERT_TRUE(Compile({{"a.txt", "aaaa"}, {"第1章.txt", "one two"}}));
  WriteBytes(dir_ / "第1章.txt", "one twx");
  EXPECT_EQ(Check(), "第1章.txt: its bytes differ from the file's from offset 6");
  WriteBytes(dir_ / "第1章.txt", "one two three");
  EXPECT_NE(Check().find("第1章.txt: the book holds 7 bytes, the file more"), std::string::npos);
}

TEST_F(BookCheckTest, APageSwappedForAFifoOrAStopEndsTheCheckAtOnce) {
  ASSERT_TRUE(Compile({{"a.txt", std::string(3 << 19, 'a')}, {"b.txt", "bb"}}));
  int asked = 0;
  EXPECT_EQ(CheckBook(book_, expected_, [&] { return ++asked == 2; }), "interrupted");
  EXPECT_EQ(asked, 2);
  ASSERT_TRUE(inkbinder::DeleteFileAt(dir_ / "b.txt"));
  if (!inkbinder::testing::MakeFifo(dir_ / "b.txt")) GTEST_SKIP() << "no FIFOs here";
  EXPECT_EQ(Check(), "b.txt: cannot read " + dir_ / "b.txt" + " to compare with the book");
}

TEST_F(BookCheckTest, CatchesALastPageOfOneByteThatChmcmdLoses) {
  ASSERT_TRUE(Compile({{"a.txt", "<title>a</title>\r\n"}, {"z.txt", "\n"}}));
  EXPECT_EQ(Check(), "z.txt: its bytes differ from the file's from offset 0");
}

TEST_F(BookCheckTest, CatchesAStoredSitemapThatDiffersOrIsNotThere) {
  ASSERT_TRUE(Compile({{"a.txt", "aa"}}));
  BookFacts changed = expected_;
  changed.contents_bytes += " ";
  EXPECT_EQ(CheckBook(book_, changed), "the contents c.hhc is stored changed");
  changed = expected_;
  changed.index_name = "i.hhk";
  EXPECT_EQ(CheckBook(book_, changed), "the book names  as its index, not i.hhk");
}

TEST_F(BookCheckTest, CatchesAnotherLanguageAndABookThatIsNone) {
  ASSERT_TRUE(Compile({{"a.txt", "aa"}}, false, "0x409"));
  EXPECT_EQ(Check(), "the book's language is 0x409, not 0x804");
  WriteBytes(book_, "not a book");
  EXPECT_NE(Check().find("cannot open the book"), std::string::npos) << Check();
}

// Enough pages for several listing chunks: chmcmd's directory header names
// the second one as the first, and enumeration skips every page of chunk 0.
TEST_F(BookCheckTest, CatchesPagesTheListingLeavesOut) {
  std::vector<Page> pages;
  for (int i = 0; i < 300; ++i) pages.push_back({"第" + std::to_string(i) + "页.txt", "pp"});
  ASSERT_TRUE(Compile(pages));
  EXPECT_NE(Check().find("the book's file listing leaves this page out"), std::string::npos)
      << Check();
}

}  // namespace
}  // namespace helpbook
