#pragma once

#include <string>
#include <vector>

#include "commands/window_port.h"

namespace inkbinder {

// The convert command's window, on a command line: the folder, pages and
// title come from the arguments; messages go to standard error; nothing is
// opened; the compiler is simply waited for.
class CliWindow : public WindowPort {
 public:
  CliWindow(std::string folder, std::vector<std::string> pages, std::string title);

  std::string SourceFolder() override { return folder_; }
  std::vector<std::string> SetSourceFolder(const std::string& folder) override {
    folder_ = folder;
    return {};
  }
  size_t PageCount() override { return pages_.size(); }
  std::string Page(size_t i) override { return i < pages_.size() ? pages_[i] : ""; }
  std::string BookTitle() override { return title_; }
  void SetStatus(const std::string& text) override { status_ = text; }
  void SetStatusTip(const std::string&) override {}
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void SetBusy(bool) override {}
  std::string BrowseForFolderPath() override { return ""; }
  int WaitForProcess(Process& process) override;
  void OpenFolder(const std::string&) override {}

  const std::string& status() const { return status_; }

 private:
  std::string folder_;
  std::vector<std::string> pages_;
  std::string title_;
  std::string status_;
};

}  // namespace inkbinder
