#pragma once

#include <string>

#include "platform/files.h"

namespace inkbinder {

class WindowPort;

enum class CompileOutcome { kSucceeded, kNoCompiler, kNotStarted, kFailed, kInterrupted };

// The compiler name that chooses the built-in help compiler, which runs
// inside this process instead of as a program.
inline constexpr char kBuiltinCompiler[] = "builtin";

// Runs `compiler` (a program, or kBuiltinCompiler) on the project in the
// window's source folder, waits for it through the window, deletes the three source files (unless `keep_sources`),
// and reports on the status line. Success means the compiler said so (exit
// code 1, as hhc.exe has it) and <folder>/<book_title>.chm exists, is not
// empty and was written by this run; only then is the folder opened. When
// the compiler is there but cannot be started, *start_error (if given) gets
// the system's reason. An interruption stops the compiler, removes the
// sources whatever `keep_sources` says, and any book the compiler did not
// vouch for.
CompileOutcome RunHelpCompiler(WindowPort& window, const std::string& compiler,
                               const std::string& book_title, bool keep_sources,
                               std::string* start_error = nullptr);

// The same with the built-in help compiler, inside this process; an
// interruption stops it between two pages.
CompileOutcome RunBuiltinCompiler(WindowPort& window, const std::string& book_title,
                                  bool keep_sources);

// The end of every compile: deletes the sources (unless `keep_sources`) and
// reports success only when the compiler said so and the book exists, is not
// empty and changed during this run (`before` and `after` its stamps); then
// the folder is opened.
CompileOutcome FinishCompile(WindowPort& window, const std::string& folder, bool compiler_succeeded,
                             const FileStamp& before, const FileStamp& after, bool keep_sources);

// Deletes chm_hhc.hhc, chm_hhk.hhk and chm_hhp.hhp from `folder`, each on its own.
void DeleteSourceFiles(const std::string& folder);

}  // namespace inkbinder
