#include <cstdio>

#include "commands/compile.h"
#include "commands/messages.h"
#include "commands/window_port.h"
#include "helpbook/compile_help_book.h"
#include "platform/console.h"
#include "platform/files.h"
#include "project/page_entry.h"

namespace inkbinder {

CompileOutcome RunBuiltinCompiler(WindowPort& window, const std::string& book_title,
                                  bool keep_sources) {
  const std::string folder = window.SourceFolder();
  const std::string book = folder + "/" + book_title + ".chm";
  const FileStamp before = StampOf(book);
  window.SetStatus(kWaitingStatus);
  helpbook::CompileOptions options;
  options.stop = Interrupted;
  std::string written;
  std::string error;
  // In process, so off the window's thread: the window keeps answering as it
  // does while an outside compiler runs.
  bool compiled = false;
  window.RunOffThread([&] {
    compiled = helpbook::CompileHelpBook(folder + "/" + kProjectFileName, options, &written, &error);
  });
  if (!compiled && Interrupted()) {
    DeleteSourceFiles(folder);
    window.SetStatus(kInterruptedStatus);
    return CompileOutcome::kInterrupted;
  }
  if (!compiled) std::fprintf(stderr, "%s\n", error.c_str());  // where a compiler's messages go
  return FinishCompile(window, folder, compiled, before, StampOf(book), keep_sources);
}

}  // namespace inkbinder
