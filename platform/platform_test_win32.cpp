// The Windows bodies of the platform headers, run under Wine or on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "commands/compile.h"
#include "platform/files.h"
#include "platform/folder_listing.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "platform/wide_text_win32.h"
#include "project/page_list.h"
#include "testing/programs.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::MakeFolder;
using testing::ScopedEnv;
using testing::ReadBytes;
using testing::ScopedTempDir;
using testing::WriteBytes;

void SetAttributes(const std::string& path, DWORD attributes) {
  ASSERT_TRUE(SetFileAttributesW(Utf8ToWide(path).c_str(), attributes)) << path;
  ASSERT_NE(GetFileAttributesW(Utf8ToWide(path).c_str()) & attributes, 0u)
      << "the file system kept no attributes for " << path;
}

// The same path whichever separators it was written with.
std::string Backslashed(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

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
  SetAttributes(dir / "hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(dir / "system.txt", FILE_ATTRIBUTE_SYSTEM);

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

TEST(PageList, OnlyVisibleTxtFilesInPageOrder) {
  ScopedTempDir dir("页面");
  for (const char* name : {"a.txt", "B.TXT", "d.htm", "c.txt.bak", "hidden.txt", "第10章.txt",
                           "第2章.txt", "第二章.txt", "附录.txt", "\xF0\x9F\x98\x80.txt"}) {
    WriteBytes(dir / name, "x");
  }
  MakeFolder(dir / "e.txt");
  SetAttributes(dir / "hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  const PageList list = ListPages(dir.path());
  EXPECT_EQ(list.pages, (std::vector<std::string>{"a.txt", "B.TXT", "第2章.txt", "第二章.txt",
                                                  "第10章.txt", "附录.txt"}));
  EXPECT_EQ(list.left_out, (std::vector<std::string>{"\xF0\x9F\x98\x80.txt"}));
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

class FindHelpCompilerTest : public ::testing::Test {
 protected:
  std::string Put(const std::string& folder) {
    MakeFolder(folder);
    WriteBytes(folder + "/hhc.exe", "MZ");
    return folder + "\\hhc.exe";
  }

  ScopedTempDir dir_{"编译器 查找"};
  ScopedEnv x86_{"ProgramFiles(x86)", dir_ / "x86"};
  ScopedEnv x64_{"ProgramFiles", dir_ / "x64\\"};
};

TEST_F(FindHelpCompilerTest, SearchOrder) {
  const std::string program = dir_ / "program";
  MakeFolder(program + "/hhc.exe");  // a folder is no compiler
  // None found: the built-in compiler.
  EXPECT_EQ(FindHelpCompiler(program), kBuiltinCompiler);
  const std::string x64 = Put(dir_ / "x64/HTML Help Workshop");
  EXPECT_EQ(Backslashed(FindHelpCompiler(program)), Backslashed(x64));
  const std::string x86 = Put(dir_ / "x86/HTML Help Workshop");
  EXPECT_EQ(Backslashed(FindHelpCompiler(program)), Backslashed(x86));
  RemoveDirectoryW(Utf8ToWide(program + "/hhc.exe").c_str());
  const std::string beside = Put(program);
  EXPECT_EQ(Backslashed(FindHelpCompiler(program)), Backslashed(beside));
}

TEST_F(FindHelpCompilerTest, WorkshopInstallFolderFromTheRegistry) {
  const wchar_t* key = L"Software\\Microsoft\\HTML Help Workshop";
  HKEY existing;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
    RegCloseKey(existing);
    GTEST_SKIP() << "the help workshop is installed here; its registry key stays untouched";
  }
  HKEY created;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &created,
                            nullptr),
            ERROR_SUCCESS);
  const std::wstring install = Utf8ToWide(dir_ / "workshop\\");
  RegSetValueExW(created, L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(install.c_str()),
                 static_cast<DWORD>((install.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(created);

  const std::string from_registry = Put(dir_ / "workshop");
  Put(dir_ / "x86/HTML Help Workshop");
  const std::string found = FindHelpCompiler(dir_ / "program");
  RegDeleteKeyW(HKEY_CURRENT_USER, key);
  EXPECT_EQ(Backslashed(found), Backslashed(from_registry));
}

}  // namespace
}  // namespace inkbinder
