#include <windows.h>

#include "platform/folder_listing.h"
#include "platform/wide_text_win32.h"

namespace inkbinder {

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  if (folder.empty()) return false;
  std::wstring pattern = Utf8ToWide(folder);
  if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';

  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderEntry entry;
    entry.name = WideToUtf8(name, &entry.name_is_text);
    const DWORD attributes = data.dwFileAttributes;
    // The file explorer hides system files as well as hidden ones.
    entry.hidden = (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    entry.regular_file = (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    entries->push_back(std::move(entry));
  } while (FindNextFileW(find, &data));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  return complete;
}

}  // namespace inkbinder
