#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "win32/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  // The folder picker needs COM on this thread; the buttons want the themed controls.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  int exit_code = 1;
  {
    inkbinder::win32::MainWindow window;
    if (window.Create(instance)) {
      window.Show(show_command);
      exit_code = window.RunMessageLoop();
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exit_code;
}
