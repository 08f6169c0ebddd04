// picker-only [FOLDER]: opens the system's folder picker on FOLDER (or where
// it opens by itself), presses its OK half a second later from a second
// thread, and prints how long the picker call took to return after the press
// and how long each step after it took. No window of its own, no listing:
// whatever time shows here belongs to the picker and the system under it.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

std::wstring start_folder;
Clock::time_point pressed;

int CALLBACK OnPickerEvent(HWND picker, UINT message, LPARAM, LPARAM) {
  if (message == BFFM_INITIALIZED && !start_folder.empty()) {
    SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start_folder.c_str()));
  }
  if (message == BFFM_INITIALIZED) {
    std::thread([picker] {
      Sleep(500);
      pressed = Clock::now();
      PostMessageW(GetDlgItem(picker, IDOK), BM_CLICK, 0, 0);
    }).detach();
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc > 1) start_folder = argv[1];

  const Clock::time_point begin = Clock::now();
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const Clock::time_point com_ready = Clock::now();

  BROWSEINFOW request = {};
  request.lpszTitle = L"";
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  request.lpfn = OnPickerEvent;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&request);
  const Clock::time_point returned = Clock::now();
  wchar_t path[MAX_PATH] = L"";
  SHGetPathFromIDListW(item, path);
  if (item != nullptr) CoTaskMemFree(item);
  const Clock::time_point path_read = Clock::now();

  // The first message handling after the picker, as a window's loop would do it.
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  const Clock::time_point pumped = Clock::now();
  if (SUCCEEDED(com)) CoUninitialize();
  const Clock::time_point done = Clock::now();

  std::printf("com_init_ms=%.1f ok_to_return_ms=%.1f path_ms=%.1f pump_ms=%.1f "
              "com_uninit_ms=%.1f picked=%d\n",
              Ms(begin, com_ready), Ms(pressed, returned), Ms(returned, path_read),
              Ms(path_read, pumped), Ms(pumped, done), path[0] != L'\0');
  LocalFree(argv);
  return 0;
}
