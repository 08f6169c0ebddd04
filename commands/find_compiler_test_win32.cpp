// Where the Windows tool finds its help compiler.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "commands/compile.h"
#include "platform/wide_text_win32.h"
#include "testing/programs.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::Backslashed;
using testing::MakeFolder;
using testing::ScopedEnv;
using testing::ScopedTempDir;
using testing::WriteBytes;

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
