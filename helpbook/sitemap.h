#pragma once
// Reads the entries of a contents or index sitemap (.hhc / .hhk): the
// <OBJECT type="text/sitemap"> blocks with their Name and Local parameters.

#include <string>
#include <string_view>
#include <vector>

namespace helpbook {

// One sitemap entry. Texts are the file's own bytes (code page 936 for our
// sitemaps) with the markup's entities decoded, as readers parse them: a
// Local written "R&amp;D.txt" links to R&D.txt. `local` is still a URL (a
// reader percent-decodes it before the lookup).
struct SitemapEntry {
  std::string name;
  std::string local;  // empty for a heading without a page
  int depth = 0;      // 0 for the outermost list
};

// Attribute text with its character references decoded (&amp; &lt; &gt;
// &quot; &apos; and numeric ones, written in code page 936); an unknown or
// unended reference stays as written.
std::string DecodeEntities(std::string_view text);

// The entries in file order. False, with a message, when the text is no
// sitemap (no entry list at all) or an entry is left open.
bool ParseSitemap(std::string_view text, std::vector<SitemapEntry>* entries, std::string* error);

}  // namespace helpbook
