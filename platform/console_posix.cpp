#include <signal.h>
#include <string.h>
#include <unistd.h>
#include <atomic>
#include <initializer_list>

#include "platform/console.h"

namespace inkbinder {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void PrintText(std::FILE* stream, const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

namespace {

volatile sig_atomic_t g_interrupted = 0;
std::atomic<pid_t> g_child{0};
static_assert(std::atomic<pid_t>::is_always_lock_free, "read inside a signal handler");

// Only what is safe in a signal handler: note it, and pass it on to the child
// (which cleans up after itself in its turn); the run stops at its next step.
void OnSignal(int) {
  g_interrupted = 1;
  const pid_t child = g_child.load();
  if (child > 0) kill(child, SIGTERM);
}

}  // namespace

void CatchInterruptions() {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Calls resume after the handler: the run decides where to stop, not a stray EINTR.
  action.sa_flags = SA_RESTART;
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

bool Interrupted() { return g_interrupted != 0; }

StopOnInterruption::StopOnInterruption(std::intptr_t native_process) {
  const auto pid = static_cast<pid_t>(native_process);
  g_child.store(pid);
  if (Interrupted()) kill(pid, SIGTERM);
}

StopOnInterruption::~StopOnInterruption() { g_child.store(0); }

}  // namespace inkbinder
