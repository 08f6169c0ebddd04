#pragma once
// The internal files a compiled help book carries besides its pages: what
// readers consult to find the book's title, language, start page, window,
// contents and index, and the title of each page.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "helpbook/sitemap.h"

namespace helpbook {

// One window of the project's [WINDOWS] section. Texts are the project's
// bytes (code page 936). A numeric field the line leaves empty is "not set":
// its bit in `set_fields` stays clear and readers use their own default.
struct WindowDefinition {
  std::string name;  // before the '='
  std::string caption;
  std::string contents_file;
  std::string index_file;
  std::string default_file;
  std::string home_file;
  std::string jump1_url;
  std::string jump1_text;
  std::string jump2_url;
  std::string jump2_text;
  std::uint32_t navigation_style = 0;
  std::int32_t navigation_width = 0;
  std::uint32_t buttons = 0;
  std::array<std::int32_t, 4> position{};  // left, top, right, bottom
  std::uint32_t window_style = 0;
  std::uint32_t extended_style = 0;
  std::int32_t show_state = 0;
  std::int32_t navigation_closed = 0;
  std::int32_t default_pane = 0;
  std::int32_t pane_position = 0;
  std::int32_t notify_id = 0;
  std::uint32_t set_fields = 0;  // which fields the line gave (the window struct's validity bits)
};

// Reads one [WINDOWS] line, `name="caption","file.hhc",...,[l,t,r,b],...`.
// Quotes around texts are optional; a quoted text may hold commas.
bool ParseWindowLine(std::string_view line, WindowDefinition* window, std::string* error);

// What the system files are made from: the project's options, its windows
// and its two sitemaps, already read.
struct BookInfo {
  std::string title;           // Title=; when empty the default window's caption names the book
  std::string compiled_file;   // Compiled file= as written, e.g. "书.chm"
  std::string contents_file;   // Contents file=, e.g. "chm_hhc.hhc"
  std::string index_file;      // Index file=
  std::string default_topic;   // Default topic=; when empty the contents' first page
  std::string default_window;  // Default Window=
  std::string default_font;    // Default Font=, "face,size,charset"; may be empty
  std::uint32_t language = 0x804;
  std::vector<WindowDefinition> windows;
  std::vector<SitemapEntry> contents;   // the contents sitemap's entries
  std::vector<SitemapEntry> index;      // the index sitemap's entries
  std::vector<std::string> files;       // [FILES] lines: pages outside the contents still get a topic
  std::uint64_t timestamp = 0;          // the compile's time as a Windows FILETIME (100 ns since 1601)
};

// #SYSTEM: a version, then records, each a 16-bit code, a 16-bit length and
// its data. The codes readers look up:
inline constexpr std::uint32_t kSystemVersion = 3;
enum SystemRecord : std::uint16_t {
  kRecordContentsFile = 0,
  kRecordIndexFile = 1,
  kRecordDefaultTopic = 2,
  kRecordTitle = 3,
  kRecordLocale = 4,  // language, options, the compile's FILETIME
  kRecordDefaultWindow = 5,
  kRecordCompiledFile = 6,  // the compiled file's stem
  kRecordCompiler = 9,      // the compiler's name and version
  kRecordTime = 10,         // the compile's time in seconds since 1970
  kRecordIndexHeader = 13,  // #IDXHDR's bytes again
  kRecordDefaultFont = 16,
};

// A FILETIME as seconds since 1970 (0 before), as the file header and the
// system files give the compile's time.
std::uint32_t UnixSeconds(std::uint64_t filetime);

// An internal file: its name in the book's directory ("/#SYSTEM"), its
// bytes, and whether it goes into the compressed section.
struct InternalFile {
  std::string name;
  std::string bytes;
  bool compressed = true;
};

// The page readers open first: the default topic, or the contents' first page.
std::string StartPage(const BookInfo& book);

// #ITBITS, #SYSTEM, #WINDOWS, #TOPICS, #URLTBL, #URLSTR, #IDXHDR and
// #STRINGS, named as the book's directory lists them. False, with a
// message naming the cause, when the project cannot be described (the
// default window names no window of the project).
bool MakeSystemFiles(const BookInfo& book, std::vector<InternalFile>* files, std::string* error);

// The names MakeSystemFiles gives its files, in the order it makes them.
inline constexpr const char* kSystemFileNames[] = {"/#ITBITS", "/#SYSTEM", "/#WINDOWS", "/#TOPICS",
                                                   "/#URLTBL", "/#URLSTR", "/#IDXHDR", "/#STRINGS"};

}  // namespace helpbook
