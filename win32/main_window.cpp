#include "win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

#include "commands/compile.h"
#include "commands/convert.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/shell_open.h"
#include "platform/text.h"
#include "platform/wide_text_win32.h"
#include "project/page_list.h"
#include "resources/win32/resource.h"
#include "resources/window_layout.h"
#include "win32/dpi.h"
#include "win32/folder_picker.h"
#include "win32/win32_text.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace inkbinder::win32 {

namespace {

// Progress from the work thread to the window's: wparam is the per mille
// done, or MainWindow::kNoProgress.
constexpr UINT kProgressMessage = WM_APP + 1;

constexpr char kClassName[] = "InkbinderForm";
// Fixed size: it can be minimised but neither resized nor maximised.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Lets GetNextDlgTabItem walk the controls as a dialog's.
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

struct NamedId {
  const char* name;
  int id;
};
constexpr NamedId kControlIds[] = {
    {"Command1", IDC_COMMAND1}, {"Command2", IDC_COMMAND2}, {"Label1", IDC_LABEL1},
    {"Text1", IDC_TEXT1},       {"Label2", IDC_LABEL2},     {"File1", IDC_FILE1},
};

int IdOf(const ControlLayout& layout) {
  for (const NamedId& named : kControlIds) {
    if (std::string(named.name) == layout.name) return named.id;
  }
  return 0;
}

struct ControlClass {
  const char* class_name;
  DWORD style;
  DWORD ex_style;
};

ControlClass ClassOf(ControlKind kind) {
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
  switch (kind) {
    case ControlKind::kButton:
      // Never BS_DEFPUSHBUTTON: Enter presses no button.
      return {"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::kStaticText:
      // SS_NOTIFY: the mouse reaches the status line, and with it its tooltip.
      return {"STATIC", kChild | SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0};
    case ControlKind::kTextBox:
      return {"EDIT", kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::kFileList:
      // Single selection, unsorted (the pages come in book order), exactly the table's height.
      return {"LISTBOX", kChild | WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE};
  }
  return {"STATIC", kChild, 0};
}

struct OffThreadWork {
  const std::function<void()>* work;
  std::exception_ptr failure;
};

DWORD WINAPI RunWork(LPVOID parameter) {
  auto* job = static_cast<OffThreadWork*>(parameter);
  try {
    (*job->work)();
  } catch (...) {
    job->failure = std::current_exception();
  }
  return 0;
}

HCURSOR BusyCursor() { return LoadCursorA(nullptr, MAKEINTRESOURCEA(32650)); }  // IDC_APPSTARTING

}  // namespace

MainWindow::~MainWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (font_ != nullptr) DeleteObject(font_);
}

bool MainWindow::Create(HINSTANCE instance) {
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDI_INKBINDER), IMAGE_ICON,
                 GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  window_class.hIconSm = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDI_INKBINDER), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  if (!RegisterClassExA(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }

  // Centred in the primary monitor's work area, sized for that monitor's DPI.
  HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  GetMonitorInfoA(monitor, &info);
  const int dpi = MonitorDpi(monitor);
  const SIZE frame = FrameSizeForClient(TwipsToPixels(kClientWidthTwips, dpi),
                                        TwipsToPixels(kClientHeightTwips, dpi), kStyle, kExStyle,
                                        dpi);
  const RECT& work = info.rcWork;
  const int left = work.left + std::max(0L, (work.right - work.left - frame.cx) / 2);
  const int top = work.top + std::max(0L, (work.bottom - work.top - frame.cy) / 2);

  CreateWindowExA(kExStyle, kClassName, Utf8ToCodePage(kWindowCaption, kSystemAnsi).c_str(),
                  kStyle, left, top, frame.cx, frame.cy, nullptr, nullptr, instance, this);
  if (hwnd_ == nullptr) return false;
  if (dpi_ != dpi) {
    // Created on a monitor of another DPI than the one measured for.
    const SIZE resized = FrameSizeForClient(TwipsToPixels(kClientWidthTwips, dpi_),
                                            TwipsToPixels(kClientHeightTwips, dpi_), kStyle,
                                            kExStyle, dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, resized.cx, resized.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // The load handler: no folder is chosen yet, the list is empty.
  return true;
}

void MainWindow::Show(int show_command) {
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
}

int MainWindow::RunMessageLoop() {
  MSG msg;
  BOOL got;
  while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) DispatchOne(msg);
  return got == 0 ? static_cast<int>(msg.wParam) : 1;
}

void MainWindow::CreateControls() {
  std::vector<const ControlLayout*> order;
  for (size_t i = 0; i < kFormLayoutSize; ++i) order.push_back(&kFormLayout[i]);
  // Creation order is the order the Tab key follows.
  std::stable_sort(order.begin(), order.end(), [](const ControlLayout* a, const ControlLayout* b) {
    return a->tab_index < b->tab_index;
  });
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd_, GWLP_HINSTANCE));
  for (const ControlLayout* layout : order) {
    const ControlClass kind = ClassOf(layout->kind);
    const int id = IdOf(*layout);
    const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
    HWND control;
    if (layout->kind == ControlKind::kTextBox) {
      // A Unicode box: the title check must see what was typed, also the
      // characters the code page lacks, not the '?' an ANSI box makes of them.
      control = CreateWindowExW(kind.ex_style, L"EDIT", Utf8ToWide(layout->text).c_str(),
                                kind.style, 0, 0, 0, 0, hwnd_, menu, instance, nullptr);
    } else {
      control = CreateWindowExA(kind.ex_style, kind.class_name,
                                Utf8ToCodePage(layout->text, kSystemAnsi).c_str(), kind.style, 0,
                                0, 0, 0, hwnd_, menu, instance, nullptr);
    }
    controls_.push_back({control, layout, id});
  }
  SendMessageW(Item(IDC_TEXT1), EM_SETLIMITTEXT, 0, 0);  // 0: as long as the control allows

  // The status line's tooltip names the files an import left out.
  status_tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                                nullptr, instance, nullptr);
  if (status_tip_ != nullptr) {
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(Item(IDC_LABEL2));
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(status_tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(status_tip_, TTM_SETMAXTIPWIDTH, 0, 600);  // lines, not one endless row
    SendMessageW(status_tip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
  }
  focus_ = Item(IDC_COMMAND1);
}

void MainWindow::ApplyLayout(int dpi) {
  HFONT font = CreateMessageFont(dpi);
  for (const Control& control : controls_) {
    const ControlLayout& at = *control.layout;
    SetWindowPos(control.hwnd, nullptr, TwipsToPixels(at.left, dpi), TwipsToPixels(at.top, dpi),
                 TwipsToPixels(at.width, dpi), TwipsToPixels(at.height, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (font_ != nullptr) DeleteObject(font_);
  font_ = font;
  dpi_ = dpi;
}

void MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
  // Keep the client area exact rather than taking the suggested size as is.
  const SIZE frame = FrameSizeForClient(TwipsToPixels(kClientWidthTwips, dpi),
                                        TwipsToPixels(kClientHeightTwips, dpi), kStyle, kExStyle,
                                        dpi);
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, frame.cx, frame.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyLayout(dpi);
}

HWND MainWindow::Item(int id) const {
  for (const Control& control : controls_) {
    if (control.id == id) return control.hwnd;
  }
  return nullptr;
}

void MainWindow::ShowPages(std::shared_ptr<const PageList> list) {
  list_ = std::move(list);
  // The names' conversion runs off this thread; the list then takes them
  // with its storage set aside and its drawing held.
  std::vector<std::string> shown;
  size_t shown_bytes = 0;
  RunOffThread([&] {
    shown.reserve(list_->pages.size());
    for (const std::string& page : list_->pages) {
      shown.push_back(Utf8ToCodePage(page, kSystemAnsi));
      shown_bytes += shown.back().size() + 1;
    }
  });
  HWND list_box = Item(IDC_FILE1);
  SendMessageA(list_box, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list_box, LB_RESETCONTENT, 0, 0);
  SendMessageA(list_box, LB_INITSTORAGE, shown.size(), shown_bytes);
  // Tens of thousands of entries take a while to add: the window answers
  // between batches, the busy cursor still showing.
  constexpr size_t kBatch = 4096;
  const bool was_working = working_;
  working_ = true;
  for (size_t i = 0; i < shown.size(); ++i) {
    SendMessageA(list_box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown[i].c_str()));
    if ((i + 1) % kBatch == 0) PumpPendingMessages();
  }
  working_ = was_working;
  SendMessageA(list_box, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_box, nullptr, TRUE);
}

std::string MainWindow::BookTitle() {
  HWND box = Item(IDC_TEXT1);
  const int length = GetWindowTextLengthW(box);
  if (length <= 0) return "";
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(box, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return WideToUtf8(text);
}

void MainWindow::SetStatus(const std::string& text) { SetControlText(Item(IDC_LABEL2), text); }

void MainWindow::SetStatusTip(const std::string& tip) {
  if (status_tip_ == nullptr) return;
  // As many names as a tooltip shows well; the rest are counted.
  constexpr size_t kShownNames = 25;
  std::wstring text;
  size_t shown = 0, start = 0;
  while (start < tip.size()) {
    const size_t end = std::min(tip.find('\n', start), tip.size());
    if (shown == kShownNames) {
      size_t rest = 1;
      for (size_t i = end; i < tip.size(); ++i) rest += tip[i] == '\n';
      text += L"\r\n… (+" + std::to_wstring(rest) + L")";
      break;
    }
    text += (shown > 0 ? L"\r\n" : L"") + Utf8ToWide(tip.substr(start, end - start));
    ++shown;
    start = end + 1;
  }
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(Item(IDC_LABEL2));
  tool.lpszText = text.data();
  SendMessageW(status_tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::ShowMessage(const std::string& text, const std::string& caption) {
  MessageBoxA(hwnd_, Utf8ToCodePage(text, kSystemAnsi).c_str(),
              Utf8ToCodePage(caption, kSystemAnsi).c_str(), MB_OK);
}

void MainWindow::SetBusy(bool busy) {
  HWND command1 = Item(IDC_COMMAND1);
  HWND command2 = Item(IDC_COMMAND2);
  // Disabling the focused button takes the focus away; remember where it was.
  HWND focus = GetFocus();
  if (busy && (focus == command1 || focus == command2)) focus_ = focus;
  EnableWindow(command1, !busy);
  EnableWindow(command2, !busy);
  if (!busy && GetActiveWindow() == hwnd_) {
    focus = GetFocus();
    if (focus == nullptr || focus == hwnd_) RestoreFocus();
  }
}

std::string MainWindow::PickFolder() { return BrowseForFolderPath(); }

int MainWindow::WaitForProcess(Process& process) {
  HANDLE handle = reinterpret_cast<HANDLE>(process.NativeHandle());
  for (;;) {
    PumpPendingMessages();
    const DWORD woke = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 + 1) continue;  // messages arrived
    if (woke == WAIT_OBJECT_0) break;         // the process has ended
    // The handle cannot be waited on: look at the process now and then instead.
    while (!process.HasEnded()) {
      PumpPendingMessages();
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
    break;
  }
  return process.Wait();
}

std::unique_ptr<Process> MainWindow::StartProcess(const std::string& program,
                                                  const std::vector<std::string>& args,
                                                  std::string* error) {
  // Under Wine a process start copies the whole tool, which takes a while
  // with a large page list: it runs off this thread, as the writing does.
  std::unique_ptr<Process> process;
  RunOffThread([&] { process = Process::Start(program, args, error); });
  return process;
}

void MainWindow::OpenFolder(const std::string& path) {
  // The shell starts the file manager: off this thread too. OpenInShell
  // sets up COM on the thread it runs on.
  RunOffThread([&] { OpenInShell(path); });
}

void MainWindow::RunOffThread(const std::function<void()>& work) {
  OffThreadWork job{&work, nullptr};
  HANDLE thread = CreateThread(nullptr, 0, RunWork, &job, 0, nullptr);
  if (thread == nullptr) {
    work();  // no thread to be had: the window waits, as it did before
    return;
  }
  const bool was_working = working_;
  working_ = true;
  SetCursor(BusyCursor());
  PumpUntilSignalled(thread);
  CloseHandle(thread);
  working_ = was_working;
  if (!working_) SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));  // IDC_ARROW
  if (job.failure) std::rethrow_exception(job.failure);
}

void MainWindow::ShowProgress(std::uint64_t done, std::uint64_t total) {
  const unsigned per_mille = total == 0 ? kNoProgress : static_cast<unsigned>(1000 * std::min(done, total) / total);
  // At most a thousand messages however many pages.
  if (progress_posted_.exchange(per_mille) == per_mille || hwnd_ == nullptr) return;
  PostMessageA(hwnd_, kProgressMessage, per_mille, 0);
}

void MainWindow::PumpUntilSignalled(HANDLE handle) {
  for (;;) {
    PumpPendingMessages();
    const DWORD woke = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 + 1) continue;  // messages arrived
    // Signalled; or the wait itself failed, and then only the handle counts.
    if (woke != WAIT_OBJECT_0) WaitForSingleObject(handle, INFINITE);
    return;
  }
}

void MainWindow::OnButton(int id) {
  // A click that still reaches a disabled button (BM_CLICK does) starts nothing.
  if (running_commands_ > 0 || !IsWindowEnabled(Item(id))) return;
  ++running_commands_;
  try {
    if (id == IDC_COMMAND1) {
      ImportFolder(*this, lister_);
    } else {
      // The job is the window as it is at the click.
      ConvertOptions options;
      options.compiler = FindHelpCompiler(ProgramFolder());
      Convert({list_, BookTitle(), options}, *this);
    }
  } catch (...) {
    // A failed step ends the command quietly; the window carries on.
  }
  --running_commands_;
  if (running_commands_ > 0) return;
  if (close_pending_ && hwnd_ != nullptr) DestroyWindow(hwnd_);  // `this` outlives its window
  if (quit_pending_) PostQuitMessage(quit_code_);
}

void MainWindow::OnClose() {
  // Closed during a command (most likely while the compiler runs): let the
  // command finish its work first, so no source file is left behind.
  if (running_commands_ > 0) {
    close_pending_ = true;
    return;
  }
  DestroyWindow(hwnd_);
}

void MainWindow::RestoreFocus() {
  HWND target = focus_;
  if (target == nullptr || !IsWindow(target)) target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  if (target != nullptr && IsWindowEnabled(target)) {
    SetFocus(target);
  } else {
    SetFocus(hwnd_);  // hold it until the buttons are enabled again
  }
}

bool MainWindow::HandleKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_CHAR) return false;
  if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
  switch (msg.wParam) {
    case VK_TAB: {
      if (msg.message != WM_KEYDOWN) return true;
      HWND focus = GetFocus();
      if (focus != nullptr && !IsChild(hwnd_, focus)) focus = nullptr;
      HWND next = GetNextDlgTabItem(hwnd_, focus, GetKeyState(VK_SHIFT) < 0);
      if (next != nullptr) {
        SetFocus(next);
        if (next == Item(IDC_TEXT1)) SendMessageA(next, EM_SETSEL, 0, -1);
      }
      return true;
    }
    case VK_RETURN:
    case VK_ESCAPE:
      return true;  // no default and no cancel button
    default:
      return false;
  }
}

void MainWindow::DispatchOne(MSG& msg) {
  if (HandleKey(msg)) return;
  // The W calls carry a typed character whole to the Unicode title box;
  // the ANSI windows get theirs converted on the way.
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void MainWindow::PumpPendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Taken off the queue inside a command: post it again once the command is done.
      quit_pending_ = true;
      quit_code_ = static_cast<int>(msg.wParam);
      continue;
    }
    DispatchOne(msg);
  }
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      ApplyLayout(WindowDpi(hwnd_));
      return 0;
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (HIWORD(wparam) == BN_CLICKED && (id == IDC_COMMAND1 || id == IDC_COMMAND2) &&
          reinterpret_cast<HWND>(lparam) == Item(id)) {
        OnButton(id);
      }
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) focus_ = focus;
      } else if (HIWORD(wparam) == 0) {  // not minimised
        RestoreFocus();
      }
      return 0;
    case WM_SETFOCUS:
      if (focus_ != nullptr && IsWindow(focus_) && IsWindowEnabled(focus_)) SetFocus(focus_);
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_SETCURSOR:
      // Over the window and its controls while work runs behind it.
      if (working_ && LOWORD(lparam) == HTCLIENT) {
        SetCursor(BusyCursor());
        return TRUE;
      }
      return DefWindowProcA(hwnd_, message, wparam, lparam);
    case kProgressMessage:
      if (wparam == kNoProgress) {
        taskbar_.Clear(hwnd_);
      } else {
        taskbar_.Set(hwnd_, static_cast<unsigned>(wparam));
      }
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      HWND hwnd = hwnd_;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      controls_.clear();
      return DefWindowProcA(hwnd, message, wparam, lparam);
    }
    default:
      return DefWindowProcA(hwnd_, message, wparam, lparam);
  }
}

}  // namespace inkbinder::win32
