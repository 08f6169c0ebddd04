#pragma once

#include <string>

namespace inkbinder {

class WindowPort;

struct ConvertOptions {
  std::string compiler;       // the help compiler program to run
  bool keep_sources = false;  // leave the three source files in the folder
};

enum class ConvertOutcome {
  kNoPages,        // nothing listed: nothing written
  kNoTitle,        // empty title: contents and index written, no project
  kBadTitle,       // the title cannot name a file: likewise
  kWriteFailed,    // a source file could not be written: no compile
  kNoCompiler,
  kCompileFailed,
  kSucceeded,
};

// The convert button: writes the contents, index and project files into the
// window's source folder, compiles them into <title>.chm and reports on the
// window. The buttons are disabled while it runs.
ConvertOutcome Convert(WindowPort& window, const ConvertOptions& options);

// The import button: empties the status line, asks for a folder and points
// the list at it (at "" after a cancel).
void ImportFolder(WindowPort& window);

}  // namespace inkbinder
