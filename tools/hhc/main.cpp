// hhc: compiles a help project with the built-in help compiler and answers
// like hhc.exe, so the tool drives it the same way on every platform.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "helpbook/temporary_files.h"
#include "tools/hhc/compile_project.h"

namespace {

// An interrupted compile leaves neither a book nor its temporary files.
void OnSignal(int signal_number) {
  helpbook::RemoveTemporaryFiles();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

int main(int argc, char** argv) {
  // hhc.exe's exit code is backwards: 1 when the book was written, 0 otherwise.
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::puts("usage: hhc PROJECT.hhp\n"
              "Compiles the help project into the book it names, beside the project.");
    return 0;
  }
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal_number, OnSignal);
  inkbinder::hhc::CompileSettings settings;
  return inkbinder::hhc::CompileProject(argv[1], settings) ? 1 : 0;
}
