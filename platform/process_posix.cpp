#include <errno.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/process.h"

extern char** environ;

namespace inkbinder {

namespace {

// Captured output waits in an unnamed temporary file rather than a pipe: the
// child never blocks on a full pipe, and nothing has to read while we wait.
int UnnamedFile() {
  const char* folder = std::getenv("TMPDIR");
  std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                     "/inkbinder-capture-XXXXXX";
  const int fd = mkostemp(path.data(), O_CLOEXEC);
  if (fd >= 0) unlink(path.c_str());
  return fd;
}

std::string ReadAllFrom(int fd) {
  std::string bytes;
  if (fd < 0 || lseek(fd, 0, SEEK_SET) != 0) return bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      bytes.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  return bytes;
}

// Our environment with `changes` over it, as "name=value" lines.
std::vector<std::string> ChildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> lines;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string line = *e;
    bool replaced = false;
    for (const auto& change : changes) {
      replaced = replaced || line.compare(0, change.first.size() + 1, change.first + "=") == 0;
    }
    if (!replaced) lines.push_back(line);
  }
  for (const auto& [name, value] : changes) lines.push_back(name + "=" + value);
  return lines;
}

int SignalNumber(StopSignal how) {
  switch (how) {
    case StopSignal::kTerminate: return SIGTERM;
    case StopSignal::kInterrupt: return SIGINT;
    case StopSignal::kHangUp: return SIGHUP;
    case StopSignal::kKill: break;
  }
  return SIGKILL;
}

// Runs `work` on a thread that lasts as long as the process, and waits for
// it. Children are forked there: PR_SET_PDEATHSIG fires when the thread that
// forked the child ends, not the process, and a child started from a worker
// thread would die with that thread.
void OnLastingThread(const std::function<void()>& work) {
  struct Lasting {
    std::mutex one_call;
    std::mutex mutex;
    std::condition_variable changed;
    const std::function<void()>* job = nullptr;
    bool done = false;
    Lasting() {
      // Signals are handled on the process's other threads.
      sigset_t all, before;
      sigfillset(&all);
      pthread_sigmask(SIG_SETMASK, &all, &before);
      std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
          changed.wait(lock, [this] { return job != nullptr && !done; });
          (*job)();
          done = true;
          changed.notify_all();
        }
      }).detach();
      pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
  };
  // Never destroyed: its thread waits on it until the process ends.
  static Lasting* const lasting = new Lasting;
  const std::lock_guard<std::mutex> one(lasting->one_call);
  std::unique_lock<std::mutex> lock(lasting->mutex);
  lasting->job = &work;
  lasting->done = false;
  lasting->changed.notify_all();
  lasting->changed.wait(lock, [&] { return lasting->done; });
  lasting->job = nullptr;
}

// What the child reports through the pipe when it cannot become the program.
struct StartFailure {
  int in_folder;  // 1: the working folder failed, 0: exec did
  int error;
};

}  // namespace

struct Process::Impl {
  pid_t pid = -1;
  bool ended = false;
  bool reaped = false;
  int exit_code = -1;
  int output_fd = -1;
  int errors_fd = -1;
  std::string output;
  std::string errors;

  ~Impl() {
    if (output_fd >= 0) close(output_fd);
    if (errors_fd >= 0) close(errors_fd);
  }

  void Record(int status) {
    reaped = true;
    RecordEnd(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }
  void RecordEnd(int code) {
    ended = true;
    exit_code = code;
    output = ReadAllFrom(output_fd);
    errors = ReadAllFrom(errors_fd);
  }
};

Process::Process(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Process::~Process() {
  // The compiler is left to finish; reap it if it already has.
  if (!impl_->ended) HasEnded();
}

std::unique_ptr<Process> Process::Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        std::string* error) {
  return Start(program, args, ProcessOptions{}, error);
}

namespace {

// The program's arguments and environment as exec takes them, made before
// fork: after it the child makes only system calls. Not movable: the
// pointers point into the texts.
struct ExecArguments {
  ExecArguments(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& environment)
      : argv_text{program}, env_text(ChildEnvironment(environment)) {
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
  }
  ExecArguments(const ExecArguments&) = delete;
  ExecArguments& operator=(const ExecArguments&) = delete;

  std::vector<std::string> argv_text;
  std::vector<std::string> env_text;
  std::vector<char*> argv;
  std::vector<char*> envp;
};

// The child's side of the fork, with only system calls: it becomes the
// program, or reports through `report` why it could not.
[[noreturn]] void BecomeProgram(const std::string& program, const ExecArguments& exec,
                                const char* folder, bool own_process_group, pid_t parent,
                                int output_fd, int errors_fd, int report) {
  // The program starts with no signal blocked, whatever this thread blocks.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (own_process_group) setpgid(0, 0);
#ifdef __linux__
  // The child goes when we go: an orphaned compiler would finish a book nobody waits for.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
#else
  (void)parent;
#endif
  dup2(output_fd >= 0 ? output_fd : STDERR_FILENO, STDOUT_FILENO);
  if (errors_fd >= 0) dup2(errors_fd, STDERR_FILENO);
  StartFailure failure{1, 0};
  if (folder == nullptr || chdir(folder) == 0) {
    execve(program.c_str(), exec.argv.data(), exec.envp.data());
    failure.in_folder = 0;
  }
  failure.error = errno;
  (void)!write(report, &failure, sizeof failure);
  _exit(127);
}

// Whether the child at `pid` reported through `report` (closed here) that it
// could not start; then it is reaped, and `error` says why.
bool ReportedStartFailure(pid_t pid, int report, const std::string& working_folder,
                          std::string* error) {
  StartFailure failure{};
  ssize_t got;
  do {
    got = read(report, &failure, sizeof failure);
  } while (got < 0 && errno == EINTR);
  close(report);
  if (got != static_cast<ssize_t>(sizeof failure)) return false;
  int status;
  waitpid(pid, &status, 0);
  *error = strerror(failure.error);
  if (failure.in_folder) *error = "cannot enter " + working_folder + ": " + *error;
  return true;
}

}  // namespace

std::unique_ptr<Process> Process::Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        const ProcessOptions& options, std::string* error) {
  const ExecArguments exec(program, args, options.environment);
  auto impl = std::make_unique<Impl>();
  if (options.capture_output) impl->output_fd = UnnamedFile();
  if (options.capture_errors) impl->errors_fd = UnnamedFile();
  if ((options.capture_output && impl->output_fd < 0) ||
      (options.capture_errors && impl->errors_fd < 0)) {
    *error = std::string("no file to keep the output in: ") + strerror(errno);
    return nullptr;
  }

  // The start's failure comes back through a pipe that closes on a successful exec.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = strerror(errno);
    return nullptr;
  }
  const char* folder = options.working_folder.empty() ? nullptr : options.working_folder.c_str();
  const pid_t parent = getpid();
  pid_t pid = -1;
  int fork_error = 0;
  OnLastingThread([&] {
    pid = fork();
    if (pid != 0) {
      fork_error = errno;
      return;
    }
    BecomeProgram(program, exec, folder, options.own_process_group, parent, impl->output_fd,
                  impl->errors_fd, report[1]);
  });
  if (pid < 0) {
    *error = strerror(fork_error);
    close(report[0]);
    close(report[1]);
    return nullptr;
  }
  // Set on both sides, so that a signal to the group cannot come too early.
  if (options.own_process_group) setpgid(pid, pid);
  close(report[1]);
  if (ReportedStartFailure(pid, report[0], options.working_folder, error)) return nullptr;
  impl->pid = pid;
  return std::unique_ptr<Process>(new Process(std::move(impl)));
}

bool Process::HasEnded() {
  if (impl_->ended) return true;
  int status;
  const pid_t r = waitpid(impl_->pid, &status, WNOHANG);
  if (r == impl_->pid) impl_->Record(status);
  return impl_->ended;
}

int Process::Wait() {
  while (!impl_->ended) {
    int status;
    const pid_t r = waitpid(impl_->pid, &status, 0);
    if (r == impl_->pid) {
      impl_->Record(status);
    } else if (r < 0 && errno != EINTR) {
      impl_->RecordEnd(-1);  // not our child any more: nothing to wait for
    }
  }
  return impl_->exit_code;
}

bool Process::WaitFor(int milliseconds) {
  // waitpid has no time-out: look often at first, then less often.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  auto pause = std::chrono::milliseconds(1);
  while (!HasEnded()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, end - now));
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
  return true;
}

void Process::Stop(StopSignal how, bool whole_group) {
  // Once reaped, the pid may belong to another process.
  if (impl_->reaped || impl_->pid <= 0) return;
  kill(whole_group ? -impl_->pid : impl_->pid, SignalNumber(how));
}

int Process::ExitCode() const { return impl_->exit_code; }

const std::string& Process::Output() const { return impl_->output; }

const std::string& Process::Errors() const { return impl_->errors; }

std::intptr_t Process::NativeHandle() const { return impl_->pid; }

long Process::Id() const { return static_cast<long>(impl_->pid); }

}  // namespace inkbinder

namespace inkbinder {

long CurrentProcessId() { return static_cast<long>(getpid()); }

// A killed process stays a zombie until its new parent reaps it, and a
// zombie cleans up nothing any more.
bool ProcessIsRunning(long pid) {
  if (pid <= 0) return false;
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return false;
  std::FILE* stat_file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (stat_file == nullptr) return true;  // not ours to judge: leave it
  char line[512];
  const bool got = std::fgets(line, sizeof line, stat_file) != nullptr;
  std::fclose(stat_file);
  // "pid (name) S ...": the state follows the name's closing parenthesis.
  const char* close = got ? std::strrchr(line, ')') : nullptr;
  return close == nullptr || close[1] != ' ' || (close[2] != 'Z' && close[2] != 'X');
}

}  // namespace inkbinder
