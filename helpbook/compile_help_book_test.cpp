#include "helpbook/compile_help_book.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "helpbook/book_check.h"
#include "helpbook/book_readers.h"
#include "platform/process.h"
#include "platform/text.h"
#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/project_file.h"
#include "testing/bytes_assert.h"
#include "testing/special_files.h"
#include "testing/temp_dir.h"

namespace helpbook {
namespace {

using inkbinder::testing::Exists;
using inkbinder::testing::MakeFolder;
using inkbinder::testing::ReadBytes;
using inkbinder::testing::ScopedTempDir;
using inkbinder::testing::WriteBytes;

// What a reader does with a sitemap's Local: decode it from the book's code
// page, percent-decode it, drop the fragment, look it up below the root.
std::string ReaderName(const std::string& local) {
  const std::string utf8 = inkbinder::CodePageToUtf8(local, inkbinder::kCodePage936);
  std::string out = "/";
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '#') break;
    if (utf8[i] == '%' && i + 2 < utf8.size()) {
      out.push_back(static_cast<char>(std::stoi(utf8.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(utf8[i]);
    }
  }
  return out;
}

std::vector<std::string> Locals(const std::string& sitemap) {
  std::vector<std::string> out;
  const std::regex local("<param name=\"Local\" value=\"([^\"]*)\">", std::regex::icase);
  for (std::sregex_iterator it(sitemap.begin(), sitemap.end(), local), end; it != end; ++it) {
    out.push_back((*it)[1]);
  }
  return out;
}

// A folder of pages with the three files our tool writes for it.
void WriteProject(const std::string& folder, const std::map<std::string, std::string>& pages,
                  const std::string& title) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : pages) {
    WriteBytes(folder + "/" + name, bytes);
    names.push_back(name);
  }
  const std::vector<std::string> entry_names = inkbinder::ReadPageNames(folder, names);
  ASSERT_TRUE(inkbinder::WriteContentsFile(folder, names, entry_names));
  ASSERT_TRUE(inkbinder::WriteIndexFile(folder, names, entry_names));
  ASSERT_TRUE(inkbinder::WriteProjectFile(folder, names, title));
}

TEST(CompileHelpBookTest, ReadersFindEveryPageByItsLocal) {
  ScopedTempDir dir("汉字 书");
  const std::map<std::string, std::string> pages = {
      {"第1章.txt", "<title>开始</title>\r\n第一章的内容"},
      {"第2章 附录.txt", std::string(70000, 'x') + "尾"},
      {"readme.TXT", "plain"},
      {"空.txt", ""},
  };
  WriteProject(dir.path(), pages, "示例手册");
  std::string book;
  std::string error;
  CompileOptions options;
  std::vector<std::pair<std::size_t, std::size_t>> progress;
  options.progress = [&](std::size_t done, std::size_t total) { progress.emplace_back(done, total); };
  ASSERT_TRUE(CompileHelpBook(dir / inkbinder::kProjectFileName, options, &book, &error)) << error;
  EXPECT_EQ(book, dir / "示例手册.chm");
  const std::vector<std::pair<std::size_t, std::size_t>> each_page = {{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}};
  EXPECT_EQ(progress, each_page);

  testing::ChmlibBook chmlib(book);
  ASSERT_TRUE(chmlib.opened());
  const std::string contents = ReadBytes(dir / inkbinder::kContentsFileName);
  const std::string index = ReadBytes(dir / inkbinder::kIndexFileName);
  std::string stored;
  ASSERT_TRUE(chmlib.Read("/chm_hhc.hhc", &stored));
  EXPECT_SAME_BYTES(contents, stored);
  ASSERT_TRUE(chmlib.Read("/chm_hhk.hhk", &stored));
  EXPECT_SAME_BYTES(index, stored);
  for (const std::string& sitemap : {contents, index}) {
    const std::vector<std::string> locals = Locals(sitemap);
    EXPECT_EQ(locals.size(), pages.size());
    for (const std::string& local : locals) {
      const std::string name = ReaderName(local);
      ASSERT_TRUE(chmlib.Read(name, &stored)) << name;
      EXPECT_SAME_BYTES(ReadBytes(dir.path() + name), stored) << name;
    }
  }
  for (const char* system : {"/#SYSTEM", "/#WINDOWS", "/#TOPICS", "/#URLTBL", "/#URLSTR", "/#STRINGS"}) {
    EXPECT_TRUE(chmlib.Read(system, &stored)) << system;
  }

  std::map<std::string, std::string> extracted;
  ASSERT_TRUE(testing::MspackExtractAll(book, &extracted, &error)) << error;
  for (const auto& [name, bytes] : pages) {
    ASSERT_EQ(extracted.count("/" + name), 1u) << name;
    EXPECT_SAME_BYTES(bytes, extracted["/" + name]) << name;
  }

  // chmlib's own extraction tool writes every page out again.
  ScopedTempDir out("extract");
  inkbinder::ProcessOptions quiet;
  quiet.capture_output = true;
  const auto extract =
      inkbinder::Process::Start(INKBINDER_EXTRACT_CHMLIB, {book, out.path()}, quiet, &error);
  ASSERT_NE(extract, nullptr) << error;
  ASSERT_EQ(extract->Wait(), 0) << extract->Output();
  for (const auto& [name, bytes] : pages) {
    ASSERT_TRUE(Exists(out / name)) << name;
    EXPECT_SAME_BYTES(bytes, ReadBytes(out / name)) << name;
  }
}

TEST(CompileHelpBookTest, BadInputIsNamedAndWritesNoBook) {
  const struct {
    const char* what;
    std::string project;  // code page 936
    const char* named;    // part of the message
  } cases[] = {
      {"a missing page", "[OPTIONS]\r\nCompiled file=b.chm\r\n[FILES]\r\na.txt\r\nmissing.txt\r\n",
       "missing.txt"},
      {"a page that is a folder", "[OPTIONS]\r\nCompiled file=b.chm\r\n[FILES]\r\nfolder.txt\r\n",
       "folder.txt"},
      // Opening a FIFO to read it waits for a writer: the compile must not.
      {"a page that is a FIFO", "[OPTIONS]\r\nCompiled file=b.chm\r\n[FILES]\r\nfifo.txt\r\n", "fifo.txt"},
      {"a missing contents file",
       "[OPTIONS]\r\nCompiled file=b.chm\r\nContents file=none.hhc\r\n[FILES]\r\na.txt\r\n", "none.hhc"},
      {"a section the compiler cannot use", "[OPTIONS]\r\nCompiled file=b.chm\r\n[MAP]\r\n#define A 1\r\n",
       "#define A 1"},
      {"an option without a value", "[OPTIONS]\r\nCompiled file=b.chm\r\nBinary TOC\r\n", "Binary TOC"},
      {"no book name", "[OPTIONS]\r\nTitle=x\r\n[FILES]\r\na.txt\r\n", "Compiled file"},
      {"a page outside the folder", "[OPTIONS]\r\nCompiled file=b.chm\r\n[FILES]\r\n..\\a.txt\r\n",
       "..\\a.txt"},
      // The sitemaps are read while the pages are compressed; their problem
      // is still the one told, as it comes first in the project.
      {"a missing contents file and a missing page",
       "[OPTIONS]\r\nCompiled file=b.chm\r\nContents file=none.hhc\r\n[FILES]\r\na.txt\r\nmissing.txt\r\n",
       "none.hhc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    WriteBytes(dir / "a.txt", "page");
    MakeFolder(dir / "folder.txt");
    const bool fifo = inkbinder::testing::MakeFifo(dir / "fifo.txt");
    if (!fifo && std::string(c.what).find("FIFO") != std::string::npos) continue;  // none on Windows
    WriteBytes(dir / "b.chm", "an earlier book");
    WriteBytes(dir / "p.hhp", c.project);
    std::string book;
    std::string error;
    EXPECT_FALSE(CompileHelpBook(dir / "p.hhp", CompileOptions{}, &book, &error));
    EXPECT_NE(error.find(c.named), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(dir / "b.chm"), "an earlier book");
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) entries += !e.path().empty();
    EXPECT_EQ(entries, fifo ? 5u : 4u) << "files left behind";
  }
}

// The book's own files follow the pages into the book: a page listed under
// one of their names is stored once, as a name listed twice is, and the
// book still reads back whole.
TEST(CompileHelpBookTest, APageCannotTakeTheNameOfTheBooksOwnFiles) {
  ScopedTempDir dir;
  WriteBytes(dir / "a.txt", "page");
  WriteBytes(dir / "#TOPICS", "not the topics");
  const std::string contents =
      "<HTML><BODY><UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a\">"
      "<param name=\"Local\" value=\"a.txt\"></OBJECT></UL></BODY></HTML>\r\n";
  WriteBytes(dir / "c.hhc", contents);
  WriteBytes(dir / "p.hhp",
             "[OPTIONS]\r\nCompiled file=b.chm\r\nContents file=c.hhc\r\n[FILES]\r\n#TOPICS\r\nc.hhc\r\na.txt\r\n");
  CompileOptions options;
  options.check = [](const std::string& book, const BookFacts& facts) { return CheckBook(book, facts); };
  std::string book;
  std::string error;
  ASSERT_TRUE(CompileHelpBook(dir / "p.hhp", options, &book, &error)) << error;
  testing::ChmlibBook chmlib(book);
  ASSERT_TRUE(chmlib.opened());
  std::string stored;
  ASSERT_TRUE(chmlib.Read("/#TOPICS", &stored));
  EXPECT_NE(stored, "not the topics");
  ASSERT_TRUE(chmlib.Read("/c.hhc", &stored));
  EXPECT_SAME_BYTES(contents, stored);
}

}  // namespace
}  // namespace helpbook
