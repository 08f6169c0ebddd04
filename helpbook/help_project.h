#pragma once
// The help project file (.hhp) as the built-in compiler reads it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace helpbook {

// Texts are the project's own bytes (code page 936 for our projects).
struct HelpProject {
  std::string compiled_file;  // Compiled file=
  std::string contents_file;  // Contents file=
  std::string index_file;     // Index file=
  std::string title;          // Title=
  std::string default_topic;  // Default topic=
  std::string default_window; // Default Window=
  std::string default_font;   // Default Font=
  std::uint32_t language = 0x804;
  std::vector<std::string> window_lines;  // [WINDOWS], each "name=..."
  std::vector<std::string> files;         // [FILES], in order, each line as written
};

// Parses the text of a project file. Lines may end in CR LF, LF or CR; keys
// and section names are matched without regard to letter case; empty lines
// and lines starting with ';' are skipped. Options that change nothing in a
// book (Compatibility=, Display compile progress=, ...) are accepted and
// ignored. False with a message naming the line when a line cannot be used:
// text outside any section, an option or window without '=', a Language=
// that is no number, or a line in a section the compiler does not support.
bool ParseHelpProject(std::string_view text, HelpProject* project, std::string* error);

}  // namespace helpbook
