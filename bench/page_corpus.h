#pragma once

#include <cstddef>
#include <string>

namespace inkbinder::bench {

// A folder of generated pages, the same on every run. Page i (from 0) is named
// so that the page order of the names is the order of i.

// The page's file name, UTF-8.
std::string CorpusPageName(size_t i);

// The page's bytes: mixed Chinese and ASCII text in code page 936, CR LF line
// ends, about 2 KB. Every other page (even i) carries a <title> tag on one of
// its first lines; the others hold none.
std::string CorpusPageBytes(size_t i);

// What the title lookup should find in the page: lower-cased UTF-8, "" for a
// page without a title.
std::string CorpusPageTitle(size_t i);

// Writes pages 0 to count-1 into `folder`, which must exist. False, with a
// reason, when a page cannot be written.
bool WriteCorpus(const std::string& folder, size_t count, std::string* error);

}  // namespace inkbinder::bench
