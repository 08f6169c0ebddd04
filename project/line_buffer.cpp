#include "project/line_buffer.h"

#include "platform/files.h"
#include "platform/text.h"

namespace inkbinder {

std::string LineBuffer::Text() const {
  size_t total = 0;
  for (const std::string& line : lines_) total += line.size() + 2;
  std::string text;
  text.reserve(total);
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

bool WriteGeneratedFile(const std::string& path, const std::string& utf8_text) {
  return ReplaceFileContents(path, Utf8ToCodePage(utf8_text, kSystemAnsi));
}

}  // namespace inkbinder
