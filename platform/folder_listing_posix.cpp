#include <dirent.h>
#include <sys/stat.h>

#include "platform/folder_listing.h"
#include "platform/text.h"

namespace inkbinder {

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  if (folder.empty()) return false;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent* d = readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    entry.name = name;
    entry.hidden = name[0] == '.';
    entry.name_is_text = IsValidUtf8(name);
    // The listing's own type where it gives one: a stat for each of 100,000
    // pages showed in the compile's profile. A link to a regular file is a
    // page too, as it is to the file explorer, so links are followed.
    if (d->d_type == DT_REG) {
      entry.regular_file = true;
    } else if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
      struct stat st;
      entry.regular_file = stat((folder + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    entries->push_back(std::move(entry));
  }
  closedir(dir);
  return true;
}

}  // namespace inkbinder
