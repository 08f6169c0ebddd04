// Drives a real inkbinder.exe through its window, as a user would: clicks,
// keys, the folder picker and the message boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands/messages.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "resources/win32/resource.h"
#include "resources/window_layout.h"
#include "testing/programs.h"
#include "testing/temp_dir.h"
#include "win32/driver/tool_driver.h"

namespace inkbinder::testing {
namespace {

using driver::HostPath;
using driver::ToolUnderTest;
using driver::Utf8;
using driver::WaitUntil;
using driver::Wide;

constexpr int kStartMs = 20000;
constexpr int kDialogMs = 10000;
constexpr int kCompileMs = 60000;

std::string BinFile(const std::string& name) { return ProgramFolder() + "/" + name; }
std::string FakeCompiler() { return BinFile("fake_compiler.exe"); }

bool CopyInto(const std::string& from, const std::string& to) {
  return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != 0;
}

std::string Environment(const char* name) {
  const DWORD n = GetEnvironmentVariableW(Wide(name).c_str(), nullptr, 0);
  if (n == 0) return "";
  std::wstring value(n, L'\0');
  value.resize(GetEnvironmentVariableW(Wide(name).c_str(), value.data(), n));
  return Utf8(value);
}

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

std::string WindowsPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

void SetEnvironment(const std::string& name, const std::string& value) {
  SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : Wide(value).c_str());
}

class WindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetEnvironment("INKBINDER_FAKE_COMPILER", "");
  }

  // A program folder like an installed tool's: `window` (a program in the
  // build's bin folder) as inkbinder.exe, the explorer recorder as
  // explorer.exe, and the program `compiler` as hhc.exe unless it is empty.
  void Install(const std::string& compiler, const std::string& window = "inkbinder.exe") {
    ASSERT_TRUE(CopyInto(BinFile(window), program_ / "inkbinder.exe"));
    ASSERT_TRUE(CopyInto(BinFile("explorer_recorder.exe"), program_ / "explorer.exe"));
    if (!compiler.empty()) {
      ASSERT_TRUE(CopyInto(compiler, program_ / "hhc.exe"));
    }
  }

  // Settings for the fake compiler that writes the book `book` once the test
  // calls End("end-compile"), and succeeds.
  std::string HeldCompile(const std::string& book) {
    return "wait-for=" + (program_ / "end-compile") + ";book=" + book + ";exit=1";
  }
  // Lets a held compile or listing (held_listing_window.exe) end.
  void End(const char* what) { WriteBytes(program_ / what, ""); }

  std::unique_ptr<ToolUnderTest> Start() {
    auto tool = std::make_unique<ToolUnderTest>(program_ / "inkbinder.exe");
    EXPECT_NE(tool->window(), nullptr) << "the window never showed";
    return tool;
  }

  // What the shell was asked to open, one command line per opening.
  std::string ExplorerLog() {
    return Exists(program_ / "explorer-log.txt") ? ReadBytes(program_ / "explorer-log.txt") : "";
  }

  ScopedTempDir program_{"inkbinder program"};
};

// Clicks the import button and picks `folder` in the picker.
void Import(ToolUnderTest& tool, const std::string& folder) {
  tool.Click(IDC_COMMAND1);
  HWND picker = tool.WaitForPicker(kDialogMs);
  ASSERT_NE(picker, nullptr) << "no folder picker";
  ASSERT_TRUE(tool.PickFolder(picker, folder));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, kDialogMs)) << "the picker stayed";
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(tool.Item(IDC_COMMAND1)); }, kDialogMs));
}

// Waits for a message box, checks it and presses its OK button.
void ExpectMessage(ToolUnderTest& tool, const std::string& text, const std::string& caption) {
  HWND box = tool.WaitForMessageBox(kDialogMs);
  ASSERT_NE(box, nullptr) << "no message box; expected " << text;
  EXPECT_EQ(tool.Text(box), caption);
  EXPECT_EQ(tool.MessageText(box), text);
  tool.PressOk(box);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kDialogMs)) << "OK did not close the box";
}

std::string StatusOf(ToolUnderTest& tool) { return tool.Text(IDC_LABEL2); }

bool WaitForStatus(ToolUnderTest& tool, const std::string& status, int timeout_ms) {
  return WaitUntil([&] { return StatusOf(tool) == status; }, timeout_ms);
}

TEST(WindowEnvironment, SystemCodePageIs936) {
  // Every Chinese text below goes through the ANSI code page.
  EXPECT_EQ(GetACP(), 936u) << "run under a zh_CN locale (scripts/wine-env.sh)";
}

// Wine makes every program DPI-aware and themes no controls, so what the
// manifest does cannot be seen from a running window here: check that the
// program carries it. (Its icon: resources/win32/version_resource_test_win32.cpp.)
TEST(WindowProgram, CarriesItsManifestInChinese) {
  HMODULE exe = LoadLibraryExW(Wide(BinFile("inkbinder.exe")).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(exe, nullptr);
  const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
  const auto bytes = [&](LPCWSTR type, int id) {
    HRSRC found = FindResourceExW(exe, type, MAKEINTRESOURCEW(id), chinese);
    if (found == nullptr) return std::string();
    return std::string(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                       SizeofResource(exe, found));
  };

  const std::string manifest = bytes(MAKEINTRESOURCEW(24), 1);  // RT_MANIFEST, the process's own
  EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos) << "the ANSI code page is the system's";
  FreeLibrary(exe);
}

TEST_F(WindowTest, StartsWithItsLayoutEmptyAndFocusOnImport) {
  ASSERT_NO_FATAL_FAILURE(Install(""));
  auto tool = Start();
  ASSERT_NE(tool->window(), nullptr);

  EXPECT_EQ(tool->Text(tool->window()), "Inkbinder");
  EXPECT_EQ(tool->Text(IDC_COMMAND1), "导入txt文件夹");
  EXPECT_EQ(tool->Text(IDC_COMMAND2), "转换生成");
  EXPECT_EQ(tool->Text(IDC_LABEL1), "标题名称:");
  EXPECT_EQ(tool->Text(IDC_TEXT1), "");
  EXPECT_EQ(StatusOf(*tool), "");
  EXPECT_TRUE(tool->ListEntries().empty());
  EXPECT_TRUE(WaitUntil([&] { return tool->Focus() == tool->Item(IDC_COMMAND1); }, kDialogMs));

  // Fixed frame that can be minimised; exact client area at the window's DPI.
  const LONG style = GetWindowLongW(tool->window(), GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(style & WS_MINIMIZEBOX, 0);
  const int dpi = static_cast<int>(GetDpiForWindow(tool->window()));
  RECT client;
  GetClientRect(tool->window(), &client);
  EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, dpi));
  EXPECT_EQ(client.bottom, TwipsToPixels(kClientHeightTwips, dpi));

  const struct {
    const char* name;
    int id;
  } controls[] = {{"Command1", IDC_COMMAND1}, {"Command2", IDC_COMMAND2}, {"Label1", IDC_LABEL1},
                  {"Text1", IDC_TEXT1},       {"Label2", IDC_LABEL2},     {"File1", IDC_FILE1}};
  for (const auto& control : controls) {
    SCOPED_TRACE(control.name);
    const ControlLayout* layout =
        std::find_if(kFormLayout, kFormLayout + kFormLayoutSize, [&](const ControlLayout& c) {
          return std::string(c.name) == control.name;
        });
    ASSERT_NE(layout, kFormLayout + kFormLayoutSize);
    RECT rect;
    GetWindowRect(tool->Item(control.id), &rect);
    MapWindowPoints(nullptr, tool->window(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, TwipsToPixels(layout->left, dpi));
    EXPECT_EQ(rect.top, TwipsToPixels(layout->top, dpi));
    EXPECT_EQ(rect.right - rect.left, TwipsToPixels(layout->width, dpi));
    EXPECT_EQ(rect.bottom - rect.top, TwipsToPixels(layout->height, dpi));
    const LONG control_style = GetWindowLongW(tool->Item(control.id), GWL_STYLE);
    const bool takes_focus = layout->kind != ControlKind::kStaticText;
    EXPECT_EQ((control_style & WS_TABSTOP) != 0, takes_focus);
    if (layout->kind == ControlKind::kButton) {
      EXPECT_EQ(control_style & BS_TYPEMASK, BS_PUSHBUTTON) << "a default button answers Enter";
    }
  }
}

TEST_F(WindowTest, TabFollowsTheTabOrderAndEnterOrEscapePressNothing) {
  ASSERT_NO_FATAL_FAILURE(Install(""));
  auto tool = Start();
  ASSERT_NE(tool->window(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return tool->Focus() == tool->Item(IDC_COMMAND1); }, kDialogMs));

  const int order[] = {IDC_COMMAND2, IDC_FILE1, IDC_TEXT1, IDC_COMMAND1};
  int from = IDC_COMMAND1;
  for (int next : order) {
    tool->PressKey(from, VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return tool->Focus() == tool->Item(next); }, kDialogMs))
        << "Tab from control " << from << " should reach control " << next;
    from = next;
  }

  // Enter in the title box and the list and Escape anywhere: with an empty
  // list, a pressed convert button would show its message, import its picker.
  tool->SetText(IDC_TEXT1, "书名");
  tool->PressKey(IDC_TEXT1, VK_RETURN);
  tool->PressKey(IDC_FILE1, VK_RETURN);
  for (int id : {IDC_TEXT1, IDC_FILE1, IDC_COMMAND1, IDC_COMMAND2}) tool->PressKey(id, VK_ESCAPE);
  tool->PressKey(IDC_COMMAND1, VK_TAB);  // handled after all of the above
  ASSERT_TRUE(WaitUntil([&] { return tool->Focus() == tool->Item(IDC_COMMAND2); }, kDialogMs));
  Sleep(300);
  EXPECT_EQ(tool->FindMessageBox(), nullptr);
  EXPECT_EQ(tool->FindPicker(), nullptr);
  EXPECT_EQ(tool->Text(IDC_TEXT1), "书名");
  EXPECT_TRUE(tool->Running());
}

TEST_F(WindowTest, ConvertWithNothingListedShowsTheNoPagesMessage) {
  ASSERT_NO_FATAL_FAILURE(Install(FakeCompiler()));
  auto tool = Start();
  ASSERT_NE(tool->window(), nullptr);
  tool->SetText(IDC_TEXT1, "书");
  tool->Click(IDC_COMMAND2);
  ExpectMessage(*tool, kNoPagesText, kNoPagesCaption);
  EXPECT_EQ(StatusOf(*tool), "");
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(tool->Item(IDC_COMMAND2)); }, kDialogMs));
}

TEST_F(WindowTest, ImportListsOnlyTxtFilesAndAnEmptyTitleStopsBeforeTheProject) {
  ScopedTempDir pages("pages");
  WriteBytes(pages / "a.txt", "a");
  WriteBytes(pages / "B.TXT", "b");
  WriteBytes(pages / "d.htm", "d");
  MakeFolder(pages / "e.txt");
  ASSERT_NO_FATAL_FAILURE(Install(FakeCompiler()));
  auto tool = Start();
  ASSERT_NE(tool->window(), nullptr);

  tool->Click(IDC_COMMAND1);
  HWND picker = tool->WaitForPicker(kDialogMs);
  ASSERT_NE(picker, nullptr);
  // The picker has no owner: the window is not disabled, but its buttons are.
  EXPECT_TRUE(IsWindowEnabled(tool->window()));
  EXPECT_FALSE(IsWindowEnabled(tool->Item(IDC_COMMAND1)));
  EXPECT_FALSE(IsWindowEnabled(tool->Item(IDC_COMMAND2)));
  ASSERT_TRUE(tool->PickFolder(picker, pages.path()));
  ASSERT_TRUE(WaitUntil([&] { return tool->ListEntries().size() == 2; }, kDialogMs));
  EXPECT_EQ(tool->ListEntries(), (std::vector<std::string>{"a.txt", "B.TXT"}));

  tool->Click(IDC_COMMAND2);
  ExpectMessage(*tool, kNoTitleText, kTitleCaption);
  EXPECT_TRUE(Exists(pages / "chm_hhc.hhc"));
  EXPECT_TRUE(Exists(pages / "chm_hhk.hhk"));
  EXPECT_FALSE(Exists(pages / "chm_hhp.hhp"));
  EXPECT_EQ(StatusOf(*tool), "");
}

// A name the code page lacks is left out and counted on the status line; a
// title typed with such characters is refused for what it is (the box is
// Unicode: no '?' stands in for them), and so is a device name.
TEST_F(WindowTest, SaysWhatItLeftOutAndWhyATitleIsRefused) {
  ScopedTempDir pages("pages");
  WriteBytes(pages / "a.txt", "a");
  WriteBytes(pages / "한.txt", "b");
  ASSERT_NO_FATAL_FAILURE(Install(FakeCompiler()));
  auto tool = Start();
  ASSERT_NE(tool->window(), nullptr);
  ASSERT_NO_FATAL_FAILURE(Import(*tool, pages.path()));
  EXPECT_EQ(tool->ListEntries(), std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(WaitForStatus(*tool, "已略过 1 个无法放入手册的文件", kDialogMs)) << StatusOf(*tool);

  const struct {
    const char* title;
    const char* message;
  } cases[] = {{"한국", kTitleNotInCodePageText}, {"CON", kTitleNotAFileNameText}};
  for (const auto& c : cases) {
    tool->SetText(IDC_TEXT1, c.title);
    tool->Click(IDC_COMMAND2);
    ExpectMessage(*tool, c.message, kTitleCaption);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(tool->Item(IDC_COMMAND2)); }, kDialogMs));
  }
  EXPECT_FALSE(Exists(pages / "chm_hhp.hhp"));
}

// The whole road into a folder whose path holds a space and Chinese
// characters, under Chinese titles: with no compiler beside the tool, when
// the built-in one makes the book the next test reads back on Linux, then
// with the real compiler as hhc.exe. Then a cancelled import empties the
// status line and leaves the list alone.
TEST_F(WindowTest, ConvertsAChineseFolderWithTheBuiltInAndTheRealCompiler) {
  ASSERT_NE(Environment("INKBINDER_LINUX_HHC"), "")
      << "the test hhc.exe needs the Linux compiler (scripts/test-windows.sh sets it)";
  ScopedTempDir pages("书 页");
  WriteBytes(pages / "第1章.txt", Gbk("<html><head><title>第一章 起</title></head>\r\n起\r\n"));
  WriteBytes(pages / "第2章.txt", Gbk("没有标题\r\n"));
  ASSERT_NO_FATAL_FAILURE(Install(""));
  auto tool = Start();
  ASSERT_NE(tool->window(), nullptr);
  ASSERT_NO_FATAL_FAILURE(Import(*tool, pages.path()));
  ASSERT_EQ(tool->ListEntries(), (std::vector<std::string>{"第1章.txt", "第2章.txt"}));

  const char* const titles[] = {"测试 书", "测试 书二"};
  for (const char* title : titles) {
    SCOPED_TRACE(title);
    const std::string book = pages / (std::string(title) + ".chm");
    tool->SetText(IDC_TEXT1, title);
    tool->Click(IDC_COMMAND2);
    // The book appears once the buttons are disabled; enabled again, the run is over.
    ASSERT_TRUE(WaitUntil([&] { return Exists(book) && IsWindowEnabled(tool->Item(IDC_COMMAND2)); },
                          kCompileMs));
    EXPECT_EQ(StatusOf(*tool), kSuccessStatus);
    EXPECT_EQ(ReadBytes(book).substr(0, 4), "ITSF");
    for (const char* source : {"chm_hhc.hhc", "chm_hhk.hhk", "chm_hhp.hhp"}) {
      EXPECT_FALSE(Exists(pages / source)) << source;
    }
    const std::string keep = Environment("INKBINDER_WINDOW_BOOK");
    if (title == titles[0] && !keep.empty()) {
      // Read back from Linux by the next test, with the pages to compare it with.
      const std::string folder = HostPath(keep);
      MakeFolder(folder);
      EXPECT_TRUE(CopyInto(book, folder + "/book.chm"));
      for (const char* page : {"第1章.txt", "第2章.txt"}) {
        EXPECT_TRUE(CopyInto(pages / page, folder + "/" + page)) << page;
      }
    }
    ASSERT_TRUE(CopyInto(TestHelpCompiler(), program_ / "hhc.exe"));  // for the next run
  }
  // The shell opened the folder, named with a trailing "/".
  EXPECT_TRUE(WaitUntil([&] { return !ExplorerLog().empty(); }, kDialogMs));
  EXPECT_NE(ExplorerLog().find(WindowsPath(pages.path()) + "/"), std::string::npos)
      << "explorer.exe was started as: " << ExplorerLog();

  tool->Click(IDC_COMMAND1);
  HWND picker = tool->WaitForPicker(kDialogMs);
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(StatusOf(*tool), "") << "the status line is emptied before the picker opens";
  tool->PressCancel(picker);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, kDialogMs));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(tool->Item(IDC_COMMAND1)); }, kDialogMs));
  EXPECT_EQ(tool->ListEntries(), (std::vector<std::string>{"第1章.txt", "第2章.txt"}));
  EXPECT_EQ(StatusOf(*tool), "");
}

// Sends WM_CLOSE, as the close box does, and returns once the window has
// handled it; false when it did not answer.
bool CloseNow(ToolUnderTest& tool) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(tool.window(), WM_CLOSE, 0, 0, SMTO_NORMAL, kDialogMs, &result) != 0;
}

// A compile held for three seconds: the buttons stay disabled, clicks on them
// start nothing, the window answers, the tool waits for the compiler's end
// and uses next to no CPU meanwhile.
TEST_F(WindowTest, WaitsForASlowCompileWithoutSpinning) {
  ScopedTempDir pages("pages");
  WriteBytes(pages / "a.txt", "a");
  ASSERT_NO_FATAL_FAILURE(Install(FakeCompiler()));
  SetEnvironment("INKBINDER_FAKE_COMPILER", HeldCompile(pages / "书.chm"));
  auto tool = Start();
  ASSERT_NE(tool->window(), nullptr);
  ASSERT_NO_FATAL_FAILURE(Import(*tool, pages.path()));
  tool->SetText(IDC_TEXT1, "书");

  tool->Click(IDC_COMMAND2);
  ASSERT_TRUE(WaitForStatus(*tool, kWaitingStatus, kDialogMs)) << "status: " << StatusOf(*tool);
  const double cpu_before = tool->CpuSeconds();
  EXPECT_FALSE(IsWindowEnabled(tool->Item(IDC_COMMAND1)));
  EXPECT_FALSE(IsWindowEnabled(tool->Item(IDC_COMMAND2)));
  // Sent, not posted: each returns once the window has handled it.
  for (int id : {IDC_COMMAND1, IDC_COMMAND2}) {
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(tool->Item(id), BM_CLICK, 0, 0, SMTO_NORMAL, kDialogMs, &result), 0)
        << "the click on a disabled button started a command";
  }
  EXPECT_EQ(tool->FindPicker(), nullptr) << "a disabled button started a command";
  EXPECT_EQ(tool->FindMessageBox(), nullptr);
  Sleep(3000);  // long enough for a busy wait to show in the CPU time
  EXPECT_GE(tool->ResponseMs(), 0) << "the window does not answer during the compile";
  EXPECT_EQ(StatusOf(*tool), kWaitingStatus) << "the tool went on before the compiler ended";

  End("end-compile");
  ASSERT_TRUE(WaitForStatus(*tool, kSuccessStatus, kCompileMs)) << "status: " << StatusOf(*tool);
  const double cpu_after = tool->CpuSeconds();
  ASSERT_GE(cpu_before, 0) << "cannot read the tool's CPU time";
  std::printf("CPU time of inkbinder.exe while the compiler ran: %.3f s\n", cpu_after - cpu_before);
  EXPECT_LT(cpu_after - cpu_before, 0.25) << "the wait spins";
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(tool->Item(IDC_COMMAND2)); }, kDialogMs));
  EXPECT_TRUE(IsWindowEnabled(tool->Item(IDC_COMMAND1)));
}

// Closing the window while the compiler runs lets the conversion finish:
// the sources are deleted and the book is there before the program ends.
TEST_F(WindowTest, ClosingDuringACompileFinishesTheConversionFirst) {
  ScopedTempDir pages("pages");
  WriteBytes(pages / "a.txt", "a");
  ASSERT_NO_FATAL_FAILURE(Install(FakeCompiler()));
  SetEnvironment("INKBINDER_FAKE_COMPILER", HeldCompile(pages / "书.chm"));
  auto tool = Start();
  ASSERT_NE(tool->window(), nullptr);
  ASSERT_NO_FATAL_FAILURE(Import(*tool, pages.path()));
  tool->SetText(IDC_TEXT1, "书");
  tool->Click(IDC_COMMAND2);
  ASSERT_TRUE(WaitForStatus(*tool, kWaitingStatus, kDialogMs));

  ASSERT_TRUE(CloseNow(*tool));
  EXPECT_TRUE(IsWindowVisible(tool->window())) << "closed before the compiler had finished";
  EXPECT_TRUE(Exists(pages / "chm_hhp.hhp"));
  End("end-compile");
  ASSERT_TRUE(tool->WaitForExit(kCompileMs)) << "the program did not end after the compile";
  EXPECT_TRUE(Exists(pages / "书.chm"));
  for (const char* source : {"chm_hhc.hhc", "chm_hhk.hhk", "chm_hhp.hhp"}) {
    EXPECT_FALSE(Exists(pages / source)) << source;
  }
}

// While a listing is held the window answers with its buttons disabled and
// keeps what is typed meanwhile; the stages of the conversion that follows
// come in their order. Closed during a listing, the program lets it end first.
TEST_F(WindowTest, AnswersWhileTheFolderIsListed) {
  ScopedTempDir pages("pages");
  WriteBytes(pages / "a.txt", "a");
  WriteBytes(pages / "한.txt", "b");
  ASSERT_NO_FATAL_FAILURE(Install(FakeCompiler(), "held_listing_window.exe"));
  SetEnvironment("INKBINDER_FAKE_COMPILER", HeldCompile(pages / "书.chm"));
  auto tool = Start();
  ASSERT_NE(tool->window(), nullptr);

  tool->Click(IDC_COMMAND1);
  HWND picker = tool->WaitForPicker(kDialogMs);
  ASSERT_NE(picker, nullptr);
  ASSERT_TRUE(tool->PickFolder(picker, pages.path()));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, kDialogMs));
  EXPECT_GE(tool->ResponseMs(), 0) << "the window does not answer during the listing";
  EXPECT_FALSE(IsWindowEnabled(tool->Item(IDC_COMMAND1)));
  EXPECT_FALSE(IsWindowEnabled(tool->Item(IDC_COMMAND2)));
  tool->SetText(IDC_TEXT1, "书");
  EXPECT_TRUE(tool->ListEntries().empty());
  End("end-listing");
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(tool->Item(IDC_COMMAND2)); }, kDialogMs));
  EXPECT_EQ(tool->ListEntries(), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(StatusOf(*tool), "已略过 1 个无法放入手册的文件");
  EXPECT_EQ(tool->Text(IDC_TEXT1), "书");

  tool->Click(IDC_COMMAND2);
  ASSERT_TRUE(WaitForStatus(*tool, kWaitingStatus, kDialogMs)) << "status: " << StatusOf(*tool);
  for (const char* source : {"chm_hhc.hhc", "chm_hhk.hhk", "chm_hhp.hhp"}) {
    EXPECT_TRUE(Exists(pages / source)) << source;
  }
  End("end-compile");
  ASSERT_TRUE(WaitForStatus(*tool, kSuccessStatus, kCompileMs)) << "status: " << StatusOf(*tool);
  EXPECT_TRUE(Exists(pages / "书.chm"));

  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(tool->Item(IDC_COMMAND1)); }, kDialogMs));
  tool->Click(IDC_COMMAND1);
  picker = tool->WaitForPicker(kDialogMs);
  ASSERT_NE(picker, nullptr);
  ASSERT_TRUE(tool->PickFolder(picker, pages.path()));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, kDialogMs));
  ASSERT_TRUE(CloseNow(*tool));
  EXPECT_TRUE(IsWindowVisible(tool->window())) << "closed before the listing had ended";
  End("end-listing");
  EXPECT_TRUE(tool->WaitForExit(kDialogMs)) << "the program did not end after the listing";
}

}  // namespace
}  // namespace inkbinder::testing
