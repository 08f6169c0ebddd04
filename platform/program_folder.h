#pragma once

#include <string>
#include <vector>

namespace inkbinder {

// The folder that holds the running executable (UTF-8, no trailing separator).
std::string ProgramFolder();

// Where this system keeps an outside help compiler, best first: `hhc.exe`
// beside the program on Windows, then the help workshop's own install folder;
// our `inkbinder-hhc` beside the program elsewhere.
std::vector<std::string> HelpCompilerPlaces(const std::string& program_folder);

// True where the built-in compiler stands in when none of those places holds
// a compiler (Windows). Elsewhere `inkbinder-hhc` is the built-in compiler already.
extern const bool kBuiltinCompilerStandsIn;

}  // namespace inkbinder
