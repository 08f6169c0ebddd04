#include "commands/compile.h"

#include "commands/messages.h"
#include "commands/window_port.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/process.h"
#include "project/page_entry.h"

namespace inkbinder {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr int kCompilerSucceeded = 1;  // hhc.exe's exit code is backwards: 1 is success

}  // namespace

void DeleteSourceFiles(const std::string& folder) {
  for (const char* name : {kContentsFileName, kIndexFileName, kProjectFileName}) {
    DeleteFileAt(folder + "/" + name);
  }
}

CompileOutcome FinishCompile(WindowPort& window, const std::string& folder, bool compiler_succeeded,
                             const FileStamp& before, const FileStamp& after, bool keep_sources) {
  if (!keep_sources) DeleteSourceFiles(folder);
  if (compiler_succeeded && after.exists && after.size > 0 && after != before) {
    window.SetStatus(kSuccessStatus);
    window.OpenFolder(folder + "/");
    return CompileOutcome::kSucceeded;
  }
  window.SetStatus(kCompileFailedStatus);
  return CompileOutcome::kFailed;
}

CompileOutcome RunHelpCompiler(WindowPort& window, const std::string& compiler,
                               const std::string& book_title, bool keep_sources,
                               std::string* start_error) {
  if (compiler == kBuiltinCompiler) return RunBuiltinCompiler(window, book_title, keep_sources);
  const std::string folder = window.SourceFolder();
  const auto finish_without_compiling = [&](const char* status) {
    if (!keep_sources) DeleteSourceFiles(folder);
    window.SetStatus(status + BaseName(compiler));
  };
  if (!IsRegularFile(compiler)) {
    finish_without_compiling(kNoCompilerStatus);
    return CompileOutcome::kNoCompiler;
  }

  const std::string book = folder + "/" + book_title + ".chm";
  const FileStamp before = StampOf(book);
  std::string error;
  std::unique_ptr<Process> process =
      Process::Start(compiler, {folder + "/" + kProjectFileName}, &error);
  if (!process) {
    if (start_error != nullptr) *start_error = error;
    finish_without_compiling(kNotStartedStatus);
    return CompileOutcome::kNotStarted;
  }

  window.SetStatus(kWaitingStatus);
  int exit_code;
  {
    const StopOnInterruption stop(process->NativeHandle());
    exit_code = window.WaitForProcess(*process);
  }
  process.reset();

  // The sources and the book lie in the folder the project was written to,
  // whatever the window shows by now.
  const FileStamp after = StampOf(book);
  if (Interrupted()) {
    DeleteSourceFiles(folder);
    // A compiler stopped halfway may leave half a book.
    if (exit_code != kCompilerSucceeded && after.exists && after != before) DeleteFileAt(book);
    window.SetStatus(kInterruptedStatus);
    return CompileOutcome::kInterrupted;
  }
  return FinishCompile(window, folder, exit_code == kCompilerSucceeded, before, after, keep_sources);
}

}  // namespace inkbinder
