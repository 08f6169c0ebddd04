#include "project/file_open.h"

namespace inkbinder {

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  return std::fopen(utf8_path.c_str(), mode);
}

}  // namespace inkbinder
