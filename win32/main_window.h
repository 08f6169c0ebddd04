#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "commands/convert.h"
#include "commands/run_port.h"
#include "project/page_list.h"
#include "resources/window_layout.h"
#include "win32/taskbar_progress.h"

namespace inkbinder::win32 {

// The tool's one window: two buttons, the title box, the status line and the
// page list, laid out from the shared layout table at the monitor's DPI. The
// import and convert commands run in the core against this window.
class MainWindow final : public WindowPort {
 public:
  // `lister` reads a folder for the import button (tests hold it up).
  explicit MainWindow(PageLister lister = ReadPageList) : lister_(std::move(lister)) {}
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window centred on the primary monitor, with its controls,
  // and points the list at no folder. False when the window cannot be made.
  bool Create(HINSTANCE instance);
  void Show(int show_command);
  // Runs until the window has been closed; the program's exit code.
  int RunMessageLoop();

  void SetStatus(const std::string& text) override;
  void SetStatusTip(const std::string& tip) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void SetBusy(bool busy) override;
  std::string PickFolder() override;
  void ShowPages(std::shared_ptr<const PageList> list) override;
  std::unique_ptr<Process> StartProcess(const std::string& program,
                                        const std::vector<std::string>& args,
                                        std::string* error) override;
  int WaitForProcess(Process& process) override;
  void OpenFolder(const std::string& path) override;
  void RunOffThread(const std::function<void()>& work) override;
  void ShowProgress(std::uint64_t done, std::uint64_t total) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void CreateControls();
  void ApplyLayout(int dpi);
  void OnDpiChanged(int dpi, const RECT& suggested);
  void OnButton(int id);
  // The text of the title box, exactly as typed.
  std::string BookTitle();
  void OnClose();
  // Takes the keys the window handles itself; true when `msg` was one of them.
  bool HandleKey(const MSG& msg);
  void DispatchOne(MSG& msg);
  // Handles every message waiting in the thread's queue, then returns.
  void PumpPendingMessages();
  // Handles the window's messages until `handle` is signalled.
  void PumpUntilSignalled(HANDLE handle);
  void RestoreFocus();
  HWND Item(int id) const;

  struct Control {
    HWND hwnd;
    const ControlLayout* layout;
    int id;
  };

  PageLister lister_;
  HWND hwnd_ = nullptr;
  std::vector<Control> controls_;  // in creation (tab) order
  HWND status_tip_ = nullptr;  // the status line's tooltip
  HFONT font_ = nullptr;
  int dpi_ = 96;

  std::shared_ptr<const PageList> list_ = std::make_shared<const PageList>();  // what the list shows

  HWND focus_ = nullptr;        // the control that gets the focus back on activation
  int running_commands_ = 0;    // a command is on the stack (picker, message box, compile)
  bool close_pending_ = false;  // closed while a command ran: close once it ends
  bool quit_pending_ = false;   // the quit message came while a command ran
  bool working_ = false;        // work runs on another thread: the busy cursor shows
  int quit_code_ = 0;
  TaskbarProgress taskbar_;
  std::atomic<unsigned> progress_posted_{kNoProgress};  // the last per mille handed to this thread
  static constexpr unsigned kNoProgress = 0xFFFF;
};

}  // namespace inkbinder::win32
