#include "tools/hhc/compile_project.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

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
  std::FILE* out_ = nullptr;
  std::string output_;
};

TEST_F(CompileProjectTest, MovesTheBookBesideTheProjectUnderItsUtf8Name) {
  FakeChmcmd("cat '" + Gbk("第1章.txt") + "' 2.txt >> '" + log_ +
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

}  // namespace
}  // namespace inkbinder::hhc
