#include "tools/hhc/help_project.h"

namespace inkbinder::hhc {

namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// ASCII only: the keys are ASCII, and the values (code page 936 bytes) are
// never folded.
bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

HelpProject ParseHelpProject(std::string_view text) {
  HelpProject project;
  project.contents_file = "chm_hhc.hhc";
  project.index_file = "chm_hhk.hhk";
  enum class Section { kNone, kOptions, kFiles, kOther } section = Section::kNone;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find_first_of("\r\n", pos);
    const std::string_view line =
        Trim(text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
    if (end == std::string_view::npos) {
      pos = text.size();
    } else {
      pos = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      const std::string_view name = line.substr(1, line.size() - 2);
      section = SameKey(name, "OPTIONS") ? Section::kOptions
                : SameKey(name, "FILES") ? Section::kFiles
                                         : Section::kOther;
      continue;
    }
    if (section == Section::kFiles) {
      if (line.front() != ';') project.files.emplace_back(line);
    } else if (section == Section::kOptions) {
      const size_t eq = line.find('=');
      if (eq == std::string_view::npos) continue;
      const std::string_view key = Trim(line.substr(0, eq));
      const std::string value(Trim(line.substr(eq + 1)));
      if (SameKey(key, "Compiled file")) {
        project.compiled_file = value;
      } else if (SameKey(key, "Contents file")) {
        project.contents_file = value;
      } else if (SameKey(key, "Index file")) {
        project.index_file = value;
      }
    }
  }
  return project;
}

}  // namespace inkbinder::hhc
