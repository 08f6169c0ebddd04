#include <windows.h>
#include <io.h>
#include <shellapi.h>
#include <stdio.h>
#include <atomic>

#include "platform/console.h"
#include "platform/text.h"
#include "platform/wide_text_win32.h"

namespace inkbinder {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  // argv is in the ANSI code page, which loses what it cannot hold: read the wide command line.
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return args;
  }
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(CodePageToUtf8(argv[i], kSystemAnsi));
  return args;
}

bool IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

void PrintText(std::FILE* stream, const std::string& utf8) {
  std::fflush(stream);
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    // A console takes UTF-16 whatever its code page: Chinese shows even after chcp 437.
    const std::wstring wide = Utf8ToWide(utf8);
    DWORD written = 0;
    if (WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
      return;
    }
  }
  // A file or a pipe gets the system's code page, as every program here writes.
  const std::string text = Utf8ToCodePage(utf8, kSystemAnsi);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

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
