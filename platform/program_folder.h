#pragma once

#include <string>

namespace inkbinder {

// The folder that holds the running executable (UTF-8, no trailing separator).
std::string ProgramFolder();

// The help compiler this platform uses: `hhc.exe` beside the program on
// Windows, then the help workshop's own install folder, then the built-in
// compiler (kBuiltinCompiler); our `hhc` beside the program elsewhere.
std::string FindHelpCompiler(const std::string& program_folder);

}  // namespace inkbinder
