#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace inkbinder {

// fopen for a UTF-8 path on every platform.
std::FILE* OpenFile(const std::string& utf8_path, const char* mode);

// Puts `bytes` at `utf8_path` whole or not at all: they go into a new file
// in the same folder, which then takes the path's place in one step. A link
// at the path is replaced, never followed. Anything else that is not a
// regular file (a folder, a FIFO, a device) is never opened and stays as it
// was: false. False too when the bytes cannot be written; no temporary file
// is left behind.
bool ReplaceFileContents(const std::string& utf8_path, std::string_view bytes);

}  // namespace inkbinder
