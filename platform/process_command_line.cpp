#include "platform/process.h"

namespace inkbinder {

std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& args) {
  const auto part = [](const std::string& s) {
    const bool plain = !s.empty() && s.find_first_of(" \t") == std::string::npos;
    return plain ? s : "\"" + s + "\"";  // an empty argument still counts as one
  };
  std::string line = part(program);
  for (const std::string& arg : args) line += " " + part(arg);
  return line;
}

}  // namespace inkbinder
