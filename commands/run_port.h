#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace inkbinder {

class Process;
struct PageList;

// What a command needs from the front end that runs it, while it runs. The
// windows, the command line and the tests' fake each give it, so the
// commands run and are tested once for all of them. All texts are UTF-8.
class RunPort {
 public:
  virtual ~RunPort() = default;

  virtual void SetStatus(const std::string& text) = 0;
  // A modal message box with one OK button; returns when the user closed it.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // Starts `program` with `args`; null, with the system's reason in *error,
  // when it cannot. A window may start it off its own thread.
  virtual std::unique_ptr<Process> StartProcess(const std::string& program,
                                                const std::vector<std::string>& args,
                                                std::string* error);
  // Waits until `process` has ended while the window keeps handling its events
  // (without spinning); returns the exit code.
  virtual int WaitForProcess(Process& process) = 0;
  // Opens `path` in the desktop's file manager.
  virtual void OpenFolder(const std::string& path) = 0;
  // Runs `work` and returns once it has ended. A window runs it on another
  // thread and meanwhile keeps handling its events, with the busy cursor, so
  // long listing and writing do not freeze it; `work` must not touch the
  // window. An exception thrown by `work` comes out here.
  virtual void RunOffThread(const std::function<void()>& work) { work(); }
  // Disables (true) or enables (false) both buttons, so no command starts inside another.
  virtual void SetBusy(bool) {}
  // How far a long step is: `done` of `total` pages; total 0 when none is
  // under way. Called from the work RunOffThread runs, so a window hands it
  // over to its own thread. The status line stays as it is.
  virtual void ShowProgress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
};

// A window adds what the import button asks of it.
class WindowPort : public RunPort {
 public:
  // Shows the folder picker; the chosen folder, or "" on cancel.
  virtual std::string PickFolder() = 0;
  // Shows `list` in the page list; the window keeps it for the next conversion.
  virtual void ShowPages(std::shared_ptr<const PageList> list) = 0;
  // More about the status line for a user who asks (a tooltip): "" for none.
  // It lasts until the next import.
  virtual void SetStatusTip(const std::string& tip) = 0;
};

}  // namespace inkbinder
