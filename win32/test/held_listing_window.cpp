// The window of inkbinder.exe with a folder listing the test holds up: each
// listing signals the event named by INKBINDER_HELD_LISTING with "-started"
// and then waits until the one with "-release" is signalled.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <string>

#include "win32/main_window.h"

namespace {

HANDLE OpenNamedEvent(const std::string& name) {
  return OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str());
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  const char* name = std::getenv("INKBINDER_HELD_LISTING");
  if (name == nullptr) return 2;
  HANDLE started = OpenNamedEvent(std::string(name) + "-started");
  HANDLE release = OpenNamedEvent(std::string(name) + "-release");
  if (started == nullptr || release == nullptr) return 2;

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  int exit_code = 1;
  {
    inkbinder::win32::MainWindow window([&](const std::string& folder) {
      SetEvent(started);
      WaitForSingleObject(release, INFINITE);
      return inkbinder::ReadPageList(folder);
    });
    if (window.Create(instance)) {
      window.Show(show_command);
      exit_code = window.RunMessageLoop();
    }
  }
  CoUninitialize();
  return exit_code;
}
