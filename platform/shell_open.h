#pragma once

#include <string>

namespace inkbinder {

// Asks the desktop shell to open `path` (a folder, UTF-8) in a normal window.
// Does not wait and reports nothing: the book is there whether or not a window opens.
void OpenInShell(const std::string& path);

}  // namespace inkbinder
