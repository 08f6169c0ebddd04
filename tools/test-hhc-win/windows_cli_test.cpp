// The Windows command line end to end: Unicode arguments, output in the ANSI
// code page, the compiler's messages on standard error, and a real compile
// through the test hhc.exe.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "commands/messages.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "testing/programs.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::Exists;
using testing::MakeFolder;
using testing::ScopedEnv;
using testing::ReadBytes;
using testing::ScopedTempDir;
using testing::TestHelpCompiler;
using testing::WriteBytes;

struct Finished {
  int exit_code = -1;
  std::string out, err;  // as UTF-8, carriage returns dropped
};

std::string WithoutCarriageReturns(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

// Runs a program with its standard output and error caught apart; both are
// read back from the ANSI code page, as a Windows user's script would see them.
Finished RunProgram(const std::string& program, const std::vector<std::string>& args) {
  Finished run;
  ProcessOptions options;
  options.capture_output = true;
  options.capture_errors = true;
  std::string error;
  const auto process = Process::Start(program, args, options, &error);
  if (process == nullptr) {
    run.err = "cannot start " + program + ": " + error;
    return run;
  }
  run.exit_code = process->Wait();
  run.out = WithoutCarriageReturns(CodePageToUtf8(process->Output(), kSystemAnsi));
  run.err = WithoutCarriageReturns(CodePageToUtf8(process->Errors(), kSystemAnsi));
  return run;
}

std::string Bin(const char* name) { return ProgramFolder() + "\\" + name; }

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class WindowsCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFolder(folder_);
    WriteBytes(folder_ + "/第1章.txt",
               Utf8ToCodePage("<title>第一章 起</title>\r\n正文\r\n", kCodePage936));
    WriteBytes(folder_ + "/10.txt", "ten\r\n");
    WriteBytes(folder_ + "/2.txt", "two\r\n");
  }
  bool SourcesGone() const {
    return !Exists(folder_ + "/chm_hhc.hhc") && !Exists(folder_ + "/chm_hhk.hhk") &&
           !Exists(folder_ + "/chm_hhp.hhp");
  }

  ScopedTempDir dir_{"命令行 测试"};
  const std::string folder_ = dir_ / "书 页";
  const std::string title_ = "中文 标题";
  const std::string book_ = folder_ + "/" + title_ + ".chm";
};

TEST_F(WindowsCliTest, CompilerMessagesGoToStandardError) {
  ScopedEnv fake("INKBINDER_FAKE_COMPILER", "book=" + book_);
  const Finished run = RunProgram(
      Bin("inkbinder-cli.exe"),
      {"--title", title_, "--compiler", Bin("fake_compiler.exe"), folder_});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, std::string(kSuccessStatus) + "\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, title_ + ".chm\n")) << run.out;
  EXPECT_TRUE(Contains(run.err, "fake compiler done")) << run.err;
  EXPECT_FALSE(Contains(run.out, "fake compiler done")) << run.out;
  EXPECT_EQ(ReadBytes(book_), "ITSF fake book");
  EXPECT_TRUE(SourcesGone());
}

TEST_F(WindowsCliTest, FailuresAndRefusalsInChinese) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string message;
  };
  const Case cases[] = {
      {{"--title", title_, "--compiler", dir_ / "hhc.exe", folder_},
       1,
       std::string(kNoCompilerStatus) + "hhc.exe"},
      {{"--title", "", folder_}, 2, kNoTitleText},
      {{"--title", "a:b", folder_}, 2, kBadTitleText},
      // Read whole from the wide command line: not turned into '?'.
      {{"--title", "한국", folder_}, 2, kTitleNotInCodePageText},
      {{"--title", "Lpt1.书", folder_}, 2, kTitleNotAFileNameText},
      {{"--title", title_, "--compiler", dir_ / "broken.exe", folder_},
       1,
       std::string(kNotStartedStatus) + "broken.exe"},
  };
  WriteBytes(dir_ / "broken.exe", "not a program");
  for (const Case& c : cases) {
    const Finished run = RunProgram(Bin("inkbinder-cli.exe"), c.args);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.message;
    EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(Exists(book_));
}

// Under Wine the test hhc.exe hands the project to the Linux hhc named by INKBINDER_LINUX_HHC.
std::string LinuxHhc() { return testing::GetEnv("INKBINDER_LINUX_HHC").value_or(""); }

TEST_F(WindowsCliTest, RealCompileThroughTheTestCompiler) {
  if (LinuxHhc().empty()) GTEST_SKIP() << "INKBINDER_LINUX_HHC is not set";
  // A slow compile, too: the book is there only if the tool waited for the compiler's real end.
  ScopedEnv slow("INKBINDER_TEST_HHC_SLEEP", "1");
  const Finished run = RunProgram(Bin("inkbinder-cli.exe"),
                                  {"--title", title_, "--compiler", TestHelpCompiler(), folder_});
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(Contains(run.out, std::string(kSuccessStatus) + "\n")) << run.out;
  ASSERT_TRUE(Exists(book_)) << run.err;
  EXPECT_EQ(ReadBytes(book_).substr(0, 4), "ITSF");
  EXPECT_TRUE(SourcesGone());
}

TEST(TestCompiler, AnswersLikeHhcExe) {
  ScopedTempDir dir("测试 编译器");
  struct Case {
    const char* linux_hhc;  // a Unix program run as `linux_hhc PROJECT`
    int exit_code;
  };
  // The Linux program's exit code comes back as it is: 1 is success, as hhc.exe has it.
  const Case cases[] = {{"/bin/false", 1}, {"/bin/true", 0}};
  for (const Case& c : cases) {
    ScopedEnv linux_hhc("INKBINDER_LINUX_HHC", c.linux_hhc);
    const Finished run = RunProgram(TestHelpCompiler(), {dir / "chm_hhp.hhp"});
    EXPECT_EQ(run.exit_code, c.exit_code) << c.linux_hhc << run.out;
  }
  EXPECT_EQ(RunProgram(TestHelpCompiler(), {}).exit_code, 0);  // usage
}

}  // namespace
}  // namespace inkbinder
