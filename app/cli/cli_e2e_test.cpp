// The whole road through the real programs: inkbinder-cli writes the project,
// the hhc stand-in compiles it with chmcmd, and an independent reader
// (testing/read_chm.py over chmlib) reads the book back.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/messages.h"
#include "compiler/program_folder.h"
#include "project/text_encoding.h"
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

// Runs a program to its end with standard output and standard error caught
// apart, and `env` added to our environment.
Finished RunProgram(const std::vector<std::string>& args,
             const std::map<std::string, std::string>& env = {}) {
  ScopedTempDir catch_dir("e2e output");
  const std::string out_path = catch_dir / "out";
  const std::string err_path = catch_dir / "err";
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(126);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Finished f;
  f.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  f.out = ReadBytes(out_path);
  f.err = ReadBytes(err_path);
  return f;
}

// Just enough JSON for what read_chm.py prints.
struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json& operator[](const std::string& key) const {
    for (const auto& [k, v] : members) {
      if (k == key) return v;
    }
    throw std::runtime_error("no member " + key);
  }
  const Json& operator[](size_t i) const { return items.at(i); }
  size_t size() const { return items.size(); }
};

class JsonParser {
 public:
  explicit JsonParser(const std::string& s) : s_(s) {}
  Json Parse() {
    Json v = Value();
    Skip();
    if (i_ != s_.size()) Fail("trailing text");
    return v;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("JSON: " + what + " at " + std::to_string(i_));
  }
  void Skip() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool Eat(char c) {
    Skip();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Word(const char* w) {
    const std::string word(w);
    if (s_.compare(i_, word.size(), word) != 0) return false;
    i_ += word.size();
    return true;
  }
  unsigned Hex4() {
    if (i_ + 4 > s_.size()) Fail("short \\u");
    const unsigned v = static_cast<unsigned>(std::stoul(s_.substr(i_, 4), nullptr, 16));
    i_ += 4;
    return v;
  }
  std::string String() {
    if (!Eat('"')) Fail("string expected");
    std::string out;
    while (i_ < s_.size() && s_[i_] != '"') {
      const char c = s_[i_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      const char e = s_.at(i_++);
      switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          char32_t cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && Word("\\u")) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
          }
          AppendUtf8(&out, cp);
          break;
        }
        default: out += e;
      }
    }
    if (!Eat('"')) Fail("unterminated string");
    return out;
  }
  Json Value() {
    Skip();
    Json v;
    if (i_ >= s_.size()) Fail("value expected");
    const char c = s_[i_];
    if (c == '{') {
      v.kind = Json::kObject;
      ++i_;
      if (Eat('}')) return v;
      do {
        std::string key = String();
        if (!Eat(':')) Fail("':' expected");
        v.members.emplace_back(std::move(key), Value());
      } while (Eat(','));
      if (!Eat('}')) Fail("'}' expected");
    } else if (c == '[') {
      v.kind = Json::kArray;
      ++i_;
      if (Eat(']')) return v;
      do {
        v.items.push_back(Value());
      } while (Eat(','));
      if (!Eat(']')) Fail("']' expected");
    } else if (c == '"') {
      v.kind = Json::kString;
      v.text = String();
    } else if (Word("null")) {
      v.kind = Json::kNull;
    } else if (Word("true")) {
      v.kind = Json::kBool;
      v.boolean = true;
    } else if (Word("false")) {
      v.kind = Json::kBool;
    } else {
      v.kind = Json::kNumber;
      size_t used = 0;
      v.number = std::stod(s_.substr(i_), &used);
      i_ += used;
    }
    return v;
  }

  const std::string& s_;
  size_t i_ = 0;
};

Json ReadBook(const std::string& path) {
  const Finished r = RunProgram({"/usr/bin/python3", INKBINDER_READ_CHM, path});
  if (r.exit_code != 0) throw std::runtime_error("read_chm.py failed: " + r.err);
  return JsonParser(r.out).Parse();
}

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

struct Page {
  std::string file;
  std::string name;  // in the contents and the index
};

// A folder of pages of every kind the tool meets, in the order it lists them.
std::vector<Page> WritePages(const std::string& folder) {
  WriteBytes(folder + "/第2章.txt", Gbk("<html><title>第二章 开始</title>\r\n正文\r\n"));
  WriteBytes(folder + "/第10章.txt", Gbk("<TITLE>第十章</TITLE>\r\n"));
  WriteBytes(folder + "/2.txt", "<html><head><Title>Hello World</Title></head>\r\n");
  WriteBytes(folder + "/10.txt", "no title here\r\n");
  WriteBytes(folder + "/utf8.txt", "<title>统一码 页面</title>\r\n");
  // Listed (a link to a regular file) but unreadable: reading it fails with EIO.
  if (symlink("/proc/self/mem", (folder + "/x.txt").c_str()) != 0) {
    throw std::runtime_error("cannot make x.txt");
  }
  WriteBytes(folder + "/notes.md", "not a page");
  return {{"2.txt", "hello world"},     {"10.txt", "10.txt"},        {"utf8.txt", "统一码 页面"},
          {"x.txt", "x.txt"},           {"第2章.txt", "第二章 开始"}, {"第10章.txt", "第十章"}};
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

  const Json b = ReadBook(book);
  EXPECT_EQ(b["language"].text, "0x804");
  EXPECT_EQ(b["caption"].text, title);

  const Json& contents = b["contents"];
  ASSERT_EQ(contents.size(), 1u);
  EXPECT_EQ(contents[0]["name"].text, "目录");
  const Json& entries = contents[0]["children"];
  ASSERT_EQ(entries.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(pages[i].file);
    EXPECT_EQ(entries[i]["name"].text, pages[i].name);
    EXPECT_EQ(entries[i]["local"].text, pages[i].file);
    EXPECT_TRUE(entries[i]["resolves"].boolean) << "the page is not in the book";
    EXPECT_EQ(entries[i]["children"].size(), 0u);
  }

  // The binary index is what readers search; chmcmd stores it sorted its own
  // way, so compare keyword by keyword. A keyword decoded without the GBK
  // locale would read "??????".
  std::map<std::string, std::string> expected_keywords;
  for (const Page& p : pages) expected_keywords[p.name] = p.file;
  std::map<std::string, std::string> keywords;
  const Json& index = b["index"];
  for (size_t i = 0; i < index.size(); ++i) {
    ASSERT_EQ(index[i]["locals"].size(), 1u) << index[i]["keyword"].text;
    keywords[index[i]["keyword"].text] = index[i]["locals"][0].text;
  }
  EXPECT_EQ(keywords, expected_keywords);

  const Json& sitemap = b["index_sitemap"];
  ASSERT_EQ(sitemap.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(sitemap[i]["name"].text, pages[i].name);
}

TEST(CliEndToEndTest, KeepsTheSourcesWhenAskedAndReplacesAnOlderBook) {
  ScopedTempDir dir("e2e keep");
  WriteBytes(dir / "a.txt", "<title>A</title>\r\n");
  WriteBytes(dir / "Book.chm", "an older book");
  const Finished r =
      RunProgram({Bin("inkbinder-cli"), "--keep-sources", "--title=Book", dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  for (const char* source : kSources) EXPECT_TRUE(Exists(dir / source)) << source;
  const Json b = ReadBook(dir / "Book.chm");
  EXPECT_EQ(b["contents"][0]["children"][0]["name"].text, "a");
  EXPECT_EQ(b["caption"].text, "Book");
}

// hhc.exe's exit code is backwards (1 is success) and the tool relies on it.
TEST(CliEndToEndTest, TheStandInExitsLikeHhcExe) {
  ScopedTempDir dir("e2e 直接");
  WriteBytes(dir / "a.txt", "<title>A</title>\r\n");
  const Finished written =
      RunProgram({Bin("inkbinder-cli"), "--keep-sources", "--compiler", Bin("fake_compiler"),
                  "--title", "书", dir.path()},
                 {{"INKBINDER_FAKE_COMPILER", "exit=0"}});
  ASSERT_EQ(written.exit_code, 1);  // the fake failed; the sources stay
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exit_code;
    const char* says;
  };
  const Case cases[] = {
      {"no project", {}, 0, "usage: hhc"},
      {"two arguments", {dir / "chm_hhp.hhp", "x"}, 0, "usage: hhc"},
      {"a missing project", {dir / "none.hhp"}, 0, "cannot read the project file"},
      {"the tool's project", {dir / "chm_hhp.hhp"}, 1, "hhc: wrote "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args{Bin("hhc")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Finished r = RunProgram(args);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
  }
  EXPECT_EQ(ReadBook(dir / "书.chm")["caption"].text, "书");
}

// 俓 is 0x82 0x5C in code page 936: the second byte is a backslash.
TEST(CliEndToEndTest, TakesATitleAndAPageWithABackslashByte) {
  ScopedTempDir dir("e2e 5c");
  WriteBytes(dir / "a.txt", "<title>A</title>\r\n");
  const Finished titled = RunProgram({Bin("inkbinder-cli"), "--title", "俓书", dir.path()});
  ASSERT_EQ(titled.exit_code, 0) << titled.err;
  EXPECT_EQ(ReadBook(dir / "俓书.chm")["caption"].text, "俓书");

  WriteBytes(dir / "俓.txt", "<title>B</title>\r\n");
  const Finished paged = RunProgram({Bin("inkbinder-cli"), "--title", "书", dir.path()});
  ASSERT_EQ(paged.exit_code, 0) << paged.err;
  const Json b = ReadBook(dir / "书.chm");
  ASSERT_EQ(b["contents"][0]["children"].size(), 2u);
  EXPECT_EQ(b["contents"][0]["children"][1]["local"].text, "俓.txt");
  EXPECT_TRUE(b["contents"][0]["children"][1]["resolves"].boolean);
}

TEST(CliEndToEndTest, ManyPagesKeepEveryEntryAndKeyword) {
  // Enough pages that the contents and the index span many blocks of the book.
  ScopedTempDir dir("e2e many");
  constexpr int kPages = 400;
  for (int i = 0; i < kPages; ++i) {
    const std::string n = std::to_string(i);
    WriteBytes(dir / (n + ".txt"), i % 2 ? "no title\r\n" : Gbk("<title>第" + n + "页</title>\r\n"));
  }
  const Finished r = RunProgram({Bin("inkbinder-cli"), "--title", "多页", dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const Json b = ReadBook(dir / "多页.chm");
  const Json& entries = b["contents"][0]["children"];
  ASSERT_EQ(entries.size(), static_cast<size_t>(kPages));
  std::map<std::string, std::string> keywords;
  for (size_t i = 0; i < b["index"].size(); ++i) {
    keywords[b["index"][i]["keyword"].text] = b["index"][i]["locals"][0].text;
  }
  ASSERT_EQ(keywords.size(), static_cast<size_t>(kPages));
  for (int i = 0; i < kPages; ++i) {
    const std::string n = std::to_string(i);
    const std::string name = i % 2 ? n + ".txt" : "第" + n + "页";
    EXPECT_EQ(entries[i]["name"].text, name);
    EXPECT_EQ(keywords[name], n + ".txt");
  }
}

TEST(CliEndToEndTest, ReportsACompilerThatIsNotThere) {
  ScopedTempDir dir("e2e no compiler");
  ScopedTempDir program("e2e program");
  WriteBytes(dir / "a.txt", "a\r\n");
  // A copy of the tool in a folder without hhc beside it.
  std::filesystem::copy_file(Bin("inkbinder-cli"), program / "inkbinder-cli");
  const Finished r = RunProgram({program / "inkbinder-cli", "--title", "书", dir.path()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, std::string(kNoCompilerStatus) + "hhc\n");
  for (const char* source : kSources) EXPECT_FALSE(Exists(dir / source)) << source;
}

TEST(CliEndToEndTest, ReportsACompilerThatMadeNoGoodBook) {
  struct Case {
    const char* what;
    std::string fake;  // what the fake compiler does; BOOK stands for the book's path
  };
  const Case cases[] = {
      {"says it failed", "exit=0"},
      {"says it failed yet writes a book", "exit=0;book=BOOK"},
      {"says it succeeded but writes no book", "exit=1"},
      {"says it succeeded but writes an empty book", "exit=1;empty-book=BOOK"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir("e2e 失败");
    WriteBytes(dir / "a.txt", "a\r\n");
    std::string fake = c.fake;
    const size_t at = fake.find("BOOK");
    if (at != std::string::npos) fake.replace(at, 4, dir / "书.chm");
    const Finished r = RunProgram({Bin("inkbinder-cli"), "--compiler", Bin("fake_compiler"), "--title",
                            "书", dir.path()},
                           {{"INKBINDER_FAKE_COMPILER", fake}});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(std::string(kCompileFailedStatus) + "\n"), std::string::npos) << r.err;
    for (const char* source : kSources) EXPECT_FALSE(Exists(dir / source)) << source;
  }
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

}  // namespace
}  // namespace inkbinder
