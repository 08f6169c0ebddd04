#include <stdio.h>

#include "project/file_open.h"
#include "project/wide_text_win32.h"

namespace inkbinder {

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  return _wfopen(Utf8ToWide(utf8_path).c_str(), Utf8ToWide(mode).c_str());
}

}  // namespace inkbinder
