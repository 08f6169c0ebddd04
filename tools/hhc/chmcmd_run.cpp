#include "tools/hhc/chmcmd_run.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "compiler/interruption.h"
#include "project/text_encoding.h"

extern char** environ;

namespace inkbinder::hhc {

namespace {

bool HasName(const char* entry, const char* name) {
  const size_t n = strlen(name);
  return strncmp(entry, name, n) == 0 && entry[n] == '=';
}

// Our environment with the locale chmcmd needs put in.
std::vector<std::string> ChildEnvironment(const GbkLocale& locale) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (locale.found && HasName(*e, "LC_ALL")) continue;
    if (!locale.locpath.empty() && HasName(*e, "LOCPATH")) continue;
    env.emplace_back(*e);
  }
  if (locale.found) env.push_back(std::string("LC_ALL=") + kGbkLocaleName);
  if (!locale.locpath.empty()) env.push_back("LOCPATH=" + locale.locpath);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ChmcmdRun RunChmcmd(const std::string& program, const std::string& folder,
                    const std::string& project_name, const GbkLocale& locale, std::FILE* echo) {
  ChmcmdRun run;
  const auto say = [&](const std::string& message) {
    run.output += message;
    std::fputs(message.c_str(), echo);
    std::fflush(echo);
  };
  std::vector<std::string> args{program, project_name};
  std::vector<std::string> env = ChildEnvironment(locale);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);

  int out[2];
  int report[2];  // carries exec's errno; closes unread on a successful exec
  if (pipe2(out, O_CLOEXEC) != 0) {
    say(std::string("hhc: cannot make a pipe: ") + strerror(errno) + "\n");
    return run;
  }
  if (pipe2(report, O_CLOEXEC) != 0) {
    say(std::string("hhc: cannot make a pipe: ") + strerror(errno) + "\n");
    close(out[0]);
    close(out[1]);
    return run;
  }
  std::fflush(echo);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  const int fork_errno = errno;
  if (pid == 0) {
    // chmcmd goes when we go, however that happens.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    int e = 0;
    if (chdir(folder.c_str()) != 0) {
      e = errno;
    } else {
      execvpe(argv[0], argv.data(), envp.data());
      e = errno;
    }
    (void)!write(report[1], &e, sizeof e);
    _exit(127);
  }
  close(out[1]);
  close(report[1]);
  if (pid < 0) {
    say("hhc: cannot start " + program + ": " + strerror(fork_errno) + "\n");
    close(out[0]);
    close(report[0]);
    return run;
  }
  const StopOnInterruption stop(pid);

  // chmcmd prints the project's names in code page 936: pass on whole lines
  // in UTF-8, so a name is never cut in two.
  size_t echoed = 0;
  const auto echo_lines = [&](bool all) {
    const size_t end = all ? run.output.size() : run.output.rfind('\n') + 1;
    if (end <= echoed) return;  // also when no line has ended yet (npos + 1 == 0)
    const std::string text = CodePageToUtf8(
        std::string_view(run.output).substr(echoed, end - echoed), kCodePage936);
    std::fwrite(text.data(), 1, text.size(), echo);
    std::fflush(echo);
    echoed = end;
  };
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(out[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    run.output.append(buffer, static_cast<size_t>(got));
    echo_lines(false);
  }
  echo_lines(true);
  close(out[0]);

  int child_errno = 0;
  ssize_t got;
  do {
    got = read(report[0], &child_errno, sizeof child_errno);
  } while (got < 0 && errno == EINTR);
  close(report[0]);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof child_errno)) {
    say("hhc: cannot run " + program + ": " + strerror(child_errno) + "\n");
    return run;
  }
  run.started = true;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace inkbinder::hhc
