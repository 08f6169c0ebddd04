#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/wide_text_win32.h"

namespace inkbinder::driver {

inline std::wstring Wide(const std::string& utf8) { return Utf8ToWide(utf8); }
inline std::string Utf8(const std::wstring& wide) { return WideToUtf8(wide); }

// A Linux path as this program can open it: its DOS path under Wine, the
// path itself elsewhere.
std::string HostPath(const std::string& linux_path);

// Polls `condition` until it holds or `timeout_ms` have passed.
bool WaitUntil(const std::function<bool()>& condition, int timeout_ms);

// A running inkbinder.exe, driven from outside through window messages, the
// way a user's clicks and keys reach it.
class ToolUnderTest {
 public:
  // Starts `exe` (UTF-8 path) in its own folder and waits until its window is
  // visible; window() is null when it never showed.
  explicit ToolUnderTest(const std::string& exe);
  ~ToolUnderTest();  // ends the program if it still runs
  ToolUnderTest(const ToolUnderTest&) = delete;
  ToolUnderTest& operator=(const ToolUnderTest&) = delete;

  HWND window() const { return window_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  std::string Text(HWND hwnd) const;
  std::string Text(int id) const { return Text(Item(id)); }
  void SetText(int id, const std::string& text);
  void Click(int id);
  std::vector<std::string> ListEntries() const;
  HWND Focus() const;
  // Posts a key press (down, character, up) to the control, as the keyboard would.
  void PressKey(int id, WPARAM key);

  // The program's visible dialog windows: message boxes are owned by the
  // window, the folder picker by no one.
  HWND FindMessageBox() const;
  HWND FindPicker() const;
  HWND WaitForMessageBox(int timeout_ms) const;
  HWND WaitForPicker(int timeout_ms) const;
  // The message box's text (its static text that is not the icon).
  std::string MessageText(HWND box) const;
  void PressOk(HWND dialog);
  void PressCancel(HWND dialog);
  // Selects `folder` in the picker and presses OK.
  bool PickFolder(HWND picker, const std::string& folder);

  bool Running() const;
  bool WaitForExit(int timeout_ms) const;
  // CPU time (user + kernel) the program has used so far, in seconds.
  double CpuSeconds() const;
  // Milliseconds the window takes to answer a message; -1 when it does not within 5 s.
  int ResponseMs() const;

 private:
  HANDLE handle() const { return reinterpret_cast<HANDLE>(process_->NativeHandle()); }
  DWORD pid() const { return static_cast<DWORD>(process_->Id()); }

  std::unique_ptr<Process> process_;
  HWND window_ = nullptr;
  std::string linux_marker_;
  mutable std::wstring linux_process_;
};

}  // namespace inkbinder::driver
