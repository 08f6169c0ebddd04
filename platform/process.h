#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace inkbinder {

// A child process started hidden and not waited for. Its standard output goes
// to our standard error: our own standard output carries only our results.
class Process {
 public:
  // Starts `program` with `args` (not including the program itself). On
  // failure returns null and puts the reason into *error.
  static std::unique_ptr<Process> Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        std::string* error);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // True once the process has ended; never blocks.
  bool HasEnded();
  // Blocks until the process has ended; returns its exit code.
  int Wait();
  // The exit code, once HasEnded() or Wait() has seen the end. A POSIX
  // process killed by a signal gives 128 + the signal number.
  int ExitCode() const;
  // The process HANDLE on Windows (for MsgWaitForMultipleObjects), the pid on POSIX.
  std::intptr_t NativeHandle() const;

  struct Impl;

 private:
  explicit Process(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The Windows command line for `program` and `args`: each part that holds a
// space or tab is put in double quotes, the others stand as they are.
// This process's identifier, and whether a process with identifier `pid`
// still runs (a zombie not yet reaped counts as ended).
long CurrentProcessId();
bool ProcessIsRunning(long pid);

std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace inkbinder
