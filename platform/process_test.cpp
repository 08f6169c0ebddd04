#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "testing/programs.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::Exists;
using testing::ScopedEnv;
using testing::ScopedTempDir;
using testing::TestProgram;
using testing::WriteBytes;

TEST(BuildCommandLineTest, QuotesWhatWouldSplitAndEscapesWhatWouldEndAQuote) {
  struct Case {
    const char* program;
    std::vector<std::string> args;
    const char* line;
  } cases[] = {
      {"C:\\tools/hhc.exe", {"D:\\pages/chm_hhp.hhp"}, "C:\\tools/hhc.exe D:\\pages/chm_hhp.hhp"},
      {"C:\\my tools/hhc.exe", {"D:\\书 页/chm_hhp.hhp"},
       "\"C:\\my tools/hhc.exe\" \"D:\\书 页/chm_hhp.hhp\""},
      {"hhc.exe", {"a\tb"}, "hhc.exe \"a\tb\""},
      {"hhc.exe", {""}, "hhc.exe \"\""},
      {"hhc.exe", {"say \"hi\""}, "hhc.exe \"say \\\"hi\\\"\""},
      // Backslashes count only before a quote: there they are doubled.
      {"hhc.exe", {"D:\\书 页\\"}, "hhc.exe \"D:\\书 页\\\\\""},
      {"hhc.exe", {"a\\\\\"b"}, "hhc.exe \"a\\\\\\\\\\\"b\""},
      {"hhc.exe", {"D:\\pages\\"}, "hhc.exe D:\\pages\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildCommandLine(c.program, c.args), c.line);
}

// Lines as the probe wrote them, whatever the system's line ends.
std::string Lines(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

std::unique_ptr<Process> StartProbe(const std::vector<std::string>& args,
                                    const ProcessOptions& options) {
  std::string error;
  auto process = Process::Start(TestProgram("process_probe"), args, options, &error);
  EXPECT_NE(process, nullptr) << error;
  return process;
}

TEST(ProcessTest, CapturesEachStreamApart) {
  struct Case {
    bool output, errors;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      {true, false, "to out\n", ""},
      {false, true, "", "to err\n"},
      {true, true, "to out\n", "to err\n"},
      {false, false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.output) + std::to_string(c.errors));
    ProcessOptions options;
    options.capture_output = c.output;
    options.capture_errors = c.errors;
    auto process = StartProbe({"out=to out", "err=to err", "exit=3"}, options);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->Wait(), 3);
    EXPECT_EQ(Lines(process->Output()), c.out);
    EXPECT_EQ(Lines(process->Errors()), c.err);
  }
}

TEST(ProcessTest, CapturesMoreThanAPipeHolds) {
  // A child that writes much and is only waited for must not block.
  ProcessOptions options;
  options.capture_output = true;
  auto process = StartProbe({"fill=3000000", "exit=4"}, options);
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->WaitFor(30000));
  EXPECT_EQ(process->ExitCode(), 4);
  const std::string& output = process->Output();
  ASSERT_EQ(output.size(), 3000000u);
  EXPECT_EQ(output.substr(0, 3), "abc");
  EXPECT_EQ(output.substr(output.size() - 3), "nop");  // 3000000 = 26 * 115384 + 16
}

TEST(ProcessTest, ArgumentsArriveAsGiven) {
  const std::vector<std::string> given = {"plain", "a b",      "",          "say \"hi\"",
                                          "tail\\", "tail \\", "a\\\\\"b", "中文 页"};
  std::vector<std::string> args{"args"};
  args.insert(args.end(), given.begin(), given.end());
  ProcessOptions options;
  options.capture_output = true;
  auto process = StartProbe(args, options);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->Wait(), 0);
  std::string expected;
  for (const std::string& arg : given) expected += "[" + arg + "]\n";
  EXPECT_EQ(Lines(process->Output()), expected);
}

TEST(ProcessTest, RunsInTheWorkingFolder) {
  ScopedTempDir dir("工作 目录");
  ProcessOptions options;
  options.working_folder = dir.path();
  auto process = StartProbe({"touch=made here"}, options);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->Wait(), 0);
  EXPECT_TRUE(Exists(dir / "made here"));
}

TEST(ProcessTest, EnvironmentChangesReachOnlyTheChild) {
  const ScopedEnv kept("INKBINDER_PROBE_KEPT", "kept value");
  const ScopedEnv overridden("INKBINDER_PROBE_OVERRIDDEN", "ours");
  const ScopedEnv unset("INKBINDER_PROBE_UNSET", nullptr);
  struct Case {
    const char* name;
    const char* seen;
  };
  const Case cases[] = {
      {"INKBINDER_PROBE_KEPT", "kept value"},
      {"INKBINDER_PROBE_OVERRIDDEN", "theirs"},
      {"INKBINDER_PROBE_ADDED", "新 值=x"},
      {"INKBINDER_PROBE_UNSET", "(unset)"},
  };
  ProcessOptions options;
  options.capture_output = true;
  options.environment = {{"INKBINDER_PROBE_OVERRIDDEN", "theirs"},
                         {"INKBINDER_PROBE_ADDED", "新 值=x"}};
  std::vector<std::string> args;
  std::string expected;
  for (const Case& c : cases) {
    args.push_back(std::string("env=") + c.name);
    expected += std::string(c.seen) + "\n";
  }
  auto process = StartProbe(args, options);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->Wait(), 0);
  EXPECT_EQ(Lines(process->Output()), expected);
  // Ours stays as it was.
  ASSERT_NE(std::getenv("INKBINDER_PROBE_OVERRIDDEN"), nullptr);
  EXPECT_STREQ(std::getenv("INKBINDER_PROBE_OVERRIDDEN"), "ours");
  EXPECT_EQ(std::getenv("INKBINDER_PROBE_ADDED"), nullptr);
}

TEST(ProcessTest, WaitForEndsEarlyWhenTheChildDoes) {
  auto process = StartProbe({"exit=5"}, ProcessOptions{});
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(process->WaitFor(30000));
  EXPECT_TRUE(process->HasEnded());
  EXPECT_EQ(process->ExitCode(), 5);
  EXPECT_EQ(process->Wait(), 5);
}

TEST(ProcessTest, StopEndsAWaitingChild) {
  struct Case {
    const char* what;
    StopSignal how;
    bool whole_group;
    int posix_exit_code;  // 128 + the signal; Windows has only kKilledExitCode
  };
  const Case cases[] = {
      {"kill", StopSignal::kKill, false, kKilledExitCode},
      {"terminate", StopSignal::kTerminate, false, 128 + 15},
      {"interrupt the group", StopSignal::kInterrupt, true, 128 + 2},
      {"hang up", StopSignal::kHangUp, false, 128 + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProcessOptions options;
    options.own_process_group = c.whole_group;
    auto process = StartProbe({"sleep=60000"}, options);
    ASSERT_NE(process, nullptr);
    EXPECT_FALSE(process->WaitFor(50));
    EXPECT_FALSE(process->HasEnded());
    EXPECT_GT(process->Id(), 0);
    EXPECT_NE(process->Id(), CurrentProcessId());
    EXPECT_TRUE(ProcessIsRunning(process->Id()));
    process->Stop(c.how, c.whole_group);
    ASSERT_TRUE(process->WaitFor(20000)) << "still running after Stop";
#ifdef _WIN32
    EXPECT_EQ(process->ExitCode(), kKilledExitCode);
#else
    EXPECT_EQ(process->ExitCode(), c.posix_exit_code);
#endif
    EXPECT_FALSE(ProcessIsRunning(process->Id()));
    process->Stop();  // once ended, nothing to stop
    EXPECT_EQ(process->Wait(), process->ExitCode());
  }
}

// A window starts its compiler off its own thread, and that thread ends
// long before the compile does: the child lives on.
TEST(ProcessTest, AChildOutlivesTheThreadThatStartedIt) {
  std::unique_ptr<Process> process;
  std::thread([&] { process = StartProbe({"sleep=60000"}, ProcessOptions{}); }).join();
  ASSERT_NE(process, nullptr);
  EXPECT_FALSE(process->WaitFor(500)) << "ended with exit code " << process->ExitCode();
  process->Stop();
  EXPECT_EQ(process->Wait(), kKilledExitCode);
}

TEST(ProcessTest, AChildThatCannotStartIsAnErrorWithItsReason) {
  ScopedTempDir dir("进程 启动");
  WriteBytes(dir / "not a program", "just text");
  ProcessOptions in_missing_folder;
  in_missing_folder.working_folder = dir / "gone";
  struct Case {
    const char* what;
    std::string program;
    ProcessOptions options;
  };
  const Case cases[] = {
      {"a missing program", dir / "missing", ProcessOptions{}},
      {"a file that is no program", dir / "not a program", ProcessOptions{}},
      {"a working folder that is not there", TestProgram("process_probe"), in_missing_folder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    EXPECT_EQ(Process::Start(c.program, {"touch=started"}, c.options, &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find("%1"), std::string::npos) << error;
    std::cout << c.what << ": " << error << "\n";
  }
}

}  // namespace
}  // namespace inkbinder
