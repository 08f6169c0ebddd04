// The Windows bodies of the platform headers, run under Wine or on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compiler/file_ops.h"
#include "compiler/process.h"
#include "compiler/program_folder.h"
#include "project/file_open.h"
#include "project/folder_listing.h"
#include "project/page_list.h"
#include "project/text_encoding.h"
#include "project/wide_text_win32.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::MakeFolder;
using testing::ReadBytes;
using testing::ScopedTempDir;
using testing::WriteBytes;

// Sets an environment variable of this process (and so of the children it
// starts) for one test, then puts the old value back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::string& utf8_value) : name_(name) {
    wchar_t old[32768];
    const DWORD n = GetEnvironmentVariableW(name, old, 32768);
    had_ = n > 0 && n < 32768;
    if (had_) old_.assign(old, n);
    SetEnvironmentVariableW(name, Utf8ToWide(utf8_value).c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};

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

TEST(TextEncoding, ToCodePage) {
  struct Case {
    const char* utf8;
    CodePage code_page;
    std::string expected;
  };
  const Case cases[] = {
      {"第1章 起", kCodePage936, "\xb5\xda" "1\xd5\xc2 \xc6\xf0"},
      {"第1章 起", kSystemAnsi, "\xb5\xda" "1\xd5\xc2 \xc6\xf0"},
      {"€", kCodePage936, "\x80"},
      // Outside the Basic Multilingual Plane: one '?' for the character, not one per UTF-16 unit.
      {"a\xF0\x9F\x98\x80" "b", kCodePage936, "a?b"},
      // No best-fit look-alike ('A') for a letter 936 lacks.
      {"\xC4\x80", kCodePage936, "?"},
      {"", kCodePage936, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToCodePage(c.utf8, c.code_page), c.expected) << c.utf8;
  }
}

TEST(TextEncoding, FromCodePage) {
  struct Case {
    std::string bytes;
    std::string expected;
  };
  const Case cases[] = {
      {"\xc4\xbf\xc2\xbc", "目录"},
      {"\x80", "€"},
      // A lead byte with a wrong trail costs one byte; the trail stands on its own.
      {"\x81" "0ab", "\xEF\xBF\xBD" "0ab"},
      {"ab\xb5", "ab\xEF\xBF\xBD"},  // cut off after a lead byte
      {"\xc4\xbf\x81" "0\xc2\xbc", "目\xEF\xBF\xBD" "0录"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodePageToUtf8(c.bytes, kCodePage936), c.expected) << c.expected;
  }
}

TEST(TextEncoding, FitsCodePage) {
  EXPECT_TRUE(FitsCodePage("第10章 pīnyīn üéà.txt", kSystemAnsi));
  EXPECT_FALSE(FitsCodePage("Über.txt", kSystemAnsi));  // 936 has ü but not Ü
  EXPECT_FALSE(FitsCodePage("\xF0\x9F\x98\x80.txt", kSystemAnsi));
  EXPECT_FALSE(FitsCodePage("\xC4\x80.txt", kSystemAnsi));
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

TEST(FolderListing, FoldersThatCannotBeListed) {
  ScopedTempDir dir;
  std::vector<FolderEntry> entries{{"stale", true, false, true}};
  EXPECT_TRUE(ListFolder(dir.path(), &entries));
  EXPECT_TRUE(entries.empty());
  for (const std::string& folder : {std::string(), std::string(" "), dir / "missing"}) {
    EXPECT_FALSE(ListFolder(folder, &entries)) << "'" << folder << "'";
  }
}

TEST(FolderListing, NameThatIsNotValidUtf16) {
  ScopedTempDir dir;
  const std::wstring name = L"x\xD800y.txt";
  const std::wstring path = Utf8ToWide(dir.path()) + L"\\" + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) GTEST_SKIP() << "this file system refuses the name";
  CloseHandle(file);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(dir.path(), &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_FALSE(entries[0].name_is_text);
  EXPECT_TRUE(ListPages(dir.path()).pages.empty());
}

TEST(PageList, OnlyVisibleTxtFilesInNaturalOrder) {
  ScopedTempDir dir("页面");
  for (const char* name : {"a.txt", "B.TXT", "d.htm", "c.txt.bak", "hidden.txt"}) {
    WriteBytes(dir / name, "x");
  }
  MakeFolder(dir / "e.txt");
  SetAttributes(dir / "hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  const PageList list = ListPages(dir.path());
  EXPECT_EQ(list.pages, (std::vector<std::string>{"a.txt", "B.TXT"}));
  EXPECT_TRUE(list.left_out.empty());
}

TEST(PageList, ChineseNamesAndNamesTheCodePageCannotHold) {
  ScopedTempDir dir("页面");
  for (const char* name : {"第10章.txt", "第2章.txt", "10.txt", "2.txt", "\xF0\x9F\x98\x80.txt"}) {
    WriteBytes(dir / name, "x");
  }
  const PageList list = ListPages(dir.path());
  EXPECT_EQ(list.pages, (std::vector<std::string>{"2.txt", "10.txt", "第2章.txt", "第10章.txt"}));
  EXPECT_EQ(list.left_out, (std::vector<std::string>{"\xF0\x9F\x98\x80.txt"}));
}

TEST(FileOps, StampsTellARewriteApart) {
  ScopedTempDir dir("印记 测试");
  const std::string book = dir / "书 名.chm";
  EXPECT_FALSE(StampOf(book).exists);
  EXPECT_FALSE(IsRegularFile(book));

  WriteBytes(book, "ITSF one");
  const FileStamp first = StampOf(book);
  EXPECT_TRUE(first.exists);
  EXPECT_EQ(first.size, 8u);
  EXPECT_TRUE(IsRegularFile(book));
  EXPECT_EQ(StampOf(book), first);

  Sleep(20);
  WriteBytes(book, "ITSF two");  // same size, same file
  const FileStamp second = StampOf(book);
  EXPECT_NE(second, first);
  EXPECT_EQ(second.id, first.id);
  EXPECT_GT(second.modified_ns, first.modified_ns);

  WriteBytes(dir / "other.chm", "ITSF one");
  EXPECT_NE(StampOf(dir / "other.chm").id, first.id);

  EXPECT_TRUE(StampOf(dir.path()).exists);
  EXPECT_FALSE(IsRegularFile(dir.path()));
}

TEST(FileOps, DeleteFileAt) {
  ScopedTempDir dir("删除");
  WriteBytes(dir / "chm_hhc.hhc", "x");
  EXPECT_TRUE(DeleteFileAt(dir / "chm_hhc.hhc"));
  EXPECT_FALSE(testing::Exists(dir / "chm_hhc.hhc"));
  EXPECT_FALSE(DeleteFileAt(dir / "chm_hhc.hhc"));
  MakeFolder(dir / "chm_hhk.hhk");
  EXPECT_FALSE(DeleteFileAt(dir / "chm_hhk.hhk"));
}

TEST(FileOpen, ChinesePath) {
  ScopedTempDir dir("打开");
  const std::string path = dir / "第1章 起.txt";
  std::FILE* f = OpenFile(path, "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("<title>起</title>\r\n", f);
  std::fclose(f);
  EXPECT_EQ(ReadBytes(path), "<title>起</title>\r\n");
  EXPECT_EQ(OpenFile(dir / "missing.txt", "rb"), nullptr);
}

// fake_compiler.exe lies beside this test; INKBINDER_BIN holds a Unix path under Wine.
std::string FakeCompiler() { return ProgramFolder() + "\\fake_compiler.exe"; }

TEST(ProgramFolder, HoldsThisProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  EXPECT_TRUE(IsRegularFile(folder + "\\platform_win32_test.exe")) << folder;
}

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
  ScopedEnvironment env(L"INKBINDER_FAKE_COMPILER", "exit=1;log=" + (dir_ / "log.txt"));

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
    ScopedEnvironment env(L"INKBINDER_FAKE_COMPILER", "exit=" + std::to_string(code));
    std::string error;
    auto process = Process::Start(FakeCompiler(), {"x"}, &error);
    ASSERT_NE(process, nullptr) << error;
    EXPECT_EQ(process->Wait(), code);
    EXPECT_TRUE(process->HasEnded());
    EXPECT_EQ(process->ExitCode(), code);
  }
}

TEST_F(ProcessTest, RunningProcessHasAWaitableHandle) {
  ScopedEnvironment env(L"INKBINDER_FAKE_COMPILER", "sleep=1500;exit=1");
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
  ScopedEnvironment env(L"INKBINDER_FAKE_COMPILER", "exit=1");
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

TEST_F(ProcessTest, StartsWithoutStandardError) {
  // The window program has no standard handles at all.
  ScopedEnvironment env(L"INKBINDER_FAKE_COMPILER", "exit=1");
  ScopedStandardError none(nullptr);
  std::string error;
  auto process = Process::Start(FakeCompiler(), {}, &error);
  ASSERT_NE(process, nullptr) << error;
  EXPECT_EQ(process->Wait(), 1);
}

class FindHelpCompilerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"program", "x86", "x64", "workshop"}) MakeFolder(dir_ / folder);
  }
  std::string Put(const std::string& folder) {
    MakeFolder(folder);
    WriteBytes(folder + "/hhc.exe", "MZ");
    return folder + "\\hhc.exe";
  }

  ScopedTempDir dir_{"编译器 查找"};
  ScopedEnvironment x86_{L"ProgramFiles(x86)", dir_ / "x86"};
  ScopedEnvironment x64_{L"ProgramFiles", dir_ / "x64\\"};
};

TEST_F(FindHelpCompilerTest, BesideTheProgramComesFirst) {
  const std::string beside = Put(dir_ / "program");
  Put(dir_ / "x86/HTML Help Workshop");
  EXPECT_EQ(Backslashed(FindHelpCompiler(dir_ / "program")), Backslashed(beside));
}

TEST_F(FindHelpCompilerTest, ProgramFilesFolders) {
  const std::string x64 = Put(dir_ / "x64/HTML Help Workshop");
  EXPECT_EQ(Backslashed(FindHelpCompiler(dir_ / "program")), Backslashed(x64));
  const std::string x86 = Put(dir_ / "x86/HTML Help Workshop");
  EXPECT_EQ(Backslashed(FindHelpCompiler(dir_ / "program")), Backslashed(x86));
}

TEST_F(FindHelpCompilerTest, NoneFoundNamesTheOneBesideTheProgram) {
  MakeFolder(dir_ / "program/hhc.exe");  // a folder is no compiler
  EXPECT_EQ(Backslashed(FindHelpCompiler(dir_ / "program")), Backslashed(dir_ / "program/hhc.exe"));
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
