#include "testing/fake_window.h"

#include "platform/process.h"

namespace inkbinder::testing {

ConvertJob FakeWindow::Job(const ConvertOptions& options) const {
  auto list = std::make_shared<PageList>();
  list->folder = folder;
  list->pages = pages;
  return {list, title, options};
}

PageLister FakeWindow::Lister() {
  return [this](const std::string& f) {
    folder_set = f;
    ++folder_sets;
    auto list = std::make_shared<PageList>();
    list->folder = f;
    list->pages = pages;
    list->left_out = left_out;
    return std::shared_ptr<const PageList>(list);
  };
}

int FakeWindow::WaitForProcess(Process& process) {
  ++waits;
  busy_during_wait = busy;
  return process.Wait();
}

ConvertOutcome Convert(FakeWindow& window, const ConvertOptions& options, std::string* detail) {
  const ConvertResult result = inkbinder::Convert(window.Job(options), window);
  if (detail != nullptr) *detail = result.detail;
  return result.outcome;
}

void ImportFolder(FakeWindow& window) { inkbinder::ImportFolder(window, window.Lister()); }

}  // namespace inkbinder::testing
