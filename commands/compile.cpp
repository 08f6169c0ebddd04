#include "commands/compile.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "commands/messages.h"
#include "commands/run_port.h"
#include "helpbook/book_check.h"
#include "helpbook/book_writer.h"
#include "helpbook/compile_help_book.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/folder_listing.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "project/page_entry.h"

namespace inkbinder {

namespace {

constexpr int kCompilerSucceeded = 1;  // hhc.exe's exit code is backwards: 1 is success

// The book's stamp, taken off the window's thread: under Wine looking up a
// name that is not there reads the whole folder, which with 100,000 pages
// takes a tenth of a second.
FileStamp StampOffThread(ConvertRun& run) {
  FileStamp stamp;
  run.port.RunOffThread([&] { stamp = StampOf(run.book()); });
  return stamp;
}

// The end of every compile: deletes the sources (unless the job keeps them)
// and reports success only when the compiler said so and the book exists, is
// not empty and changed during this run (`before` and `after` its stamps);
// then the folder is opened.
ConvertResult FinishCompile(ConvertRun& run, bool compiler_succeeded, const FileStamp& before,
                            const FileStamp& after) {
  if (!run.job.options.keep_sources) {
    run.port.RunOffThread([&] { DeleteSourceFiles(run.folder()); });
  }
  if (compiler_succeeded && after.exists && after.size > 0 && after != before) {
    run.End(ConvertOutcome::kSucceeded, kSuccessStatus);
    run.result.book = run.book();
    run.port.OpenFolder(run.folder() + "/");
    return run.result;
  }
  return run.End(ConvertOutcome::kCompileFailed, kCompileFailedStatus);
}

// The book itself could not be written: the status names it, as it names a
// source file that could not be.
ConvertResult& EndBookNotWritten(ConvertRun& run) {
  if (!run.job.options.keep_sources) {
    run.port.RunOffThread([&] { DeleteSourceFiles(run.folder()); });
  }
  return run.End(ConvertOutcome::kWriteFailed, kWriteFailedStatus + run.job.title + ".chm");
}

ConvertResult& EndInterrupted(ConvertRun& run) {
  DeleteSourceFiles(run.folder());
  return run.End(ConvertOutcome::kInterrupted, kInterruptedStatus);
}

// The built-in compiler, inside this process and off the window's thread:
// the window keeps answering as it does while an outside compiler runs. An
// interruption stops it between two pages. The book is read back as the
// system's help viewer reads it before it replaces an older one.
ConvertResult RunBuiltinCompiler(ConvertRun& run) {
  const FileStamp before = StampOffThread(run);
  run.SetStatus(kWaitingStatus);
  helpbook::CompileOptions options;
  options.stop = Interrupted;
  options.check = run.job.options.check_book;
  if (!options.check) {
    options.check = [](const std::string& book, const helpbook::BookFacts& facts) {
      return helpbook::CheckBook(book, facts, Interrupted);
    };
  }
  options.progress = [&run](std::size_t done, std::size_t total) { run.port.ShowProgress(done, total); };
  std::string written;
  std::string error;
  helpbook::CompileFailure failure = helpbook::CompileFailure::kOther;
  bool compiled = false;
  run.port.RunOffThread([&] {
    compiled = helpbook::CompileHelpBook(run.folder() + "/" + kProjectFileName, options, &written,
                                         &error, &failure);
  });
  run.port.ShowProgress(0, 0);
  if (!compiled && Interrupted()) return EndInterrupted(run);
  // Where a compiler's messages go.
  if (!compiled) std::fprintf(stderr, "%s\n", PrintableText(error).c_str());
  if (!compiled && failure == helpbook::CompileFailure::kBookNotWritten) return EndBookNotWritten(run);
  return FinishCompile(run, compiled, before, StampOffThread(run));
}

ConvertResult RunProgramCompiler(ConvertRun& run) {
  const std::string& compiler = run.job.options.compiler;
  const auto finish_without_compiling = [&](ConvertOutcome outcome, const char* status) {
    if (!run.job.options.keep_sources) DeleteSourceFiles(run.folder());
    return run.End(outcome, status + BaseName(compiler));
  };
  if (!IsRegularFile(compiler)) {
    return finish_without_compiling(ConvertOutcome::kNoCompiler, kNoCompilerStatus);
  }

  const std::string book = run.book();
  const FileStamp before = StampOffThread(run);
  std::string error;
  std::unique_ptr<Process> process =
      run.port.StartProcess(compiler, {run.folder() + "/" + kProjectFileName}, &error);
  if (!process) {
    run.result.detail = error;
    return finish_without_compiling(ConvertOutcome::kCompilerNotStarted, kNotStartedStatus);
  }

  run.SetStatus(kWaitingStatus);
  int exit_code;
  {
    const StopOnInterruption stop(process->NativeHandle());
    exit_code = run.port.WaitForProcess(*process);
  }
  process.reset();

  const FileStamp after = StampOffThread(run);
  if (Interrupted()) {
    // A compiler stopped halfway may leave half a book.
    if (exit_code != kCompilerSucceeded && after.exists && after != before) DeleteFileAt(book);
    return EndInterrupted(run);
  }
  if (exit_code == kCompilerCannotWriteBook) return EndBookNotWritten(run);
  return FinishCompile(run, exit_code == kCompilerSucceeded, before, after);
}

}  // namespace

std::string FindHelpCompiler(const std::string& program_folder) {
  const std::vector<std::string> places = HelpCompilerPlaces(program_folder);
  for (const std::string& place : places) {
    if (IsRegularFile(place)) return place;
  }
  if (kBuiltinCompilerStandsIn || places.empty()) return kBuiltinCompiler;
  return places.front();
}

std::unique_ptr<Process> RunPort::StartProcess(const std::string& program,
                                               const std::vector<std::string>& args,
                                               std::string* error) {
  return Process::Start(program, args, error);
}

void ConvertRun::SetStatus(const std::string& text) {
  port.SetStatus(text);
  result.status = text;
}

ConvertResult& ConvertRun::End(ConvertOutcome outcome, const std::string& status) {
  SetStatus(status);
  result.outcome = outcome;
  return result;
}

void DeleteSourceFiles(const std::string& folder) {
  for (const char* name : {kContentsFileName, kIndexFileName, kProjectFileName}) {
    DeleteFileAt(folder + "/" + name);
  }
}

void RemoveLeftoversOfEarlierRuns(const std::string& folder) {
  // One listing: with 100,000 pages each costs a tenth of a second.
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) return;
  for (const FolderEntry& e : entries) {
    if (!e.regular_file) continue;
    bool leftover = false;
    for (const char* name : {kContentsFileName, kIndexFileName, kProjectFileName}) {
      leftover = leftover || IsTemporaryNameFor(e.name, name);
    }
    const long pid = helpbook::CompileTemporaryFileProcess(e.name);
    leftover = leftover || (pid > 0 && pid != CurrentProcessId() && !ProcessIsRunning(pid));
    if (leftover) DeleteFileAt(folder + "/" + e.name);
  }
}

ConvertResult CompileAndFinish(ConvertRun& run) {
  if (run.job.options.compiler == kBuiltinCompiler) return RunBuiltinCompiler(run);
  return RunProgramCompiler(run);
}

}  // namespace inkbinder
