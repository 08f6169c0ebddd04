#pragma once

#include <string>

namespace inkbinder::hhc {

// Moves the finished book from the staging folder to its place, replacing an
// older book of that name in one step. Across file systems it copies into a
// temporary file beside `to` and renames that over `to`: a failure never
// leaves half a book and never destroys the older one.
bool MoveBook(const std::string& from, const std::string& to, std::string* error);

// The cross-file-system half of MoveBook, on its own so it can be tested on
// one file system. `from` is left in place.
bool CopyBookInto(const std::string& from, const std::string& to, std::string* error);

}  // namespace inkbinder::hhc
