#pragma once

#include <functional>
#include <string>
#include <vector>


namespace inkbinder {

// The three source files, written into the source folder and deleted after the compile.
inline constexpr char kContentsFileName[] = "chm_hhc.hhc";
inline constexpr char kIndexFileName[] = "chm_hhk.hhk";
inline constexpr char kProjectFileName[] = "chm_hhp.hhp";

// `"`, `<` and `>` written as entities, so a title cannot end its Name value
// early. `&` stays where it begins a reference (titles taken from HTML carry
// their entities) and is written `&amp;` elsewhere.
std::string EscapeSitemapName(const std::string& name);

// A file name as a Name value: plain text, so every `&` is `&amp;` (a page
// named R&amp;D.txt is listed as R&amp;D.txt, not R&D.txt).
std::string EscapeSitemapText(const std::string& text);

// A Local value is a URL in HTML attribute text, which readers decode before
// they look the page up: `&` is written `&amp;`, `%` `%25` and `#` `%23`, so
// none starts a reference, an escape or a fragment. Nothing else changes.
std::string EscapeSitemapLocal(const std::string& file);

// The name of the entry for page `file`: its title when it has one, written
// as TitleForSitemap does and escaped as EscapeSitemapName does, the file
// name otherwise (also when the title cannot be read), escaped as text.
// `stop` as ReadPageTitle takes it.
std::string PageName(const std::string& folder, const std::string& file,
                     const std::function<bool()>& stop = nullptr);

// The entry names of all pages, in order. Each page is read once per
// conversion, so the contents and the index name it alike. Once `stop` says
// so, the pages not read yet are named by their files and not read.
// `readers` threads share the pages (0: one per core, up to four).
std::vector<std::string> ReadPageNames(const std::string& folder,
                                       const std::vector<std::string>& pages,
                                       const std::function<bool()>& stop = nullptr, unsigned readers = 0);

// The four lines of every page's entry, in page order, each ended by CR LF:
// the contents and the index list the same entries. UTF-8.
std::string PageEntriesText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names);

// Those lines in the system ANSI code page, as both files hold them: made and
// converted once for the two.
struct EncodedPageEntries {
  std::string bytes;
};
EncodedPageEntries EncodePageEntries(const std::vector<std::string>& pages,
                                     const std::vector<std::string>& names);

}  // namespace inkbinder
