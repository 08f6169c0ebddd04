#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The console a command-line program runs in: its arguments, its text, and
// the user's wish to stop.
namespace inkbinder {

// The command line's arguments as UTF-8 (argv[0] included).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Whether `stream` is a terminal (a console on Windows), not a file or a pipe.
bool IsTerminal(std::FILE* stream);

// Writes UTF-8 text to a console stream in the encoding the console shows.
void PrintText(std::FILE* stream, const std::string& utf8);

// True when `stream` goes to a terminal (a console on Windows), not to a
// file or a pipe.
bool IsTerminal(std::FILE* stream);

// One line on a terminal that a long run keeps rewriting in place, such as
// "页面 / pages 2500/10000 25%". Written only when the whole percent changes,
// so a run of 100,000 pages writes it about a hundred times; nothing at all
// when `shown` is false, so a file or a pipe keeps clean text.
class ProgressLine {
 public:
  ProgressLine(std::FILE* stream, bool shown) : stream_(stream), shown_(shown) {}
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `done` pages of `total`; total 0 clears the line.
  void Show(std::uint64_t done, std::uint64_t total);
  // Blanks the line, so that the next message starts on a clean one.
  void Clear();

 private:
  std::FILE* stream_;
  bool shown_;
  bool on_screen_ = false;
  int percent_ = -1;
};

// The user's wish to stop a run: SIGINT, SIGTERM or SIGHUP on POSIX; Ctrl+C,
// Ctrl+Break or closing the console on Windows. A program that cleans up
// after itself calls CatchInterruptions() once at start, then looks at
// Interrupted() between steps and stops where it is safe. Nothing is caught
// in a program that never calls it (the windows stop the usual way).
void CatchInterruptions();
bool Interrupted();

// While it lives, an interruption also stops the child process
// `native_process` (a pid on POSIX, a process HANDLE on Windows), so a run
// waiting for it wakes up. One child at a time; an interruption that came
// before is acted on at once.
class StopOnInterruption {
 public:
  explicit StopOnInterruption(std::intptr_t native_process);
  ~StopOnInterruption();
  StopOnInterruption(const StopOnInterruption&) = delete;
  StopOnInterruption& operator=(const StopOnInterruption&) = delete;
};

}  // namespace inkbinder
