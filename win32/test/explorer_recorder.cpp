// Stands in for explorer.exe beside the tested inkbinder.exe: the shell starts
// the first explorer.exe it finds, and this one appends its command line
// (UTF-8, one line) to explorer-log.txt in its own folder, then ends.
#include <windows.h>

#include <string>

#include "platform/wide_text_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring log(MAX_PATH * 4, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, log.data(), static_cast<DWORD>(log.size()));
  log.resize(n);
  log.resize(log.find_last_of(L"\\/") + 1);
  log += L"explorer-log.txt";

  const std::string line = inkbinder::WideToUtf8(GetCommandLineW()) + "\n";
  HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
