#pragma once
// A finished book read back as a reader reads it, through the system's own
// help storage: every compile proves its book with it before the book takes
// its place.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "helpbook/compile_help_book.h"

namespace helpbook {

// Opens the book and reads it as a reader does: #SYSTEM's language and
// sitemap names; each sitemap stored byte for byte; every Local of both
// sitemaps found by the name a reader looks up (ReaderPathOfLocal); every
// page listed and holding the bytes the compiler wrote (by the digests taken
// while writing, or the page's file when there are none), every page read
// back whole from the book. Returns the first problem in
// words, naming the file; empty when the book is sound. Pages are read only
// from regular files. `stop`, asked between pages and megabytes, ends the
// check with "interrupted". `readers` readers of their own share the pages
// (0: one per core, up to four, once the digested pages are megabytes); the
// problem told is still the first in book order.
std::string CheckBook(const std::string& book_path, const BookFacts& facts,
                      const std::function<bool()>& stop = nullptr, unsigned readers = 0);

// A sitemap's Local values in file order, as written (code page 936 bytes).
std::vector<std::string> SitemapLocals(const std::string& sitemap);

// The name a reader looks a Local value up by: its character references
// decoded (it is HTML attribute text), decoded from code page 936, cut at
// '#', percent-decoded, without a leading '/'.
std::string ReaderPathOfLocal(std::string_view local);

}  // namespace helpbook
