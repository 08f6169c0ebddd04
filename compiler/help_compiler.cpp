#include "compiler/help_compiler.h"

#include <cstdio>

#include "app/messages.h"
#include "app/window_port.h"
#include "compiler/file_ops.h"
#include "compiler/process.h"
#include "helpbook/compile_help_book.h"
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

CompileOutcome RunHelpCompiler(WindowPort& window, const std::string& compiler,
                               const std::string& book_title, bool keep_sources) {
  const std::string folder = window.SourceFolder();
  const auto finish_without_compiling = [&] {
    if (!keep_sources) DeleteSourceFiles(folder);
    window.SetStatus(kNoCompilerStatus + BaseName(compiler));
    return CompileOutcome::kNoCompiler;
  };
  const bool builtin = compiler == kBuiltinCompiler;
  if (!builtin && !IsRegularFile(compiler)) return finish_without_compiling();

  const std::string book = folder + "/" + book_title + ".chm";
  const FileStamp before = StampOf(book);
  int exit_code = 0;
  if (builtin) {
    window.SetStatus(kWaitingStatus);
    std::string written;
    std::string error;
    if (helpbook::CompileHelpBook(folder + "/" + kProjectFileName, {}, &written, &error)) {
      exit_code = kCompilerSucceeded;
    } else {
      std::fprintf(stderr, "%s\n", error.c_str());  // where a compiler's messages go
    }
  } else {
    std::string error;
    std::unique_ptr<Process> process =
        Process::Start(compiler, {folder + "/" + kProjectFileName}, &error);
    if (!process) return finish_without_compiling();

    window.SetStatus(kWaitingStatus);
    exit_code = window.WaitForProcess(*process);
  }

  // The sources and the book lie in the folder the project was written to,
  // whatever the window shows by now.
  if (!keep_sources) DeleteSourceFiles(folder);
  const FileStamp after = StampOf(book);
  if (exit_code == kCompilerSucceeded && after.exists && after.size > 0 && after != before) {
    window.SetStatus(kSuccessStatus);
    window.OpenFolder(folder + "/");
    return CompileOutcome::kSucceeded;
  }
  window.SetStatus(kCompileFailedStatus);
  return CompileOutcome::kFailed;
}

}  // namespace inkbinder
