#include "win32/folder_picker.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "platform/text.h"

namespace inkbinder::win32 {

std::string BrowseForFolderPath() {
  // The picker is a COM client; the program has initialised COM already, so
  // this only counts up and down.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  BROWSEINFOA request;
  ZeroMemory(&request, sizeof request);
  request.lpszTitle = "";
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&request);

  // Asked even after a cancel: the null item simply gives no path.
  std::string buffer(512, ' ');
  const BOOL has_path = SHGetPathFromIDListA(item, buffer.data());
  if (item != nullptr) CoTaskMemFree(item);
  if (SUCCEEDED(com)) CoUninitialize();

  if (!has_path) return "";
  return CodePageToUtf8(buffer.substr(0, buffer.find('\0')), kSystemAnsi);
}

}  // namespace inkbinder::win32
