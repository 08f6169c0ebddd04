#pragma once

#include <windows.h>

struct ITaskbarList3;

namespace inkbinder::win32 {

// The progress bar on a window's taskbar button. Used on the window's own
// thread only. Where the shell offers no taskbar list, it shows nothing.
class TaskbarProgress {
 public:
  TaskbarProgress() = default;
  ~TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  // `per_mille` of the work is done (0..1000).
  void Set(HWND window, unsigned per_mille);
  void Clear(HWND window);

 private:
  bool Ready();

  ITaskbarList3* list_ = nullptr;
  bool tried_ = false;
};

}  // namespace inkbinder::win32
