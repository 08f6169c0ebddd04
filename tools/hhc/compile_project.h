#pragma once

#include <cstdio>
#include <string>

#include "helpbook/compile_help_book.h"
#include "platform/console.h"

namespace inkbinder::hhc {

struct CompileSettings {
  std::FILE* out = stdout;  // our messages
  helpbook::CompileOptions options;
  // Shows how far the pages are, when given; blanked before our message.
  ProgressLine* progress = nullptr;
};

// Reads a finished book as a reader would (through chmlib): the first
// problem, naming the page, or "" when it is sound.
std::string CheckBookFacts(const std::string& book, const helpbook::BookFacts& facts);

// Compiles the help project at `project_path` (UTF-8) into the book it names,
// beside the project, as hhc.exe would, with the built-in help compiler. The
// book is checked with `options.check`, CheckBookFacts when none is given,
// before it is kept. True when the book was written; otherwise a message on
// `out` says why.
bool CompileProject(const std::string& project_path, const CompileSettings& settings);

}  // namespace inkbinder::hhc
