#pragma once

#include <string>

namespace inkbinder {

// The folder that holds the running executable (UTF-8, no trailing separator).
std::string ProgramFolder();

// The help compiler this platform uses: `hhc.exe` beside the program on
// Windows (then the help workshop's own install folder), our `hhc` stand-in
// beside the program elsewhere. When none is found, the first candidate, so
// that the caller can name what is missing.
std::string FindHelpCompiler(const std::string& program_folder);

}  // namespace inkbinder
