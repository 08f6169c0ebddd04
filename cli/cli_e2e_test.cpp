// The whole road through the real programs: inkbinder-cli writes the project,
// inkbinder-hhc compiles it with the built-in help compiler, and an independent reader
// (testing/read_chm.py over chmlib and 7-Zip) reads the book back as a reader does:
// each link's page found by its UTF-8 name and compared with the page on disk.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "commands/messages.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "testing/special_files.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using ::inkbinder::testing::Exists;
using ::inkbinder::testing::MakeFolder;
using ::inkbinder::testing::ReadBytes;
using ::inkbinder::testing::ScopedTempDir;
using ::inkbinder::testing::WriteBytes;

// The programs under test lie beside this test, unless INKBINDER_BIN says otherwise.
std::string Bin(const std::string& program) {
  const char* bin = std::getenv("INKBINDER_BIN");
  return (bin != nullptr ? std::string(bin) : ProgramFolder()) + "/" + program;
}

struct Finished {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// A program started with standard output and standard error caught apart,
// and `env` added to our environment; in a process group of its own when
// `own_group`, as a shell starts a command.
using Started = std::unique_ptr<Process>;

Started StartProgram(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env = {}, bool own_group = false) {
  ProcessOptions options;
  options.capture_output = true;
  options.capture_errors = true;
  options.own_process_group = own_group;
  options.environment.assign(env.begin(), env.end());
  std::string error;
  Started s = Process::Start(args.at(0), {args.begin() + 1, args.end()}, options, &error);
  if (s == nullptr) throw std::runtime_error("cannot start " + args[0] + ": " + error);
  return s;
}

// Waits for a started program to end.
Finished Finish(Started& s) {
  Finished f;
  f.exit_code = s->Wait();
  f.out = s->Output();
  f.err = s->Errors();
  return f;
}

// Runs a program to its end.
Finished RunProgram(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env = {}) {
  Started s = StartProgram(args, env);
  return Finish(s);
}

// A sitemap entry as read_chm.py saw it; a text it did not find is nullopt.
struct SeenEntry {
  int depth = 0;
  std::optional<std::string> name, local, path;
  std::string resolves, same_as_disk, seven_zip;  // "yes", "no" or "-"
};

// What a reader makes of a book, as read_chm.py prints it.
struct SeenBook {
  std::string lcid, binary_index;
  std::optional<std::string> caption;
  std::vector<SeenEntry> contents, index;
  std::vector<std::string> files, seven_zip_files;
};

// A text column: "=" and the text with \\, \t, \n and \r escaped, or "-".
std::optional<std::string> TextColumn(const std::string& column) {
  if (column == "-") return std::nullopt;
  if (column.empty() || column[0] != '=') throw std::runtime_error("not a text column: " + column);
  std::string text;
  for (size_t i = 1; i < column.size(); ++i) {
    char c = column[i];
    if (c == '\\' && i + 1 < column.size()) {
      c = column[++i];
      c = c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    text.push_back(c);
  }
  return text;
}

SeenBook ParseSeen(const std::string& out) {
  SeenBook b;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> c;
    std::istringstream columns(line);
    for (std::string column; std::getline(columns, column, '\t');) c.push_back(column);
    const std::string& key = c.at(0);
    if (key == "lcid") b.lcid = c.at(1);
    if (key == "binary_index") b.binary_index = c.at(1);
    if (key == "caption") b.caption = TextColumn(c.at(1));
    if (key == "file") b.files.push_back(TextColumn(c.at(1)).value());
    if (key == "seven_zip_file") b.seven_zip_files.push_back(TextColumn(c.at(1)).value());
    if (key == "contents" || key == "index") {
      (key == "contents" ? b.contents : b.index)
          .push_back({std::stoi(c.at(1)), TextColumn(c.at(2)), TextColumn(c.at(3)),
                      TextColumn(c.at(4)), c.at(5), c.at(6), c.at(7)});
    }
  }
  return b;
}

// What a reader makes of the book; pages compared with those in `folder`.
SeenBook ReadBook(const std::string& path, const std::string& folder) {
  const Finished r = RunProgram({"/usr/bin/python3", INKBINDER_READ_CHM, path, folder});
  if (r.exit_code != 0) throw std::runtime_error("read_chm.py failed: " + r.err);
  return ParseSeen(r.out);
}

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

struct Page {
  std::string file;
  std::string name;         // in the contents and the index, as a reader shows it
  bool readable = true;     // false: the page cannot be read, and goes in empty
};

// One sitemap entry opens its page: found by its UTF-8 name, the bytes of the file.
void ExpectOpens(const SeenEntry& entry, const Page& page) {
  SCOPED_TRACE(page.file);
  ASSERT_TRUE(entry.name.has_value()) << "a reader cannot read the name";
  EXPECT_EQ(entry.name, page.name);
  EXPECT_EQ(entry.path, page.file);
  EXPECT_EQ(entry.resolves, "yes") << "no page of that name in the book";
  EXPECT_EQ(entry.seven_zip, "yes") << "7-Zip gives other bytes or none";
  if (page.readable) {
    EXPECT_EQ(entry.same_as_disk, "yes") << "the page's bytes differ";
  }
}

// The book as a reader shows it: the contents under "目录" and the index list
// every page in order, each link opens its page, the listing names every
// page, and no binary keyword index stands in for the index sitemap.
void ExpectAReaderSeesEveryPage(const SeenBook& b, const std::vector<Page>& pages) {
  EXPECT_EQ(b.lcid, "2052");  // 0x804
  EXPECT_EQ(b.binary_index, "no");
  // "目录" alone at the top, every page below it and nothing below a page.
  ASSERT_EQ(b.contents.size(), pages.size() + 1);
  EXPECT_EQ(b.contents[0].depth, 0);
  EXPECT_EQ(b.contents[0].name, "目录");
  ASSERT_EQ(b.index.size(), pages.size());
  const std::set<std::string> listed(b.files.begin(), b.files.end());
  const std::set<std::string> seven_zip_listed(b.seven_zip_files.begin(), b.seven_zip_files.end());
  EXPECT_EQ(seven_zip_listed, listed) << "7-Zip lists other files than chmlib";
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(b.contents[i + 1].depth, 1);
    ExpectOpens(b.contents[i + 1], pages[i]);
    ExpectOpens(b.index[i], pages[i]);
    EXPECT_EQ(listed.count(pages[i].file), 1u) << pages[i].file << " is not listed";
  }
}

// A folder of pages of every kind the tool meets, in the order it lists them.
std::vector<Page> WritePages(const std::string& folder) {
  WriteBytes(folder + "/第2章.txt", Gbk("<html><title>第二章 开始</title>\r\n正文\r\n"));
  WriteBytes(folder + "/第10章.txt", Gbk("<TITLE>第十章</TITLE>\r\n"));
  WriteBytes(folder + "/2.txt", "<html><head><Title>Hello World</Title></head>\r\n");
  WriteBytes(folder + "/10.txt", "no title here\r\n");
  WriteBytes(folder + "/utf8.txt", "<title>统一码 页面</title>\r\n");
  WriteBytes(folder + "/notes.md", "not a page");
  return {{"2.txt", "hello world"},      {"10.txt", "10.txt"},
          {"utf8.txt", "统一码 页面"},
          {"第2章.txt", "第二章 开始"},  {"第10章.txt", "第十章"}};
}

const char* const kSources[] = {"chm_hhc.hhc", "chm_hhk.hhk", "chm_hhp.hhp"};

TEST(CliEndToEndTest, BuildsABookThatReadsBackRight) {
  ScopedTempDir dir("e2e 中文 folder");
  const std::vector<Page> pages = WritePages(dir.path());
  const std::string title = "我的 手册 v1";

  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", title, dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::string book = dir / (title + ".chm");
  EXPECT_EQ(r.out, std::string(kSuccessStatus) + "\n" + book + "\n");
  for (const char* source : kSources) EXPECT_FALSE(Exists(dir / source)) << source;

  const SeenBook b = ReadBook(book, dir.path());
  EXPECT_EQ(b.caption, title);
  ExpectAReaderSeesEveryPage(b, pages);
}

TEST(CliEndToEndTest, TheSampleReadsBackRight) {
  ScopedTempDir dir("e2e 示例");
  std::filesystem::copy(INKBINDER_SAMPLE_DIR, dir.path());
  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "示例手册", dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  ExpectAReaderSeesEveryPage(ReadBook(dir / "示例手册.chm", dir.path()),
                             {{"appendix.txt", "appendix: quick reference"},
                              {"notes.txt", "notes.txt"},
                              {"第1章.txt", "第一章 起步"},
                              {"第2章.txt", "第二章 页面与标题"},
                              {"第10章.txt", "第十章 编码"}});
}

// Names a URL or HTML gives meaning to, and titles with markup in them.
TEST(CliEndToEndTest, NamesAndTitlesThatLinksAndMarkupMisreadOpenTheirPages) {
  ScopedTempDir dir("e2e 名字");
  const std::vector<std::pair<std::string, std::string>> files = {
      {"a b.txt", "<title>a \"quoted\" <b></title>\r\n"},
      {"C#入门.txt", "<title>C# 入门</title>\r\n"},
      {"R&D.txt", Gbk("<title>R&amp;D &#26631;题 &#x41;</title>\r\n")},
      {"Tom & Jerry.txt", "<title>Tom & Jerry</title>\r\n"},
      {"x%41y.txt", "no title\r\n"},
      {"R&amp;D 部门.txt", "no title\r\n"},
      {"p&amp;q.txt", "no title\r\n"},
      {"A&B 说明.txt", "no title\r\n"},
      {"100% 完成.txt", Gbk("<title>100% 完成</title>\r\n")},
      {"俓.txt", Gbk("俓的一页\r\n")},  // 0x82 0x5C in code page 936
      {"第1章.txt", Gbk("<title>第一章</title>\r\n")},
  };
  for (const auto& [name, bytes] : files) WriteBytes(dir / name, bytes);
  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "名字", dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.err.find("俓.txt"), std::string::npos) << "the page was left out: " << r.err;
  ExpectAReaderSeesEveryPage(ReadBook(dir / "名字.chm", dir.path()),
                             {{"100% 完成.txt", "100% 完成"},
                              {"a b.txt", "a \"quoted\" <b>"},
                              {"A&B 说明.txt", "A&B 说明.txt"},
                              {"C#入门.txt", "c# 入门"},
                              {"p&amp;q.txt", "p&amp;q.txt"},
                              {"R&amp;D 部门.txt", "R&amp;D 部门.txt"},
                              {"R&D.txt", "r&d 标题 A"},
                              {"Tom & Jerry.txt", "tom & jerry"},
                              {"x%41y.txt", "x%41y.txt"},
                              {"俓.txt", "俓.txt"},
                              {"第1章.txt", "第一章"}});
}

// chmcmd alone loses the byte of a one-byte last page and shifts what follows.
TEST(CliEndToEndTest, AOneByteLastPageReadsBackWhole) {
  ScopedTempDir dir("e2e 一字节");
  WriteBytes(dir / "a.txt", "<title>A</title>\r\n");
  WriteBytes(dir / "z.txt", "\n");
  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "短", dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  ExpectAReaderSeesEveryPage(ReadBook(dir / "短.chm", dir.path()), {{"a.txt", "a"}, {"z.txt", "z.txt"}});
}

TEST(CliEndToEndTest, KeepsTheSourcesWhenAskedAndReplacesAnOlderBook) {
  ScopedTempDir dir("e2e keep");
  WriteBytes(dir / "a.txt", "<title>A</title>\r\n");
  WriteBytes(dir / "Book.chm", "an older book");
  const Finished r =
      RunProgram({Bin("inkbinder-cli"), "--keep-sources", "--title=Book", dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  for (const char* source : kSources) EXPECT_TRUE(Exists(dir / source)) << source;
  const SeenBook b = ReadBook(dir / "Book.chm", dir.path());
  ExpectAReaderSeesEveryPage(b, {{"a.txt", "a"}});
  EXPECT_EQ(b.caption, "Book");
}

// A page that is listed but cannot be read: the compile names it, and no book is made.
TEST(CliEndToEndTest, AnUnreadablePageIsNamedAndMakesNoBook) {
  ScopedTempDir dir("e2e 读不了");
  WriteBytes(dir / "a.txt", "<title>A</title>\r\n");
  // A link to a regular file whose reading fails (EIO).
  std::string why;
  ASSERT_TRUE(testing::MakeSymbolicLink("/proc/self/mem", dir / "x.txt", &why)) << why;
  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "书", dir.path()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("x.txt"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(kCompileFailedStatus), std::string::npos) << r.err;
  EXPECT_FALSE(Exists(dir / "书.chm"));
}

// hhc.exe's exit code is backwards (1 is success) and the tool relies on it.
TEST(CliEndToEndTest, HhcExitsLikeHhcExe) {
  ScopedTempDir dir("e2e 直接");
  WriteBytes(dir / "a.txt", "<title>A</title>\r\n");
  const Finished written =
      RunProgram({Bin("inkbinder-cli"), "--keep-sources", "--compiler", Bin("fake_compiler"),
                  "--title", "书", dir.path()},
                 {{"INKBINDER_FAKE_COMPILER", "exit=0"}});
  ASSERT_EQ(written.exit_code, 1);  // the fake failed; the sources stay
  ASSERT_TRUE(testing::MakeFifo(dir / "fifo.hhp"));
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exit_code;
    const char* says;
  };
  const Case cases[] = {
      {"no project", {}, 0, "usage: inkbinder-hhc"},
      {"two arguments", {dir / "chm_hhp.hhp", "x"}, 0, "usage: inkbinder-hhc"},
      {"a missing project", {dir / "none.hhp"}, 0, "cannot read the project file"},
      {"a FIFO for a project: refused, not waited on", {dir / "fifo.hhp"}, 0, "not a regular file"},
      {"the tool's project", {dir / "chm_hhp.hhp"}, 1, "inkbinder-hhc: wrote "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args{Bin("inkbinder-hhc")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Finished r = RunProgram(args);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
  }
  EXPECT_EQ(ReadBook(dir / "书.chm", dir.path()).caption, "书");
}

// 俓 is 0x82 0x5C in code page 936: the second byte is a backslash.
TEST(CliEndToEndTest, TakesATitleAndAPageWithABackslashByte) {
  ScopedTempDir dir("e2e 5c");
  WriteBytes(dir / "a.txt", "<title>A</title>\r\n");
  const Finished titled = RunProgram({Bin("inkbinder-cli"), "--title", "俓书", dir.path()});
  ASSERT_EQ(titled.exit_code, 0) << titled.err;
  EXPECT_EQ(ReadBook(dir / "俓书.chm", dir.path()).caption, "俓书");
  std::remove((dir / "俓书.chm").c_str());

  WriteBytes(dir / "俓.txt", "<title>B</title>\r\n");
  const Finished paged = RunProgram({Bin("inkbinder-cli"), "--title", "书", dir.path()});
  ASSERT_EQ(paged.exit_code, 0) << paged.err;
  ExpectAReaderSeesEveryPage(ReadBook(dir / "书.chm", dir.path()), {{"a.txt", "a"}, {"俓.txt", "b"}});
}

TEST(CliEndToEndTest, ManyPagesKeepEveryEntryAndKeyword) {
  // Enough pages that the book's file listing and the sitemaps span many blocks.
  ScopedTempDir dir("e2e many");
  constexpr int kPages = 400;
  std::vector<Page> pages;
  for (int i = 0; i < kPages; ++i) {
    const std::string n = std::to_string(i);
    WriteBytes(dir / (n + ".txt"), i % 2 ? "no title\r\n" : Gbk("<title>第" + n + "页</title>\r\n"));
    pages.push_back({n + ".txt", i % 2 ? n + ".txt" : "第" + n + "页"});
  }
  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "多页", dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ExpectAReaderSeesEveryPage(ReadBook(dir / "多页.chm", dir.path()), pages);
}

TEST(CliEndToEndTest, ReportsACompilerThatIsNotThere) {
  ScopedTempDir dir("e2e no compiler");
  ScopedTempDir program("e2e program");
  WriteBytes(dir / "a.txt", "a\r\n");
  // A copy of the tool in a folder without inkbinder-hhc beside it.
  std::filesystem::copy_file(Bin("inkbinder-cli"), program / "inkbinder-cli");
  const Finished r = RunProgram({program / "inkbinder-cli", "--title", "书", dir.path()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, std::string(kNoCompilerStatus) + "inkbinder-hhc\n");
  for (const char* source : kSources) EXPECT_FALSE(Exists(dir / source)) << source;
}

TEST(CliEndToEndTest, ReportsACompilerThatCannotStartWithTheReason) {
  ScopedTempDir dir("e2e cannot start");
  WriteBytes(dir / "a.txt", "a\r\n");
  ScopedTempDir program("e2e program");
  WriteBytes(program / "inkbinder-hhc", "not executable");
  const Finished r =
      RunProgram({Bin("inkbinder-cli"), "--compiler", program / "inkbinder-hhc", "--title", "书", dir.path()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, std::string(kNotStartedStatus) + "inkbinder-hhc\nPermission denied\n");
  for (const char* source : kSources) EXPECT_FALSE(Exists(dir / source)) << source;
}

// Which compiles count as failed is the convert command's to test; here, how
// the command line reports one.
TEST(CliEndToEndTest, ReportsACompilerThatMadeNoGoodBook) {
  ScopedTempDir dir("e2e 失败");
  WriteBytes(dir / "a.txt", "a\r\n");
  const Finished r = RunProgram({Bin("inkbinder-cli"), "--compiler", Bin("fake_compiler"), "--title",
                                 "书", dir.path()},
                                {{"INKBINDER_FAKE_COMPILER", "exit=0;book=" + dir / "书.chm"}});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(std::string(kCompileFailedStatus) + "\n"), std::string::npos) << r.err;
}

TEST(CliEndToEndTest, ReportsAFileItCannotWrite) {
  ScopedTempDir dir("e2e unwritable");
  WriteBytes(dir / "a.txt", "a\r\n");
  MakeFolder(dir / "chm_hhc.hhc");  // stands where the contents file goes, even for root
  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "书", dir.path()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, std::string(kWriteFailedStatus) + "chm_hhc.hhc\n");
  EXPECT_FALSE(Exists(dir / "书.chm"));
}

// The book cannot be written: a FIFO under its name, or a full disk while hhc
// writes it. The status names the book, and the older book stays.
TEST(CliEndToEndTest, ReportsABookItCannotWrite) {
  ScopedTempDir dir("e2e full");
  std::mt19937 noise(19);  // pages that do not compress
  std::string page;
  for (int i = 0; i < 300000; ++i) page += static_cast<char>(noise());
  WriteBytes(dir / "a.txt", page);
  if (testing::MakeFifo(dir / "书.chm")) {
    const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "书", dir.path()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, std::string(kWriteFailedStatus) + "书.chm\n");
    std::remove((dir / "书.chm").c_str());
  }
  WriteBytes(dir / "书.chm", "an older book");
  Finished r;
  {
    const testing::ScopedFileSizeLimit full(64 * 1024);
    if (!full.Active()) GTEST_SKIP() << "no file size limit here";
    r = RunProgram({Bin("inkbinder-cli"), "--title", "书", dir.path()});
  }
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find(std::string(kWriteFailedStatus) + "书.chm\n"), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(dir / "书.chm"), "an older book");
}

// Names that would break the one-name-a-line list or drive the terminal are
// printed escaped.
TEST(CliEndToEndTest, LeftOutNamesArePrintedOnePerLineAndInert) {
  ScopedTempDir dir("e2e names");
  WriteBytes(dir / "a.txt", "a\r\n");
  WriteBytes(dir / "two\nlines.txt", "x");
  WriteBytes(dir / "\x1b]0;OWNED\a\x1b[2J.txt", "x");
  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "书", dir.path()});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("book: two\\nlines.txt\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("book: \\x1b]0;OWNED\\x07\\x1b[2J.txt\n"), std::string::npos) << r.err;
  size_t lines = 0;
  for (size_t at = 0; (at = r.err.find("left out", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, 2u) << r.err;
  EXPECT_EQ(r.err.find_first_of("\x1b\a"), std::string::npos) << "raw control characters";
}

TEST(CliEndToEndTest, RefusesBadInputWithExitCode2) {
  ScopedTempDir pages("e2e input");
  WriteBytes(pages / "a.txt", "a\r\n");
  ScopedTempDir empty("e2e empty");
  WriteBytes(empty / "readme.md", "no pages");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string err_holds;
  };
  const Case cases[] = {
      {"no pages", {"--title", "书", empty.path()}, kNoPagesText},
      {"a folder that is not there", {"--title", "书", pages / "missing"}, "no such folder"},
      {"a file for a folder", {"--title", "书", pages / "a.txt"}, "no such folder"},
      {"an empty title", {"--title", "", pages.path()}, kNoTitleText},
      {"a title no file can be named", {"--title", "a/b", pages.path()}, kBadTitleText},
      {"a title with a colon", {"--title", "第1章: 开始", pages.path()}, kBadTitleText},
      {"a title code page 936 lacks", {"--title", "한국", pages.path()}, kTitleNotInCodePageText},
      {"a title with a leading space", {"--title", " B", pages.path()}, kTitleNotAFileNameText},
      {"a device name", {"--title", "con", pages.path()}, kTitleNotAFileNameText},
      {"no title option", {pages.path()}, "usage"},
      {"no folder", {"--title", "书"}, "usage"},
      {"an unknown option", {"--frobnicate", "--title", "书", pages.path()}, "usage"},
      {"two folders", {"--title", "书", pages.path(), empty.path()}, "usage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args{Bin("inkbinder-cli")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Finished r = RunProgram(args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.err_holds), std::string::npos) << r.err;
    for (const char* source : kSources) {
      EXPECT_FALSE(Exists(pages / source));
      EXPECT_FALSE(Exists(empty / source));
    }
  }
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Signals from the user (Ctrl-C to the whole process group, SIGTERM or
// SIGHUP to the tool alone) in the middle of a real compile of thousands of
// pages: the compile stops, and no source file, book or temporary file is
// left. A SIGKILL leaves the compiler's hidden temporary files beside the
// book, and never a book.
TEST(CliEndToEndTest, AnInterruptedRunLeavesNothingBehind) {
  ScopedTempDir dir("e2e 中断");
  constexpr int kPages = 3000;
  for (int i = 0; i < kPages; ++i) {
    const std::string n = std::to_string(i);
    std::string page = Gbk("<title>第" + n + "页</title>\r\n");
    for (int j = 0; j < 400; ++j) page += std::to_string(i * 7919 + j * 104729);
    WriteBytes(dir / (n + ".txt"), page);
  }
  const std::vector<std::string> pages = Entries(dir.path());
  const auto compiling = [&] {
    for (const std::string& name : Entries(dir.path())) {
      if (name.rfind(".chm-", 0) == 0) return true;
    }
    return false;
  };
  struct Case {
    const char* what;
    StopSignal signal;
    bool whole_group;
  };
  const Case cases[] = {
      {"Ctrl-C: SIGINT to the whole group", StopSignal::kInterrupt, true},
      {"SIGTERM to the tool alone", StopSignal::kTerminate, false},
      {"SIGHUP to the tool alone", StopSignal::kHangUp, false},
      {"SIGKILL to the whole group", StopSignal::kKill, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Started s = StartProgram({Bin("inkbinder-cli"), "--title", "中断", dir.path()}, {}, true);
    // Wait until the compiler writes beside the book.
    const auto start = std::chrono::steady_clock::now();
    while (!compiling() && std::chrono::steady_clock::now() - start < std::chrono::seconds(120)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(compiling()) << "the compiler never started writing";
    const auto sent = std::chrono::steady_clock::now();
    s->Stop(c.signal, c.whole_group);
    const Finished r = Finish(s);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - sent).count();
    std::cout << c.what << ": exit " << r.exit_code << " after " << ms << " ms\n";
    // What the compiler is left to do is over once the tool is.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (r.exit_code == 0) {
      GTEST_SKIP() << "the compile was over before the signal came";
    }
    if (c.signal == StopSignal::kKill) {
      EXPECT_EQ(r.exit_code, kKilledExitCode);
      EXPECT_FALSE(Exists(dir / "中断.chm"));
      for (const std::string& name : Entries(dir.path())) {
        if (name[0] == '.' || name.rfind("chm_", 0) == 0) std::remove((dir / name).c_str());
      }
    } else {
      EXPECT_EQ(r.exit_code, 1) << r.err;
      EXPECT_NE(r.err.find(kInterruptedStatus), std::string::npos) << r.err;
    }
    EXPECT_EQ(Entries(dir.path()), pages) << "no source file, no book, no temporary file";
  }
}

// Two conversions of one folder at once: while the first compiles, the
// second is refused at once and writes nothing; the first then makes its
// book. The first run's compiler is held until the second has answered, so
// the two always overlap, however loaded the machine is.
TEST(CliEndToEndTest, TwoRunsOnOneFolderAtOnce) {
  ScopedTempDir dir("e2e 同时");
  ScopedTempDir signals("e2e signals");
  WriteBytes(dir / "1.txt", Gbk("<title>第1页</title>\r\n"));
  const std::vector<std::string> pages = Entries(dir.path());
  const std::string compiling = signals / "compiling";
  const std::string release = signals / "release";
  Started first = StartProgram(
      {Bin("inkbinder-cli"), "--compiler", Bin("fake_compiler"), "--title", "甲", dir.path()},
      {{"INKBINDER_FAKE_COMPILER",
        "log=" + compiling + ";wait-for=" + release + ";book=" + dir / "甲.chm"}});
  for (int i = 0; i < 60000 && !Exists(compiling); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(Exists(compiling)) << "the first run never reached its compiler";

  const Finished second = RunProgram({Bin("inkbinder-cli"), "--title", "乙", dir.path()});
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_EQ(second.err, std::string(kBusyStatus) + "\n") << "no other failure";
  EXPECT_FALSE(Exists(dir / "乙.chm"));

  WriteBytes(release, "");
  const Finished made = Finish(first);
  EXPECT_EQ(made.exit_code, 0) << made.err;
  std::vector<std::string> expected = pages;
  expected.push_back("甲.chm");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Entries(dir.path()), expected) << "the book and the pages, no source or temporary file";
}

TEST(CliEndToEndTest, ChaptersInReadingOrderAndTitlesWithNothingLost) {
  ScopedTempDir dir("e2e order");
  const std::vector<Page> pages = {
      {"1.txt", "1.txt"},         {"2.txt", "2.txt"},
      {"10.txt", "2.\u00A0common features"},  // no-break space: beyond code page 936
      {"abc.txt", "abc.txt"},     {"Abd.txt", "abd: ǎ 한국"},
      {"第一章.txt", "第一章.txt"}, {"第2章.txt", "第2章.txt"},  {"第十章.txt", "第十章.txt"},
      {"第十一章.txt", "第十一章.txt"}, {"第二十章.txt", "第二十章.txt"},
      {"第一百零一章.txt", "第一百零一章.txt"}, {"附录.txt", "附录.txt"},
      {"后记.txt", "后记.txt"},   {"序章.txt", "序章.txt"},
  };
  for (const Page& p : pages) WriteBytes(dir / p.file, "no title\r\n");
  WriteBytes(dir / "10.txt", "\xEF\xBB\xBF<title>2.\u00A0Common Features</title>\r\n");
  WriteBytes(dir / "Abd.txt", "<title>ABD: Ǎ 한국</title>\r\n");

  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "顺序", dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  ExpectAReaderSeesEveryPage(ReadBook(dir / "顺序.chm", dir.path()), pages);
}

}  // namespace
}  // namespace inkbinder
