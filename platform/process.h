#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace inkbinder {

// How a child is started, beyond its program and arguments. The defaults are
// what the compile wants: our folder, our environment, output to our stderr.
struct ProcessOptions {
  // The child's current folder (UTF-8); empty: ours.
  std::string working_folder;
  // Variables set for the child (name, UTF-8 value), over the ones it inherits.
  std::vector<std::pair<std::string, std::string>> environment;
  // Keep the child's standard output (error) for Output() (Errors()) instead
  // of passing it to our standard error.
  bool capture_output = false;
  bool capture_errors = false;
  // POSIX: the child leads a process group of its own, as a shell starts a
  // command, so that Stop(..., true) reaches it and its children.
  bool own_process_group = false;
  // Windows: the child's first window shows; otherwise it starts hidden.
  bool show_window = false;
};

// What Stop() sends. Windows has no signals: every kind ends the process.
enum class StopSignal { kKill, kTerminate, kInterrupt, kHangUp };

// The exit code of a process that StopSignal::kKill ended: 128 + SIGKILL on
// POSIX, and the same number given to TerminateProcess on Windows.
constexpr int kKilledExitCode = 137;

// A child process started hidden and not waited for. Its standard output goes
// to our standard error unless captured: our own standard output carries only
// our results. On Linux it ends when we do.
class Process {
 public:
  // Starts `program` with `args` (not including the program itself). On
  // failure returns null and puts the reason into *error.
  static std::unique_ptr<Process> Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        std::string* error);
  static std::unique_ptr<Process> Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        const ProcessOptions& options, std::string* error);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // True once the process has ended; never blocks.
  bool HasEnded();
  // Blocks until the process has ended; returns its exit code.
  int Wait();
  // Blocks until the process has ended or `milliseconds` have passed; true
  // when it has ended.
  bool WaitFor(int milliseconds);
  // Sends `how` to the process, or with `whole_group` to its process group
  // (POSIX, with own_process_group). Nothing once it has been waited for.
  void Stop(StopSignal how = StopSignal::kKill, bool whole_group = false);
  // The exit code, once HasEnded() or Wait() has seen the end. A POSIX
  // process killed by a signal gives 128 + the signal number.
  int ExitCode() const;
  // What the process wrote to its captured standard output (error), whole
  // once it has ended; empty when not captured.
  const std::string& Output() const;
  const std::string& Errors() const;
  // The process HANDLE on Windows (for MsgWaitForMultipleObjects), the pid on POSIX.
  std::intptr_t NativeHandle() const;
  // The process identifier on every system.
  long Id() const;

  struct Impl;

 private:
  explicit Process(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// This process's identifier, and whether a process with identifier `pid`
// still runs (a zombie not yet reaped counts as ended).
long CurrentProcessId();
bool ProcessIsRunning(long pid);

// The Windows command line for `program` and `args`: each part that holds a
// space or tab, and each empty one, is put in double quotes; the others
// stand as they are.
std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace inkbinder
