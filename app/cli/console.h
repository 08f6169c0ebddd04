#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace inkbinder {

// The command line's arguments as UTF-8 (argv[0] included).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Writes UTF-8 text to a console stream in the encoding the console shows.
void PrintText(std::FILE* stream, const std::string& utf8);

}  // namespace inkbinder
