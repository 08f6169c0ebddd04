#include <windows.h>

#include <atomic>

#include "compiler/interruption.h"

namespace inkbinder {

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<HANDLE> g_child{nullptr};

// Runs on a thread of its own: note it and stop the child, so the main
// thread's wait ends and the run cleans up on its way out.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: {
      g_interrupted = true;
      const HANDLE child = g_child.load();
      if (child != nullptr) TerminateProcess(child, 1);
      // A closing console ends the process once this returns: give the run its time.
      if (event == CTRL_CLOSE_EVENT) Sleep(4000);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void CatchInterruptions() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool Interrupted() { return g_interrupted; }

StopOnInterruption::StopOnInterruption(std::intptr_t native_process) {
  const auto handle = reinterpret_cast<HANDLE>(native_process);
  g_child.store(handle);
  if (Interrupted()) TerminateProcess(handle, 1);
}

StopOnInterruption::~StopOnInterruption() { g_child.store(nullptr); }

}  // namespace inkbinder
