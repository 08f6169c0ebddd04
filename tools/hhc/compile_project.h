#pragma once

#include <cstdio>
#include <string>

namespace inkbinder::hhc {

struct CompileSettings {
  std::string chmcmd = "chmcmd";  // looked up in PATH when it has no '/'
  std::string program_folder;     // where a private locale may lie beside us
  std::FILE* out = stdout;        // chmcmd's messages and ours
};

// Compiles the help project at `project_path` (UTF-8) into the book it names,
// beside the project, as hhc.exe would: chmcmd does the work in a staging
// folder that is removed afterwards. True when the book was written.
bool CompileProject(const std::string& project_path, const CompileSettings& settings);

}  // namespace inkbinder::hhc
