#include "helpbook/help_project.h"

#include <cstdlib>

#include "platform/text.h"

namespace helpbook {

namespace {

using inkbinder::TrimBlanks;

// Keys and section names are ASCII, compared without case; values (code
// page 936 bytes) are never folded.
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

enum class Section { kNone, kOptions, kWindows, kFiles, kInfoTypes, kOther };

Section SectionNamed(std::string_view name) {
  return SameKey(name, "OPTIONS")     ? Section::kOptions
         : SameKey(name, "WINDOWS")   ? Section::kWindows
         : SameKey(name, "FILES")     ? Section::kFiles
         : SameKey(name, "INFOTYPES") ? Section::kInfoTypes
                                      : Section::kOther;
}

// The line at `*pos`, without its end (CR LF, CR or LF); `*pos` moves past it.
std::string_view NextLine(std::string_view text, std::size_t* pos) {
  const std::size_t end = text.find_first_of("\r\n", *pos);
  const std::string_view raw =
      text.substr(*pos, end == std::string_view::npos ? std::string_view::npos : end - *pos);
  if (end == std::string_view::npos) {
    *pos = text.size();
  } else {
    *pos = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return raw;
}

// One [OPTIONS] line, "key=value"; unknown keys are passed over. False with
// why when it cannot be used.
bool ReadOption(std::string_view line, HelpProject* project, const char** why) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    *why = "an option without '='";
    return false;
  }
  const std::string_view key = TrimBlanks(line.substr(0, eq));
  const std::string value(TrimBlanks(line.substr(eq + 1)));
  const struct {
    const char* key;
    std::string* field;
  } texts[] = {{"Compiled file", &project->compiled_file}, {"Contents file", &project->contents_file},
               {"Index file", &project->index_file},      {"Title", &project->title},
               {"Default topic", &project->default_topic}, {"Default Window", &project->default_window},
               {"Default Font", &project->default_font}};
  for (const auto& text : texts) {
    if (SameKey(key, text.key)) {
      *text.field = value;
      return true;
    }
  }
  if (SameKey(key, "Language") && !ParseLanguage(value, &project->language)) {
    *why = "a language that is no number";
    return false;
  }
  return true;
}

}  // namespace

bool ParseHelpProject(std::string_view text, HelpProject* project, std::string* error) {
  *project = HelpProject{};
  Section section = Section::kNone;
  std::string section_name;
  std::size_t pos = 0;
  int line_number = 0;
  while (pos < text.size()) {
    const std::string_view raw = NextLine(text, &pos);
    ++line_number;
    const std::string_view line = TrimBlanks(raw);
    const auto unusable = [&](const std::string& why) {
      *error = "project line " + std::to_string(line_number) + " (" + std::string(line) + "): " + why;
      return false;
    };
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      const std::string_view name = TrimBlanks(line.substr(1, line.size() - 2));
      section_name = std::string(name);
      section = SectionNamed(name);
      continue;
    }
    const char* why = nullptr;
    switch (section) {
      case Section::kNone:
        return unusable("text outside any section");
      case Section::kInfoTypes:
      case Section::kOther:
        return unusable("the compiler does not support [" + section_name + "]");
      case Section::kFiles:
        // As written: a page's name may start or end with a space.
        project->files.emplace_back(raw);
        break;
      case Section::kWindows:
        if (line.find('=') == std::string_view::npos) return unusable("a window without '='");
        project->window_lines.emplace_back(line);
        break;
      case Section::kOptions:
        if (!ReadOption(line, project, &why)) return unusable(why);
        break;
    }
  }
  return true;
}

}  // namespace helpbook
