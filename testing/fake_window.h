#pragma once

#include <memory>
#include <string>
#include <vector>

#include "commands/convert.h"
#include "commands/run_port.h"

namespace inkbinder::testing {

// A window that records what the commands showed it. Its folder, pages and
// title are what a real window would put into a job at the click.
class FakeWindow : public WindowPort {
 public:
  struct Message {
    std::string text, caption;
  };

  std::string folder;
  std::vector<std::string> pages;
  std::string title;
  std::string picker_answer;  // what the folder picker "chooses"
  std::vector<std::string> left_out;  // what the list "leaves out" when its folder is read

  std::vector<std::string> statuses;  // every text set, in order
  std::string status_tip;
  std::vector<Message> messages;
  std::vector<std::string> opened;
  std::vector<bool> busy_changes;
  bool busy = false;
  bool busy_during_wait = false;
  int waits = 0;
  std::string folder_set;  // the last folder the list was pointed at
  int folder_sets = 0;

  std::string status() const { return statuses.empty() ? "" : statuses.back(); }

  // The job a click on the convert button makes of the window as it is now.
  ConvertJob Job(const ConvertOptions& options) const;
  // A lister that points the list at any folder it is given, with `pages`
  // and `left_out` as its contents.
  PageLister Lister();

  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void SetStatusTip(const std::string& tip) override { status_tip = tip; }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.push_back({text, caption});
  }
  void SetBusy(bool b) override {
    busy = b;
    busy_changes.push_back(b);
  }
  std::string PickFolder() override { return picker_answer; }
  void ShowPages(std::shared_ptr<const PageList> list) override {
    folder = list->folder;
    pages = list->pages;
  }
  int WaitForProcess(Process& process) override;
  void OpenFolder(const std::string& path) override { opened.push_back(path); }
};

// The convert button on `window`: its job, run against it. *detail (if
// given) gets the system's reason when the compiler could not start.
ConvertOutcome Convert(FakeWindow& window, const ConvertOptions& options,
                       std::string* detail = nullptr);
// The import button on `window`, with its own lister.
void ImportFolder(FakeWindow& window);

}  // namespace inkbinder::testing
