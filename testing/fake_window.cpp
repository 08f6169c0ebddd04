#include "testing/fake_window.h"

#include "platform/process.h"

namespace inkbinder::testing {

std::vector<std::string> FakeWindow::SetSourceFolder(const std::string& f) {
  folder_set = f;
  ++folder_sets;
  folder = f;
  return left_out;
}

int FakeWindow::WaitForProcess(Process& process) {
  ++waits;
  busy_during_wait = busy;
  return process.Wait();
}

}  // namespace inkbinder::testing
