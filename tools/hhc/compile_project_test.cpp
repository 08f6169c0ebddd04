#include "tools/hhc/compile_project.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/project_file.h"
#include "project/text_encoding.h"
#include "testing/temp_dir.h"
#include "tools/hhc/gbk_locale.h"
#include "testing/programs.h"

namespace inkbinder::hhc {
namespace {

using ::inkbinder::testing::ScopedEnv;

using ::inkbinder::testing::Exists;
using ::inkbinder::testing::ReadBytes;
using ::inkbinder::testing::ScopedTempDir;
using ::inkbinder::testing::WriteBytes;

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

// Runs the stand-in against a chmcmd played by a shell script, with the
// staging folder under a temporary folder of the test's own.
class CompileProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A fake chmcmd writes no real book: the reader's check is played too.
    settings_.check_book = [this](const std::string& book, const BookExpectation& expected) {
      checked_book_ = ReadBytes(book);
      checked_ = expected;
      return check_says_;
    };
    WriteBytes(source_ / "第1章.txt", "<title>第一章</title>\r\n");
    WriteBytes(source_ / "2.txt", "two\r\n");
    WriteBytes(source_ / "chm_hhc.hhc", "contents");
    WriteBytes(source_ / "chm_hhk.hhk", "index");
    WriteProject(Gbk("我的 书.chm"));
  }
  void WriteProject(const std::string& compiled_file) {
    WriteBytes(source_ / "chm_hhp.hhp",
               "[OPTIONS]\r\nCompiled file=" + compiled_file +
                   "\r\nContents file=chm_hhc.hhc\r\nIndex file=chm_hhk.hhk\r\n[FILES]\r\n" +
                   Gbk("第1章.txt") + "\r\n2.txt\r\n");
  }
  // `body` runs in the staging folder with the project's name as $1; it
  // leaves a record of what it saw in the test's log.
  void FakeChmcmd(const std::string& body) {
    settings_.chmcmd = tools_ / "chmcmd";
    WriteBytes(settings_.chmcmd, "#!/bin/sh\n"
                                 "{ pwd; echo \"LC_ALL=$LC_ALL\"; echo \"ARG=$1\"; } > '" +
                                     log_ + "'\n" + body + "\n");
    chmod(settings_.chmcmd.c_str(), 0755);
  }
  bool Compile() {
    out_ = std::tmpfile();
    settings_.out = out_;
    const bool ok = CompileProject(source_ / "chm_hhp.hhp", settings_);
    std::rewind(out_);
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, out_)) > 0) output_.append(buffer, got);
    std::fclose(out_);
    return ok;
  }
  bool StagingLeftBehind() const {
    return !std::filesystem::is_empty(std::filesystem::path(tmp_.path()));
  }

  ScopedTempDir source_{"hhc 源 folder"};
  ScopedTempDir tools_{"hhc tools"};
  ScopedTempDir tmp_{"hhc tmp"};
  ScopedEnv tmpdir_{"TMPDIR", tmp_.path().c_str()};
  const std::string log_ = tools_ / "log";
  CompileSettings settings_;
  std::string check_says_;
  std::string checked_book_;
  BookExpectation checked_;
  std::FILE* out_ = nullptr;
  std::string output_;
};

TEST_F(CompileProjectTest, MovesTheBookBesideTheProjectUnderItsUtf8Name) {
  FakeChmcmd("cat 第1章.txt 2.txt >> '" + log_ +
             "'\n"
             "printf 'Writing CHM %s\\n' '" + Gbk("我的 书.chm") + "'\n"
             "printf 'ITSF book' > '" + Gbk("我的 书.chm") + "'");
  ASSERT_TRUE(Compile()) << output_;
  EXPECT_EQ(ReadBytes(source_ / "我的 书.chm"), "ITSF book");
  EXPECT_FALSE(StagingLeftBehind());
  EXPECT_NE(output_.find("Writing CHM 我的 书.chm\n"), std::string::npos) << output_;

  std::string notes;
  const bool has_locale = FindGbkLocale(settings_.program_folder, &notes).found;
  const std::string log = ReadBytes(log_);
  EXPECT_EQ(log.rfind(tmp_.path() + "/inkbinder-hhc-", 0), 0u) << log;  // ran in staging
  EXPECT_NE(log.find(has_locale ? "LC_ALL=zh_CN.GBK\n" : "LC_ALL=\n"), std::string::npos) << log;
  EXPECT_NE(log.find("ARG=chm_hhp.hhp\n"), std::string::npos) << log;
  EXPECT_NE(log.find("<title>第一章</title>\r\ntwo\r\n"), std::string::npos) << log;
  // The sources stay: deleting them is the tool's job.
  EXPECT_TRUE(Exists(source_ / "chm_hhc.hhc"));

  // The book was checked before it was moved, against the pages and sitemaps.
  EXPECT_EQ(checked_book_, "ITSF book");
  EXPECT_EQ(checked_.contents_name, "chm_hhc.hhc");
  EXPECT_EQ(checked_.contents_bytes, "contents");
  EXPECT_EQ(checked_.index_name, "chm_hhk.hhk");
  EXPECT_EQ(checked_.index_bytes, "index");
  EXPECT_EQ(checked_.language, 0x804u);
  ASSERT_EQ(checked_.pages.size(), 2u);
  EXPECT_EQ(checked_.pages[0].name, "第1章.txt");
  EXPECT_EQ(checked_.pages[1].name, "2.txt");
}

TEST_F(CompileProjectTest, ABookTheCheckFindsWrongIsNotMoved) {
  FakeChmcmd("printf 'ITSF book' > '" + Gbk("我的 书.chm") + "'");
  check_says_ = "第1章.txt: the book does not hold this page";
  WriteBytes(source_ / "我的 书.chm", "older book");
  EXPECT_FALSE(Compile());
  EXPECT_NE(output_.find("hhc: compile failed: the book does not read back right: 第1章.txt: "),
            std::string::npos)
      << output_;
  EXPECT_EQ(ReadBytes(source_ / "我的 书.chm"), "older book");
  EXPECT_FALSE(StagingLeftBehind());
}

TEST_F(CompileProjectTest, FailuresLeaveTheOlderBookAndNoStaging) {
  const std::string book = "'" + Gbk("我的 书.chm") + "'";
  struct Case {
    const char* what;
    std::string body;
    const char* says;
  };
  const Case cases[] = {
      {"a crash leaving an empty book",
       ": > " + book + "; echo 'An unhandled exception occurred at $0000000000416AC9:' >&2; exit 217",
       "An unhandled exception"},
      {"an error reported with exit code 0 and a book",
       "echo \"Error: Can't find TOC file x.hhc\"; echo ITSF > " + book,
       "Error: Can't find TOC file"},
      {"no project found", "echo \"Can't find project file $1\"", "Can't find project file"},
      {"quiet, but no book", "exit 0", "wrote no book"},
      {"killed", "echo ITSF > " + book + "; kill -9 $$", "exit code 137"},
  };
  WriteBytes(source_ / "我的 书.chm", "older book");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    output_.clear();
    FakeChmcmd(c.body);
    EXPECT_FALSE(Compile());
    EXPECT_NE(output_.find("hhc: compile failed: "), std::string::npos) << output_;
    EXPECT_NE(output_.find(c.says), std::string::npos) << output_;
    EXPECT_EQ(ReadBytes(source_ / "我的 书.chm"), "older book");
    EXPECT_FALSE(StagingLeftBehind());
  }
}

TEST_F(CompileProjectTest, FailsBeforeRunningWhenItCannot) {
  struct Case {
    const char* what;
    std::string chmcmd;
    std::function<void()> prepare;
    const char* says;
  };
  const Case cases[] = {
      {"no chmcmd", "/nonexistent/chmcmd", [] {}, "cannot run /nonexistent/chmcmd"},
      {"a page missing", "", [this] { std::filesystem::remove(source_ / "2.txt"); },
       "page not found: "},
      {"no project", "", [this] { std::filesystem::remove(source_ / "chm_hhp.hhp"); },
       "cannot read the project file"},
      {"a book outside the project", "", [this] { WriteProject("..\\x.chm"); },
       "inside the project folder"},
      {"no book named", "", [this] { WriteProject(""); }, "names no book"},
      {"a page of 2 GiB", "",
       [this] { ASSERT_EQ(truncate((source_ / "2.txt").c_str(), off_t{1} << 31), 0); },
       "the page 2.txt is 2 GiB or larger"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();  // the files the last case took away
    output_.clear();
    FakeChmcmd("echo ITSF > x.chm");
    if (!c.chmcmd.empty()) settings_.chmcmd = c.chmcmd;
    std::filesystem::remove(log_);
    c.prepare();
    EXPECT_FALSE(Compile());
    EXPECT_NE(output_.find(c.says), std::string::npos) << output_;
    EXPECT_FALSE(Exists(log_)) << "chmcmd ran";
    EXPECT_FALSE(StagingLeftBehind());
  }
}

TEST_F(CompileProjectTest, ABookNameWithATrailByte5CArrivesUnderItsUtf8Name) {
  // 俓 is 0x82 0x5C: chmcmd writes the book under those bytes, backslash and all.
  WriteProject(Gbk("俓.chm"));
  FakeChmcmd("printf 'ITSF' > '" + Gbk("俓.chm") + "'");
  ASSERT_TRUE(Compile()) << output_;
  EXPECT_EQ(ReadBytes(source_ / "俓.chm"), "ITSF");
}

TEST_F(CompileProjectTest, MovesTheBookAcrossFileSystems) {
  struct stat shm, dest;
  if (stat("/dev/shm", &shm) != 0 || stat(source_.path().c_str(), &dest) != 0 ||
      shm.st_dev == dest.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  std::unique_ptr<ScopedTempDir> shm_tmp;
  {
    ScopedEnv tmp("TMPDIR", "/dev/shm");
    shm_tmp = std::make_unique<ScopedTempDir>("hhc shm");
  }
  ScopedEnv tmp("TMPDIR", shm_tmp->path().c_str());
  FakeChmcmd("printf 'ITSF book' > '" + Gbk("我的 书.chm") + "'");
  ASSERT_TRUE(Compile()) << output_;
  EXPECT_EQ(ReadBytes(source_ / "我的 书.chm"), "ITSF book");
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(shm_tmp->path())));
}

// With chmcmd itself and the real check.
class CompileWithChmcmdTest : public ::testing::Test {
 protected:
  bool Compile(const std::vector<std::pair<std::string, std::string>>& pages) {
    std::vector<std::string> files, names;
    for (const auto& [name, bytes] : pages) {
      WriteBytes(source_ / name, bytes);
      files.push_back(Gbk(name));
      names.push_back(Gbk(name));
    }
    WriteBytes(source_ / "chm_hhc.hhc", ContentsFileText(files, names));
    WriteBytes(source_ / "chm_hhk.hhk", IndexFileText(files, names));
    WriteBytes(source_ / "chm_hhp.hhp", ProjectFileText(files, Gbk("书")));
    out_ = std::tmpfile();
    settings_.out = out_;
    const bool ok = CompileProject(source_ / "chm_hhp.hhp", settings_);
    std::rewind(out_);
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, out_)) > 0) output_.append(buffer, got);
    std::fclose(out_);
    return ok;
  }
  ScopedTempDir source_{"hhc 真"};
  ScopedTempDir tools_{"hhc tools"};
  CompileSettings settings_;
  std::FILE* out_ = nullptr;
  std::string output_;
};

// chmcmd alone loses a one-byte last page and shifts what follows it.
TEST_F(CompileWithChmcmdTest, AOneByteLastPageArrivesWhole) {
  ASSERT_TRUE(Compile({{"a.txt", "<title>A</title>\r\n"}, {"第2章.txt", "\n"}})) << output_;
  BookExpectation expected;
  expected.pages = {{"a.txt", source_ / "a.txt"}, {"第2章.txt", source_ / "第2章.txt"}};
  EXPECT_EQ(CheckBookAsReader(source_ / "书.chm", expected), "");
}

TEST_F(CompileWithChmcmdTest, FailsNamingThePageWhenTheBookReadsBackWrong) {
  // chmcmd runs, then the page it was given changes under the book.
  settings_.chmcmd = tools_ / "chmcmd";
  WriteBytes(settings_.chmcmd, "#!/bin/sh\nchmcmd \"$1\" && rm b.txt && echo changed > b.txt\n");
  chmod(settings_.chmcmd.c_str(), 0755);
  EXPECT_FALSE(Compile({{"a.txt", "a"}, {"b.txt", "b"}}));
  EXPECT_NE(output_.find("hhc: compile failed: the book does not read back right: b.txt: "),
            std::string::npos)
      << output_;
  EXPECT_FALSE(Exists(source_ / "书.chm"));
}

}  // namespace
}  // namespace inkbinder::hhc
