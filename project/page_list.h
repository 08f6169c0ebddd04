#pragma once

#include <string>
#include <vector>

namespace inkbinder {

// A folder's pages as the list shows them, and as a conversion takes them.
struct PageList {
  std::string folder;                 // UTF-8, without a trailing separator
  std::vector<std::string> pages;     // bare file names, in page order (page_order.h)
  std::vector<std::string> left_out;  // *.txt names that cannot go into a book
};

// The pages of `folder`: its regular, visible files whose names end in ".txt"
// (letter case ignored), in page order. Names that the generated files
// cannot hold safely (characters Windows forbids in names, names the system
// ANSI code page cannot write) are put in `left_out` instead.
PageList ListPages(const std::string& folder);

// True for a name that ends in ".txt", letter case ignored.
bool HasPageExtension(const std::string& name);

// True when `text` holds one of \ / : * ? " < > | or a control character.
bool HasCharacterForbiddenInNames(const std::string& text);

}  // namespace inkbinder
