#pragma once

#include <string>
#include <vector>

#include "commands/window_port.h"

namespace inkbinder::testing {

// A window that records what the commands showed it.
class FakeWindow : public WindowPort {
 public:
  struct Message {
    std::string text, caption;
  };

  std::string folder;
  std::vector<std::string> pages;
  std::string title;
  std::string picker_answer;  // what the folder picker "chooses"
  std::vector<std::string> left_out;  // what the list "leaves out" when its folder is set

  std::vector<std::string> statuses;  // every text set, in order
  std::string status_tip;
  std::vector<Message> messages;
  std::vector<std::string> opened;
  std::vector<bool> busy_changes;
  bool busy = false;
  bool busy_during_wait = false;
  int waits = 0;
  std::string folder_set;  // last SetSourceFolder argument
  int folder_sets = 0;

  std::string status() const { return statuses.empty() ? "" : statuses.back(); }

  std::string SourceFolder() override { return folder; }
  std::vector<std::string> SetSourceFolder(const std::string& f) override;
  size_t PageCount() override { return pages.size(); }
  std::string Page(size_t i) override { return i < pages.size() ? pages[i] : ""; }
  std::string BookTitle() override { return title; }
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void SetStatusTip(const std::string& tip) override { status_tip = tip; }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.push_back({text, caption});
  }
  void SetBusy(bool b) override {
    busy = b;
    busy_changes.push_back(b);
  }
  std::string BrowseForFolderPath() override { return picker_answer; }
  int WaitForProcess(Process& process) override;
  void OpenFolder(const std::string& path) override { opened.push_back(path); }
};

}  // namespace inkbinder::testing
