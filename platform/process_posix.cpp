#include <errno.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include "platform/process.h"

namespace inkbinder {

struct Process::Impl {
  pid_t pid = -1;
  bool ended = false;
  int exit_code = -1;

  void Record(int status) {
    ended = true;
    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  // exec's failure comes back through a pipe that closes on a successful exec.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = strerror(errno);
    return nullptr;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    *error = strerror(errno);
    close(report[0]);
    close(report[1]);
    return nullptr;
  }
  if (pid == 0) {
#ifdef __linux__
    // The child goes when we go: an orphaned compiler would finish a book nobody waits for.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
#else
    (void)parent;
#endif
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execv(program.c_str(), argv.data());
    const int e = errno;
    (void)!write(report[1], &e, sizeof e);
    _exit(127);
  }
  close(report[1]);
  int child_errno = 0;
  ssize_t got;
  do {
    got = read(report[0], &child_errno, sizeof child_errno);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (got == static_cast<ssize_t>(sizeof child_errno)) {
    int status;
    waitpid(pid, &status, 0);
    *error = strerror(child_errno);
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
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
      impl_->ended = true;  // not our child any more: nothing to wait for
    }
  }
  return impl_->exit_code;
}

int Process::ExitCode() const { return impl_->exit_code; }

std::intptr_t Process::NativeHandle() const { return impl_->pid; }

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
