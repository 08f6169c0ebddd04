#pragma once
// The built-in help compiler: reads a help project (the project file, its
// contents and index files, its pages) and writes the compiled book it names.

#include <string>

#include "helpbook/lzx/lzx_compressor.h"

namespace helpbook {

struct CompileOptions {
  LzxSettings lzx;
};

// Compiles the project at `project_path` (UTF-8) into the book its
// "Compiled file=" names, beside the project unless that is a full path.
// True with the book's path in `book_path`. False with a message naming what
// was wrong (a project line, a missing or unreadable file, a failed write);
// then no book is written and an earlier book of that name stays as it was.
bool CompileHelpBook(const std::string& project_path, const CompileOptions& options,
                     std::string* book_path, std::string* error);

}  // namespace helpbook
