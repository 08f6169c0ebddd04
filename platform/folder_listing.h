#pragma once

#include <string>
#include <vector>

namespace inkbinder {

struct FolderEntry {
  std::string name;  // UTF-8 where the platform's name converts, its bytes otherwise
  bool regular_file = false;
  bool hidden = false;  // a dot-file on POSIX; the hidden or system attribute on Windows
  bool name_is_text = true;  // false when the name is not valid text on this platform
};

// The entries of `folder` (UTF-8), "." and ".." left out. False when the
// folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries);

}  // namespace inkbinder
