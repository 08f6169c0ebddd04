#include "project/page_list.h"

#include <algorithm>

#include "platform/folder_listing.h"
#include "platform/text.h"
#include "project/page_order.h"

namespace inkbinder {

bool HasPageExtension(const std::string& name) {
  if (name.size() < 4) return false;
  return LowerCase(name.substr(name.size() - 4)) == ".txt";
}

bool HasCharacterForbiddenInNames(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
    switch (c) {
      case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return true;
      default:
        break;
    }
  }
  return false;
}

PageList ListPages(const std::string& folder) {
  PageList list;
  list.folder = folder;
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) return list;
  for (FolderEntry& e : entries) {
    if (!e.regular_file || e.hidden || !HasPageExtension(e.name)) continue;
    const bool writable =
        e.name_is_text && !HasCharacterForbiddenInNames(e.name) &&
        FitsCodePage(e.name, kSystemAnsi);
    (writable ? list.pages : list.left_out).push_back(std::move(e.name));
  }
  SortPages(&list.pages);
  std::sort(list.left_out.begin(), list.left_out.end());
  return list;
}

}  // namespace inkbinder
