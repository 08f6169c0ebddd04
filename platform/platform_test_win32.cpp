// The Windows bodies of the platform headers, run under Wine or on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/folder_listing.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "platform/wide_text_win32.h"
#include "testing/programs.h"
#include "testing/special_files.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::Backslashed;
using testing::MakeFolder;
using testing::ScopedEnv;
using testing::ReadBytes;
using testing::ScopedTempDir;
using testing::WriteBytes;

// Everything below converts through "the system ANSI code page"; the
// program is meant for systems where that is 936. Under Wine it comes from
// the Unix locale: LC_ALL=zh_CN.UTF-8.
TEST(Environment, AnsiCodePageIs936) {
  EXPECT_EQ(GetACP(), 936u) << "run under a zh_CN locale (LC_ALL=zh_CN.UTF-8 for Wine)";
}

// What the Windows conversion calls do by default and the program must not.
TEST(TextEncoding, NoBestFitAndNoSilentDamage) {
  // Best fit would write 'ā' for 'Ā' and 'ü' for 'Ü': a different name, not a '?'.
  EXPECT_EQ(Utf8ToCodePage("\xC4\x80", kCodePage936), "?");
  EXPECT_FALSE(FitsCodePage("Über.txt", kSystemAnsi));
  EXPECT_TRUE(FitsCodePage("第10章 pīnyīn üéà.txt", kSystemAnsi));
  // A lead byte with a wrong trail costs one byte; the trail stands on its own.
  EXPECT_EQ(CodePageToUtf8("\xc4\xbf\x81" "0\xc2\xbc", kCodePage936), "目\xEF\xBF\xBD" "0录");
  EXPECT_EQ(CodePageToUtf8("ab\xb5", kCodePage936), "ab\xEF\xBF\xBD");  // cut off after a lead byte
}

TEST(FolderListing, AttributesAndKinds) {
  ScopedTempDir dir("列表 测试");
  WriteBytes(dir / "a.txt", "a");
  WriteBytes(dir / "hidden.txt", "h");
  WriteBytes(dir / "system.txt", "s");
  MakeFolder(dir / "e.txt");
  ASSERT_TRUE(testing::SetWindowsAttributes(dir / "hidden.txt", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(testing::SetWindowsAttributes(dir / "system.txt", FILE_ATTRIBUTE_SYSTEM));

  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(dir.path(), &entries));
  ASSERT_EQ(entries.size(), 4u);
  for (const FolderEntry& e : entries) {
    SCOPED_TRACE(e.name);
    EXPECT_TRUE(e.name_is_text);
    EXPECT_EQ(e.regular_file, e.name != "e.txt");
    EXPECT_EQ(e.hidden, e.name == "hidden.txt" || e.name == "system.txt");
  }
  // A trailing separator or backslashes name the same folder.
  std::vector<FolderEntry> again;
  ASSERT_TRUE(ListFolder(Backslashed(dir.path() + "\\"), &again));
  EXPECT_EQ(again.size(), 4u);
}

TEST(FileOps, StampsTellARewriteApart) {
  ScopedTempDir dir("印记 测试");
  const std::string book = dir / "书 名.chm";
  EXPECT_FALSE(StampOf(book).exists);
  WriteBytes(book, "ITSF one");
  const FileStamp first = StampOf(book);
  EXPECT_TRUE(first.exists);
  EXPECT_EQ(first.size, 8u);
  EXPECT_EQ(StampOf(book), first);
  // Nanoseconds that neither overflow nor count from an odd epoch.
  EXPECT_NEAR(static_cast<double>(first.modified_ns) / 1e9,
              static_cast<double>(std::time(nullptr)), 3600);

  Sleep(20);
  WriteBytes(book, "ITSF two");  // same size, same file
  const FileStamp second = StampOf(book);
  EXPECT_NE(second, first);
  EXPECT_EQ(second.id, first.id);
  WriteBytes(dir / "other.chm", "ITSF one");
  EXPECT_NE(StampOf(dir / "other.chm").id, first.id);

  EXPECT_TRUE(IsRegularFile(book));
  EXPECT_FALSE(IsRegularFile(dir.path()));
  EXPECT_TRUE(DeleteFileAt(book));
  EXPECT_FALSE(IsRegularFile(book));
  EXPECT_FALSE(DeleteFileAt(book));
}

TEST(FileOps, OnlyADiskFileOpensForReading) {
  ScopedTempDir dir("只读 普通");
  WriteBytes(dir / "页.txt", "page");
  std::FILE* page = OpenRegularFile(dir / "页.txt");
  ASSERT_NE(page, nullptr);
  char got[8] = {};
  EXPECT_EQ(std::fread(got, 1, sizeof got, page), 4u);
  EXPECT_EQ(std::string(got), "page");
  std::fclose(page);
  EXPECT_EQ(OpenRegularFile(dir.path()), nullptr);
  EXPECT_EQ(OpenRegularFile(dir / "missing.txt"), nullptr);
  // A device and a named pipe with a server waiting: both would open as files.
  EXPECT_EQ(OpenRegularFile("NUL"), nullptr);
  const std::wstring pipe_name =
      L"\\\\.\\pipe\\inkbinder-test-" + std::to_wstring(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeW(pipe_name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096,
                                   4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  std::FILE* pipe = OpenRegularFile(WideToUtf8(pipe_name));
  EXPECT_EQ(pipe, nullptr);
  if (pipe != nullptr) std::fclose(pipe);
  CloseHandle(server);
}

// fake_compiler.exe lies beside this test; INKBINDER_BIN holds a Unix path under Wine.
std::string FakeCompiler() { return ProgramFolder() + "\\fake_compiler.exe"; }

class ProcessTest : public ::testing::Test {
 protected:
  ScopedTempDir dir_{"进程 测试"};
};

TEST_F(ProcessTest, SpacesAndChineseReachTheChildIntact) {
  // Both the program's path and its argument hold a space and Chinese.
  MakeFolder(dir_ / "程序 目录");
  const std::string program = dir_ / "程序 目录/fake compiler.exe";
  ASSERT_TRUE(CopyFileW(Utf8ToWide(FakeCompiler()).c_str(), Utf8ToWide(program).c_str(), FALSE));
  const std::string project = dir_ / "书 页/chm_hhp.hhp";
  ScopedEnv env("INKBINDER_FAKE_COMPILER", "exit=1;log=" + (dir_ / "log.txt"));

  std::string error;
  auto process = Process::Start(program, {project}, &error);
  ASSERT_NE(process, nullptr) << error;
  EXPECT_EQ(process->Wait(), 1);
  EXPECT_EQ(ReadBytes(dir_ / "log.txt"), project + "\n");
}

TEST_F(ProcessTest, ExitCodes) {
  // 259 is what GetExitCodeProcess reports for a running process: waiting on
  // the handle must not mistake it for "still running".
  for (int code : {0, 1, 7, 259}) {
    ScopedEnv env("INKBINDER_FAKE_COMPILER", "exit=" + std::to_string(code));
    std::string error;
    auto process = Process::Start(FakeCompiler(), {"x"}, &error);
    ASSERT_NE(process, nullptr) << error;
    EXPECT_EQ(process->Wait(), code);
    EXPECT_TRUE(process->HasEnded());
    EXPECT_EQ(process->ExitCode(), code);
  }
}

TEST_F(ProcessTest, RunningProcessHasAWaitableHandle) {
  ScopedEnv env("INKBINDER_FAKE_COMPILER", "sleep=1500;exit=1");
  std::string error;
  auto process = Process::Start(FakeCompiler(), {}, &error);
  ASSERT_NE(process, nullptr) << error;
  EXPECT_FALSE(process->HasEnded());
  const auto handle = reinterpret_cast<HANDLE>(process->NativeHandle());
  EXPECT_EQ(WaitForSingleObject(handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(handle, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(process->HasEnded());
  EXPECT_EQ(process->ExitCode(), 1);
  EXPECT_EQ(process->Wait(), 1);
}

TEST_F(ProcessTest, MissingProgramIsAnError) {
  std::string error;
  EXPECT_EQ(Process::Start(dir_ / "hhc.exe", {"x"}, &error), nullptr);
  EXPECT_FALSE(error.empty());
}

// Sets this process's standard error for one test.
class ScopedStandardError {
 public:
  explicit ScopedStandardError(HANDLE h) : old_(GetStdHandle(STD_ERROR_HANDLE)) {
    SetStdHandle(STD_ERROR_HANDLE, h);
  }
  ~ScopedStandardError() { SetStdHandle(STD_ERROR_HANDLE, old_); }

 private:
  HANDLE old_;
};

TEST_F(ProcessTest, ChildOutputGoesToOurStandardError) {
  const std::string captured = dir_ / "stderr.txt";
  HANDLE file = CreateFileW(Utf8ToWide(captured).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ScopedEnv env("INKBINDER_FAKE_COMPILER", "exit=1");
  {
    ScopedStandardError redirect(file);
    std::string error;
    auto process = Process::Start(FakeCompiler(), {}, &error);
    ASSERT_NE(process, nullptr) << error;
    EXPECT_EQ(process->Wait(), 1);
  }
  CloseHandle(file);
  EXPECT_NE(ReadBytes(captured).find("fake compiler done"), std::string::npos);
}

}  // namespace
}  // namespace inkbinder
