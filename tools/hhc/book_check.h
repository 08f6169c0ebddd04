#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace inkbinder {

// A page the book must hold.
struct ExpectedPage {
  std::string name;       // inside the book, UTF-8, '/' between folders, no leading '/'
  std::string disk_path;  // the file whose bytes it must hold
};

// What a finished book must give a reader.
struct BookExpectation {
  // The contents and index sitemaps by the names the project gives them
  // (code page 936 bytes, as #SYSTEM holds them), with the bytes written.
  // An empty name: the book need not have that sitemap.
  std::string contents_name;
  std::string contents_bytes;
  std::string index_name;
  std::string index_bytes;
  std::vector<ExpectedPage> pages;
  std::uint32_t language = 0x804;
};

// Opens the book with chmlib and reads it as a reader does: #SYSTEM's
// language and sitemap names; each sitemap stored byte for byte; every Local
// of both sitemaps found by its UTF-8 name (decoded from code page 936, the
// fragment cut off, percent-decoded); every page listed by enumeration and
// holding the bytes of its file. Returns the first problem in words, naming
// the page; empty when the book is sound. Pages are read only from regular
// files. `stop`, asked between pages and megabytes, ends the check with
// "interrupted".
std::string CheckBookAsReader(const std::string& book_path, const BookExpectation& expected,
                              const std::function<bool()>& stop = nullptr);

// A sitemap's Local values in file order, as written (code page 936 bytes).
std::vector<std::string> SitemapLocals(const std::string& sitemap);

// The name a reader looks a Local value up by: decoded from code page 936,
// cut at '#', percent-decoded, without a leading '/'.
std::string ReaderPathOfLocal(const std::string& local);

}  // namespace inkbinder
