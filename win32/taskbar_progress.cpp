#include "win32/taskbar_progress.h"

#include <shobjidl.h>

namespace inkbinder::win32 {

TaskbarProgress::~TaskbarProgress() {
  if (list_ != nullptr) list_->Release();
}

// Made on first use: by then the window's taskbar button exists.
bool TaskbarProgress::Ready() {
  if (!tried_) {
    tried_ = true;
    void* list = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3, &list))) {
      list_ = static_cast<ITaskbarList3*>(list);
      if (FAILED(list_->HrInit())) {
        list_->Release();
        list_ = nullptr;
      }
    }
  }
  return list_ != nullptr;
}

void TaskbarProgress::Set(HWND window, unsigned per_mille) {
  if (!Ready()) return;
  list_->SetProgressState(window, TBPF_NORMAL);
  list_->SetProgressValue(window, per_mille, 1000);
}

void TaskbarProgress::Clear(HWND window) {
  if (list_ != nullptr) list_->SetProgressState(window, TBPF_NOPROGRESS);
}

}  // namespace inkbinder::win32
