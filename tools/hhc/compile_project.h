#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "tools/hhc/book_check.h"

namespace inkbinder::hhc {

struct CompileSettings {
  std::string chmcmd = "chmcmd";  // looked up in PATH when it has no '/'
  std::string program_folder;     // where a private locale may lie beside us
  std::FILE* out = stdout;        // chmcmd's messages and ours
  // Reads the finished book as a reader would; the first problem, or "".
  std::function<std::string(const std::string& book, const BookExpectation& expected)> check_book =
      CheckBookAsReader;
};

// Compiles the help project at `project_path` (UTF-8) into the book it names,
// beside the project, as hhc.exe would: chmcmd does the work in a staging
// folder that is removed afterwards. The book is moved beside the project
// only once a reader's check finds it sound. True when the book was written.
bool CompileProject(const std::string& project_path, const CompileSettings& settings);

}  // namespace inkbinder::hhc
