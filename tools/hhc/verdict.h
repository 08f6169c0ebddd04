#pragma once

#include <cstdint>
#include <string>

namespace inkbinder::hhc {

// What one chmcmd run left behind, for judging.
struct CompileEvidence {
  bool started = false;
  int exit_code = 0;
  std::string output;
  bool book_exists = false;  // in the staging folder, so written by this run
  std::uint64_t book_size = 0;
};

struct Verdict {
  bool succeeded = false;
  std::string reason;  // why not, for the user; empty on success
};

// chmcmd's exit code alone says little: it is 0 when it found no project or
// no contents file, and 217 when it crashed halfway (leaving an empty book).
// A run succeeded when it exited with 0, reported no error and wrote a book
// that is not empty.
Verdict JudgeCompile(const CompileEvidence& evidence);

}  // namespace inkbinder::hhc
