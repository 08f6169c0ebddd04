#include "helpbook/help_project.h"

#include <cstdlib>

#include "platform/text.h"

namespace helpbook {

namespace {

using inkbinder::TrimBlanks;

// ASCII only: keys are ASCII, values (code page 936 bytes) are never folded.
bool SameKey(std::string_view a, std::string_view b) { return inkbinder::SameIgnoringAsciiCase(a, b); }

// "0x804 Chinese (PRC)" or "2052": the number before the first blank.
bool ParseLanguage(std::string_view value, std::uint32_t* language) {
  const std::string number(value.substr(0, value.find_first_of(" \t")));
  if (number.empty()) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(number.c_str(), &end, 0);
  if (end == nullptr || *end != '\0' || v == 0 || v > 0xFFFF) return false;
  *language = static_cast<std::uint32_t>(v);
  return true;
}

}  // namespace

bool ParseHelpProject(std::string_view text, HelpProject* project, std::string* error) {
  *project = HelpProject{};
  enum class Section { kNone, kOptions, kWindows, kFiles, kInfoTypes, kOther } section = Section::kNone;
  std::string section_name;
  std::size_t pos = 0;
  int line_number = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    const std::string_view raw =
        text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    if (end == std::string_view::npos) {
      pos = text.size();
    } else {
      pos = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    ++line_number;
    const std::string_view line = TrimBlanks(raw);
    const auto unusable = [&](const char* why) {
      *error = "project line " + std::to_string(line_number) + " (" + std::string(line) + "): " + why;
      return false;
    };
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      const std::string_view name = TrimBlanks(line.substr(1, line.size() - 2));
      section_name = std::string(name);
      section = SameKey(name, "OPTIONS")     ? Section::kOptions
                : SameKey(name, "WINDOWS")   ? Section::kWindows
                : SameKey(name, "FILES")     ? Section::kFiles
                : SameKey(name, "INFOTYPES") ? Section::kInfoTypes
                                             : Section::kOther;
      continue;
    }
    switch (section) {
      case Section::kNone:
        return unusable("text outside any section");
      case Section::kInfoTypes:
      case Section::kOther:
        return unusable(("the compiler does not support [" + section_name + "]").c_str());
      case Section::kFiles:
        // As written: a page's name may start or end with a space.
        project->files.emplace_back(raw);
        break;
      case Section::kWindows:
        if (line.find('=') == std::string_view::npos) return unusable("a window without '='");
        project->window_lines.emplace_back(line);
        break;
      case Section::kOptions: {
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return unusable("an option without '='");
        const std::string_view key = TrimBlanks(line.substr(0, eq));
        const std::string value(TrimBlanks(line.substr(eq + 1)));
        if (SameKey(key, "Compiled file")) {
          project->compiled_file = value;
        } else if (SameKey(key, "Contents file")) {
          project->contents_file = value;
        } else if (SameKey(key, "Index file")) {
          project->index_file = value;
        } else if (SameKey(key, "Title")) {
          project->title = value;
        } else if (SameKey(key, "Default topic")) {
          project->default_topic = value;
        } else if (SameKey(key, "Default Window")) {
          project->default_window = value;
        } else if (SameKey(key, "Default Font")) {
          project->default_font = value;
        } else if (SameKey(key, "Language")) {
          if (!ParseLanguage(value, &project->language)) return unusable("a language that is no number");
        }
        break;
      }
    }
  }
  return true;
}

}  // namespace helpbook
