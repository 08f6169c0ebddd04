// inkbinder-hhc: compiles a help project with the built-in help compiler and answers
// like hhc.exe, so the tool drives it the same way on every platform.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands/compile.h"
#include "platform/console.h"
#include "tools/hhc/compile_project.h"

int main(int argc, char** argv) {
  // hhc.exe's exit code is backwards: 1 when the book was written, 0 otherwise
  // (kCompilerCannotWriteBook when the book itself could not be written).
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::puts("usage: inkbinder-hhc PROJECT.hhp\n"
              "Compiles the help project into the book it names, beside the project.");
    return 0;
  }
  // Stopped by the user: the compile stops between two pages and leaves no
  // book and nothing of its own behind.
  inkbinder::CatchInterruptions();
  inkbinder::hhc::CompileSettings settings;
  settings.options.stop = inkbinder::Interrupted;
  // A terminal sees how far the pages are; inkbinder-cli's compiler shares it.
  inkbinder::ProgressLine progress(stderr, inkbinder::IsTerminal(stderr));
  settings.progress = &progress;
  helpbook::CompileFailure failure = helpbook::CompileFailure::kOther;
  if (inkbinder::hhc::CompileProject(argv[1], settings, &failure)) return 1;
  // Our tool words this failure apart; hhc.exe never gives this code.
  return failure == helpbook::CompileFailure::kBookNotWritten ? inkbinder::kCompilerCannotWriteBook : 0;
}
