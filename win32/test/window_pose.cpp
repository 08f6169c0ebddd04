// Brings a copy of inkbinder.exe to the state after a successful conversion,
// for screenshots: pages imported, a title typed, "生成成功" in the status
// line. Writes READY_FILE once there, then waits (at most two minutes) for
// DONE_FILE before it closes the window. Paths are Linux paths.
//
//   window_pose.exe READY_FILE DONE_FILE
#include <windows.h>

#include <cstdio>

#include "commands/messages.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "resources/win32/resource.h"
#include "testing/temp_dir.h"
#include "win32/driver/tool_driver.h"

using inkbinder::driver::HostPath;
using inkbinder::driver::ToolUnderTest;
using inkbinder::driver::WaitUntil;
using inkbinder::driver::Wide;
using inkbinder::testing::ScopedTempDir;

namespace {

bool Copy(const std::string& from, const std::string& to) {
  return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != 0;
}

int Fail(const char* what) {
  std::fprintf(stderr, "window_pose: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: window_pose.exe READY_FILE DONE_FILE");
  const std::string ready = HostPath(argv[1]);
  const std::string done = HostPath(argv[2]);

  ScopedTempDir program("inkbinder program");
  const std::string bin = inkbinder::ProgramFolder();
  if (!Copy(bin + "/inkbinder.exe", program / "inkbinder.exe") ||
      !Copy(bin + "/explorer_recorder.exe", program / "explorer.exe") ||
      !Copy(bin + "/fake_compiler.exe", program / "hhc.exe")) {
    return Fail("cannot set up the program folder");
  }
  ScopedTempDir pages("示例 页面");
  for (const char* name : {"第1章 起始.txt", "第2章 发展.txt", "第3章 高潮.txt", "第10章 结局.txt",
                           "附录.txt"}) {
    inkbinder::testing::WriteBytes(pages / name, inkbinder::Utf8ToCodePage("正文\r\n", inkbinder::kCodePage936));
  }
  const std::string compiler = "book=" + (pages / "示例 书.chm") + ";exit=1";
  SetEnvironmentVariableW(L"INKBINDER_FAKE_COMPILER", Wide(compiler).c_str());

  ToolUnderTest tool(program / "inkbinder.exe");
  if (tool.window() == nullptr) return Fail("the window never showed");
  tool.Click(IDC_COMMAND1);
  HWND picker = tool.WaitForPicker(10000);
  if (picker == nullptr || !tool.PickFolder(picker, pages.path())) return Fail("no folder picker");
  if (!WaitUntil([&] { return tool.ListEntries().size() == 5; }, 10000)) {
    return Fail("the pages were not listed");
  }
  tool.SetText(IDC_TEXT1, "示例 书");
  tool.Click(IDC_COMMAND2);
  if (!WaitUntil([&] { return tool.Text(IDC_LABEL2) == inkbinder::kSuccessStatus; }, 30000)) {
    return Fail("the conversion did not succeed");
  }
  Sleep(500);  // let the last paint land

  HANDLE file = CreateFileW(Wide(ready).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("cannot write the ready file");
  CloseHandle(file);
  WaitUntil([&] { return GetFileAttributesW(Wide(done).c_str()) != INVALID_FILE_ATTRIBUTES; },
            120000);
  PostMessageW(tool.window(), WM_CLOSE, 0, 0);
  tool.WaitForExit(10000);
  return 0;
}
