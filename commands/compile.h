#pragma once

#include <string>

#include "commands/convert.h"
#include "platform/files.h"

namespace inkbinder {

// The compiler name that chooses the built-in help compiler, which runs
// inside this process instead of as a program.
inline constexpr char kBuiltinCompiler[] = "builtin";

// The exit code our hhc gives when the book itself cannot be written (a full
// disk, no permission): sysexits' "cannot create". hhc.exe knows only 1
// (written) and 0 (not), so only our own compiler ever says this.
inline constexpr int kCompilerCannotWriteBook = 73;

// The help compiler this system uses: the first outside compiler found where
// the system keeps one; when there is none, the built-in compiler on
// Windows, and elsewhere the first place's name (for the message that says
// it is missing).
std::string FindHelpCompiler(const std::string& program_folder);

// One conversion on its way: the job, the front end it reports to, and the
// result so far. Every stage sets the status through it, so the result
// carries the last text shown.
struct ConvertRun {
  const ConvertJob& job;
  RunPort& port;
  ConvertResult result;

  const std::string& folder() const { return job.pages->folder; }
  std::string book() const { return folder() + "/" + job.title + ".chm"; }
  void SetStatus(const std::string& text);
  // Ends the run with `outcome`, the status line set to `status`.
  ConvertResult& End(ConvertOutcome outcome, const std::string& status);
};

// The compile stage, once the three files are written: runs the job's
// compiler (a program, or kBuiltinCompiler) on the project, waits for it
// through the front end, deletes the three source files (unless the job
// keeps them) and reports. Success means the compiler said so (exit code 1,
// as hhc.exe has it) and the book exists, is not empty and was written by
// this run; only then is the folder opened. An interruption stops the
// compiler, removes the sources whatever the job says, and any book the
// compiler did not vouch for.
ConvertResult CompileAndFinish(ConvertRun& run);

// Deletes chm_hhc.hhc, chm_hhk.hhk and chm_hhp.hhp from `folder`, each on its own.
void DeleteSourceFiles(const std::string& folder);

// Removes what killed runs left in `folder`: the source files' temporary
// files, and the compiler's hidden files whose process has ended, whatever
// book they were for. Only while the folder is held.
void RemoveLeftoversOfEarlierRuns(const std::string& folder);

}  // namespace inkbinder
