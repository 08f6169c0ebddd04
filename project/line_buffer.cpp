#include "project/line_buffer.h"

#include <cstdio>

#include "project/file_open.h"
#include "project/text_encoding.h"

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
  const std::string bytes = Utf8ToCodePage(utf8_text, kSystemAnsi);
  std::FILE* f = OpenFile(path, "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  return written && closed;
}

}  // namespace inkbinder
