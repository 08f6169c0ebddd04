// The system files inside a real book, read back through chmlib the way
// help readers use them: the code page from the language, the start page and
// every topic looked up by the UTF-8 name their code page 936 text decodes to.

#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "helpbook/book_readers.h"
#include "helpbook/book_writer.h"
#include "helpbook/compile_help_book.h"
#include "helpbook/help_project.h"
#include "helpbook/system_files.h"
#include "platform/text.h"
#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/project_file.h"
#include "project/templates.h"
#include "testing/temp_dir.h"

namespace helpbook {
namespace {

using inkbinder::testing::ReadBytes;
using inkbinder::testing::ScopedTempDir;
using inkbinder::testing::WriteBytes;

std::string Utf8(const std::string& gbk) {
  return inkbinder::CodePageToUtf8(gbk, inkbinder::kCodePage936);
}

std::uint32_t U32(const std::string& s, size_t at) {
  if (at + 4 > s.size()) return 0;
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

std::string CString(const std::string& s, size_t at) {
  if (at >= s.size()) return "<out of range>";
  return s.substr(at, s.find('\0', at) - at);
}

// Compiles the project the tool writes into `folder` into `book`: its three
// files read as the compiler reads them, the pages stored under UTF-8 names.
void Compile(const std::string& folder, const std::vector<std::string>& pages,
             const std::string& book) {
  std::string error;
  HelpProject project;
  ASSERT_TRUE(ParseHelpProject(ReadBytes(folder + "/" + inkbinder::kProjectFileName), &project,
                               &error))
      << error;
  BookInfo info;
  ASSERT_TRUE(BookInfoFromProject(project, &info, &error)) << error;
  const std::string contents = ReadBytes(folder + "/" + project.contents_file);
  const std::string index = ReadBytes(folder + "/" + project.index_file);
  ASSERT_TRUE(ParseSitemap(contents, &info.contents, &error)) << error;
  ASSERT_TRUE(ParseSitemap(index, &info.index, &error)) << error;
  std::vector<InternalFile> system;
  ASSERT_TRUE(MakeSystemFiles(info, &system, &error)) << error;

  BookWriter writer(book, BookSettings{});
  ASSERT_TRUE(writer.Start(&error)) << error;
  for (const InternalFile& f : system) ASSERT_TRUE(writer.AddFile(f.name, f.bytes));
  ASSERT_TRUE(writer.AddFile("/" + project.contents_file, contents));
  ASSERT_TRUE(writer.AddFile("/" + project.index_file, index));
  for (const std::string& page : pages) {
    ASSERT_TRUE(writer.AddFile("/" + page, ReadBytes(folder + "/" + page)));
  }
  ASSERT_TRUE(writer.Finish(&error)) << error;
}

TEST(SystemFilesBookTest, ReadersFindTitleStartPageWindowAndTopics) {
  ScopedTempDir dir("系统 文件");
  const std::vector<std::string> pages = {"第一章 开始.txt", "b.txt", "附录&注.txt"};
  WriteBytes(dir / pages[0], "<title>开始吧</title>\r\n第一章的正文\r\n");
  WriteBytes(dir / pages[1], "plain page\r\n");
  WriteBytes(dir / pages[2], "<TITLE>附录 \"A\"</TITLE>\r\n");
  const std::vector<std::string> names = inkbinder::ReadPageNames(dir.path(), pages);
  ASSERT_TRUE(inkbinder::WriteContentsFile(dir.path(), pages, names));
  ASSERT_TRUE(inkbinder::WriteIndexFile(dir.path(), pages, names));
  ASSERT_TRUE(inkbinder::WriteProjectFile(dir.path(), pages, "我的 书"));
  const std::string book = dir / "我的 书.chm";
  Compile(dir.path(), pages, book);

  testing::ChmlibBook reader(book);
  ASSERT_TRUE(reader.opened());
  std::string system, windows, strings, topics, table, urls, page;
  ASSERT_TRUE(reader.Read("/#SYSTEM", &system));
  ASSERT_TRUE(reader.Read("/#WINDOWS", &windows));
  ASSERT_TRUE(reader.Read("/#STRINGS", &strings));
  ASSERT_TRUE(reader.Read("/#TOPICS", &topics));
  ASSERT_TRUE(reader.Read("/#URLTBL", &table));
  ASSERT_TRUE(reader.Read("/#URLSTR", &urls));

  std::map<int, std::string> records;
  for (size_t at = 4; at + 4 <= system.size();) {
    const int code = static_cast<unsigned char>(system[at]) | (static_cast<unsigned char>(system[at + 1]) << 8);
    const size_t size = static_cast<unsigned char>(system[at + 2]) | (static_cast<unsigned char>(system[at + 3]) << 8);
    records[code] = system.substr(at + 4, size);
    at += 4 + size;
  }
  ASSERT_EQ(U32(records[kRecordLocale], 0), 0x804u);  // readers pick code page 936 from it
  EXPECT_EQ(Utf8(CString(records[kRecordTitle], 0)), "我的 书");
  // The book opens on the contents' first page.
  const std::string start = Utf8(CString(records[kRecordDefaultTopic], 0));
  EXPECT_EQ(start, pages[0]);
  ASSERT_TRUE(reader.Read("/" + start, &page)) << start;
  EXPECT_EQ(page, ReadBytes(dir / pages[0]));
  for (int code : {kRecordContentsFile, kRecordIndexFile}) {
    EXPECT_TRUE(reader.Read("/" + CString(records[code], 0), &page)) << "code " << code;
  }

  ASSERT_EQ(U32(windows, 0), 1u);
  const size_t w = 8;
  EXPECT_EQ(Utf8(CString(strings, U32(windows, w + 0x14))), "我的 书");
  EXPECT_TRUE(reader.Read("/" + CString(strings, U32(windows, w + 0x60)), &page));
  EXPECT_TRUE(reader.Read("/" + CString(strings, U32(windows, w + 0x64)), &page));

  ASSERT_EQ(topics.size(), 16 * pages.size());
  for (size_t t = 0; t < pages.size(); ++t) {
    // The entry's name as a reader shows it: its entities decoded.
    std::string title = names[t];
    for (size_t q; (q = title.find("&quot;")) != std::string::npos;) title.replace(q, 6, "\"");
    EXPECT_EQ(Utf8(CString(strings, U32(topics, 16 * t + 4))), title);
    const std::string local = Utf8(CString(urls, U32(table, U32(topics, 16 * t + 8) + 8) + 8));
    EXPECT_EQ(local, pages[t]);
    EXPECT_TRUE(reader.Read("/" + local, &page)) << local;
  }
}

}  // namespace
}  // namespace helpbook
