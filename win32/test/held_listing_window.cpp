// inkbinder.exe's window with a folder listing the test holds up: each
// listing waits until a file "end-listing" appears beside the program, and
// takes it away.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "platform/files.h"
#include "platform/program_folder.h"
#include "win32/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  int exit_code = 1;
  {
    const std::string end_listing = inkbinder::ProgramFolder() + "/end-listing";
    inkbinder::win32::MainWindow window([&](const std::string& folder) {
      while (!inkbinder::DeleteFileAt(end_listing)) Sleep(10);
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
