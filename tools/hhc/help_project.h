#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace inkbinder::hhc {

// What the stand-in needs from a help project. Every name is kept as the
// project's own bytes (code page 936): that is how chmcmd will look it up.
struct HelpProject {
  std::string compiled_file;  // "Compiled file=", or "" (chmcmd cannot do without it)
  std::string contents_file;  // "Contents file=", or chm_hhc.hhc
  std::string index_file;     // "Index file=", or chm_hhk.hhk
  std::vector<std::string> files;  // the [FILES] section, in order
};

// Parses the text of a project file. Lines may end in CR LF, LF or CR; keys
// are matched without regard to letter case and spaces around them; lines of
// [FILES] that are empty or start with ';' are skipped.
HelpProject ParseHelpProject(std::string_view text);

}  // namespace inkbinder::hhc
