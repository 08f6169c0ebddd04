#pragma once

#include <string>

namespace inkbinder {

class WindowPort;

struct ConvertOptions {
  std::string compiler;       // the help compiler program to run
  bool keep_sources = false;  // leave the three source files in the folder
};

enum class ConvertOutcome {
  kNoPages,         // nothing listed: nothing written
  kBusy,            // the folder is being converted by another run: nothing written
  kNoTitle,         // empty title: contents and index written, no project
  kBadTitle,        // the title cannot name the book: likewise
  kWriteFailed,     // a source file could not be written: no compile
  kNoCompiler,
  kCompilerNotStarted,
  kCompileFailed,
  kInterrupted,     // stopped by the user: no source file left
  kSucceeded,
};

// The convert button: writes the contents, index and project files into the
// window's source folder, compiles them into <title>.chm and reports on the
// window. The buttons are disabled while it runs, and the folder is held
// against a second conversion. When the compiler cannot be started,
// *detail (if given) gets the system's reason.
ConvertOutcome Convert(WindowPort& window, const ConvertOptions& options,
                       std::string* detail = nullptr);

// The message that refuses `title` for a book in `folder`, or null when it
// names the book well. The same texts serve the window and the command line.
const char* TitleRefusal(const std::string& folder, const std::string& title);

// The status line after an import that left out `count` names.
std::string LeftOutStatus(size_t count);

// The import button: empties the status line, asks for a folder and points
// the list at it (at "" after a cancel). When the list left names out, the
// status line counts them and its tip names them.
void ImportFolder(WindowPort& window);

}  // namespace inkbinder
