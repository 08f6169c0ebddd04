#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "platform/shell_open.h"
#include "platform/text.h"

namespace inkbinder {

void OpenInShell(const std::string& path) {
  // The shell may hand the folder to an extension that needs COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const std::string ansi = Utf8ToCodePage(path, kSystemAnsi);
  ShellExecuteA(nullptr, nullptr, ansi.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace inkbinder
