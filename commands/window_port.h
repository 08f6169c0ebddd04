#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace inkbinder {

class Process;

// What the import and convert commands need from a window. The Win32 window,
// the Qt window and the command line implement it, and so do the tests' fakes,
// so the commands' logic runs and is tested once for every front end.
// All texts are UTF-8.
class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // The folder the file list shows (File1.Path), without a trailing separator.
  virtual std::string SourceFolder() = 0;
  // Points the file list at `folder` and re-reads its entries. Returns the
  // names of pages it left out because no book can hold them.
  virtual std::vector<std::string> SetSourceFolder(const std::string& folder) = 0;
  virtual size_t PageCount() = 0;
  // The page at position `i` in list order: a bare file name; "" past the last one.
  virtual std::string Page(size_t i) = 0;
  // All pages in list order, as a value a run can keep while the window goes
  // on (a window replaces its list, never changes it in place).
  virtual std::shared_ptr<const std::vector<std::string>> Pages() {
    auto pages = std::make_shared<std::vector<std::string>>(PageCount());
    for (size_t i = 0; i < pages->size(); ++i) (*pages)[i] = Page(i);
    return pages;
  }
  // The text of the title box, exactly as typed.
  virtual std::string BookTitle() = 0;
  virtual void SetStatus(const std::string& text) = 0;
  // More about the status line for a user who asks (a tooltip): "" for none.
  // It lasts until the next import.
  virtual void SetStatusTip(const std::string& tip) = 0;
  // A modal message box with one OK button; returns when the user closed it.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // Disables (true) or enables (false) both buttons, so no command starts inside another.
  virtual void SetBusy(bool busy) = 0;
  // Shows the folder picker; the chosen folder, or "" on cancel.
  virtual std::string BrowseForFolderPath() = 0;
  // Waits until `process` has ended while the window keeps handling its events
  // (without spinning); returns the exit code.
  virtual int WaitForProcess(Process& process) = 0;
  // Opens `path` in the desktop's file manager. The command line opens nothing.
  virtual void OpenFolder(const std::string& path) = 0;
  // Runs `work` and returns once it has ended. A window runs it on another
  // thread and meanwhile keeps handling its events, with the busy cursor, so
  // long listing and writing do not freeze it; `work` must not touch the
  // window. An exception thrown by `work` comes out here.
  virtual void RunOffThread(const std::function<void()>& work) { work(); }
};

}  // namespace inkbinder
