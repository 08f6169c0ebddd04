#pragma once

#include <string>

namespace inkbinder::hhc {

// chmcmd's directory header names its second listing chunk as the first (it
// takes 0 for "not set yet"), so readers that walk the listing chunks from
// there leave out every file of chunk 0. This writes the number of the true
// first chunk into the header of `book`, once the chunks' own links prove
// which one it is: the one with no predecessor, from which the chain of
// successors visits every listing chunk and ends at the last. A book whose
// chunks do not prove it is left as it is, for the reader check to judge.
// False with a message when the book cannot be read or written.
bool RepairFirstListingChunk(const std::string& book, std::string* error);

}  // namespace inkbinder::hhc
