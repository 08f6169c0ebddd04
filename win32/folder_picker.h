#pragma once

#include <string>

namespace inkbinder::win32 {

// Shows the shell's folder picker, owned by no window and rooted at the top of
// the shell's namespace; returns the chosen folder's path (UTF-8), or "" when
// the user cancels or chooses something that is not a file-system folder.
std::string BrowseForFolderPath();

}  // namespace inkbinder::win32
