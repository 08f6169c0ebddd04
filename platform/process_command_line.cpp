#include "platform/process.h"

namespace inkbinder {

namespace {

// One part as the C runtime's argument splitting reads it back: quoted when
// it holds a space, a tab or a quote, or is empty; inside the quotes a quote
// is escaped, and so are the backslashes before a quote or the closing one.
std::string Part(const std::string& s) {
  if (!s.empty() && s.find_first_of(" \t\"") == std::string::npos) return s;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : s) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

}  // namespace

std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string line = Part(program);
  for (const std::string& arg : args) line += " " + Part(arg);
  return line;
}

}  // namespace inkbinder
