#include "tools/hhc/verdict.h"

#include <string_view>

namespace inkbinder::hhc {

namespace {

// The first line that tells of a failure, or an empty view.
std::string_view FailureLine(std::string_view output) {
  size_t pos = 0;
  while (pos < output.size()) {
    size_t end = output.find('\n', pos);
    if (end == std::string_view::npos) end = output.size();
    std::string_view line = output.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.rfind("Error", 0) == 0 || line.find("Can't find project file") != std::string_view::npos ||
        line.rfind("An unhandled exception", 0) == 0) {
      return line;
    }
    pos = end + 1;
  }
  return {};
}

}  // namespace

Verdict JudgeCompile(const CompileEvidence& evidence) {
  Verdict v;
  if (!evidence.started) {
    v.reason = "chmcmd could not be run";
  } else if (const std::string_view line = FailureLine(evidence.output); !line.empty()) {
    v.reason = "chmcmd reported: " + std::string(line);
  } else if (evidence.exit_code != 0) {
    v.reason = "chmcmd ended with exit code " + std::to_string(evidence.exit_code);
  } else if (!evidence.book_exists) {
    v.reason = "chmcmd wrote no book";
  } else if (evidence.book_size == 0) {
    v.reason = "chmcmd wrote an empty book";
  } else {
    v.succeeded = true;
  }
  return v;
}

}  // namespace inkbinder::hhc
