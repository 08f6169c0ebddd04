#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace inkbinder {

// The part of `text` after the first `first`, cut before the next `first` and
// then before the first `second`. Empty optional when `first` does not occur
// or nothing stands between it and the next `first` or the end.
std::optional<std::string> TextBetween(std::string_view text, std::string_view first,
                                       std::string_view second);

// The most bytes a page's title takes in the generated files: a title is a
// name in a list, and a page of one endless line must not cost its length.
inline constexpr size_t kTitleByteLimit = 4096;

// The most of a title that reading keeps, in bytes of UTF-8: enough to cut the
// written form from, whatever it grows to (code page bytes become UTF-8, a
// character the code page lacks becomes a reference).
inline constexpr size_t kTitleReadByteLimit = 4 * kTitleByteLimit;

// The longest start of `utf8` that has at most `limit` bytes and ends on a
// character boundary.
std::string CutAtCharacter(std::string utf8, size_t limit);

// The title of a page file: the text after the first "<title>" (any letter
// case) on the first line that holds one, up to "</title>", lower-cased, as
// UTF-8. "" when the page has no title tag. Empty optional when the page
// cannot be read or the tag ends its line.
//
// A line ends at CR or CR LF; a lone LF stays in the line. The page's text
// encoding: a UTF-8 or UTF-16 byte order mark says it; without one, a title
// line that is valid UTF-8 and holds a character of three or more bytes is
// UTF-8 (two-byte UTF-8 is too easily code page 936 text); otherwise the
// system ANSI code page. Memory stays bounded: only the title is kept, and
// of that at most kTitleReadByteLimit bytes of UTF-8. Only a regular file
// is read. `stop`, when given, is asked between pieces: true ends the scan of
// a long page as a failure.
std::optional<std::string> ReadPageTitle(const std::string& path,
                                         const std::function<bool()>& stop = nullptr);

}  // namespace inkbinder
