#pragma once

#include <cstdio>
#include <string>

namespace inkbinder {

// fopen for a UTF-8 path on every platform.
std::FILE* OpenFile(const std::string& utf8_path, const char* mode);

}  // namespace inkbinder
