#pragma once

#include <cstdio>
#include <functional>
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

// Compiles the help project at `project_path` (UTF-8) into the book it names,
// beside the project, as hhc.exe would, with the built-in help compiler. The
// book is checked with `options.check`, helpbook::CheckBook when none is given,
// before it is kept. True when the book was written; otherwise a message on
// `out` says why, and `failure`, when given, whether the book could not be
// written.
bool CompileProject(const std::string& project_path, const CompileSettings& settings,
                    helpbook::CompileFailure* failure = nullptr);

}  // namespace inkbinder::hhc
