#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace inkbinder {

// The lines of one generated file, indexed from 0, each empty until set.
class LineBuffer {
 public:
  explicit LineBuffer(size_t line_count) : lines_(line_count) {}
  void Set(size_t index, std::string text) { lines_.at(index) = std::move(text); }
  size_t size() const { return lines_.size(); }
  // Every line followed by CR LF.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

// Writes `utf8_text` to `path` in the system ANSI code page, whole or not at
// all (see ReplaceFileContents). False when the file could not be written.
bool WriteGeneratedFile(const std::string& path, const std::string& utf8_text);

}  // namespace inkbinder
