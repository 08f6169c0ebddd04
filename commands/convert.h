#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "project/page_list.h"

namespace helpbook {
struct BookFacts;
}  // namespace helpbook

namespace inkbinder {

class RunPort;
class WindowPort;

struct ConvertOptions {
  std::string compiler;       // the help compiler program to run, or kBuiltinCompiler
  bool keep_sources = false;  // leave the three source files in the folder
  // How the built-in compiler reads its book back before the book takes its
  // place (the first problem, or ""): helpbook::CheckBook unless a test
  // gives another.
  std::function<std::string(const std::string& book, const helpbook::BookFacts& facts)> check_book;
};

// One conversion, as it was at the click: what is typed or imported while it
// runs belongs to the next one.
struct ConvertJob {
  std::shared_ptr<const PageList> pages;  // the folder and its pages
  std::string title;                      // exactly as typed
  ConvertOptions options;
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

struct ConvertResult {
  ConvertOutcome outcome = ConvertOutcome::kNoPages;
  std::string status;  // the status line's last text; "" when the run set none
  std::string book;    // <folder>/<title>.chm, once made
  std::string detail;  // the system's reason when the compiler could not start
};

// The convert button: writes the contents, index and project files into the
// job's folder, compiles them into <title>.chm and reports on `port` as it
// goes. The buttons are disabled while it runs, and the folder is held
// against a second conversion.
ConvertResult Convert(const ConvertJob& job, RunPort& port);

// The message that refuses `title` for a book in `folder`, or null when it
// names the book well. The same texts serve the window and the command line.
const char* TitleRefusal(const std::string& folder, const std::string& title);

// True for a folder the list can show. The blank text a window starts with
// and the empty answer of a cancelled picker name none: Windows would read
// them as the current folder or the drive's root.
bool NamesFolder(const std::string& path);

// Reads a folder into a page list; null when `folder` names no folder.
using PageLister = std::function<std::shared_ptr<const PageList>(const std::string& folder)>;
std::shared_ptr<const PageList> ReadPageList(const std::string& folder);

// The status line after an import that left out `count` names.
std::string LeftOutStatus(size_t count);

// The import button: empties the status line, asks for a folder, reads it
// off the window's thread and has the window show it. Returns the new page
// list, or null when the answer names no folder (the list stays as it is).
// When the list left names out, the status line counts them and its tip
// names them.
std::shared_ptr<const PageList> ImportFolder(WindowPort& window,
                                             const PageLister& lister = ReadPageList);

}  // namespace inkbinder
