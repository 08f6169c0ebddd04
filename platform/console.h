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
