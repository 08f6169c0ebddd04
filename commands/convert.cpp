#include "commands/convert.h"

#include <memory>
#include <vector>

#include "commands/compile.h"
#include "commands/messages.h"
#include "commands/window_port.h"
#include "platform/console.h"
#include "platform/files.h"
#include "project/book_title.h"
#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/page_list.h"
#include "project/project_file.h"

namespace inkbinder {

namespace {

// Keeps the buttons disabled for as long as a command runs, however it ends.
class BusyScope {
 public:
  explicit BusyScope(WindowPort& window) : window_(window) { window_.SetBusy(true); }
  ~BusyScope() { window_.SetBusy(false); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  WindowPort& window_;
};

struct ConvertJob {
  std::string folder;
  std::string title;
  std::shared_ptr<const std::vector<std::string>> pages;
};

}  // namespace

const char* TitleRefusal(const std::string& folder, const std::string& title) {
  switch (CheckBookTitle(folder, title)) {
    case TitleCheck::kFine: return nullptr;
    case TitleCheck::kEmpty: return kNoTitleText;
    case TitleCheck::kForbiddenCharacter: return kBadTitleText;
    case TitleCheck::kOutsideCodePage: return kTitleNotInCodePageText;
    case TitleCheck::kNotAFileName: return kTitleNotAFileNameText;
  }
  return kTitleNotAFileNameText;
}

std::string LeftOutStatus(size_t count) {
  return kLeftOutStatusBefore + std::to_string(count) + kLeftOutStatusAfter;
}

ConvertOutcome Convert(WindowPort& window, const ConvertOptions& options, std::string* detail) {
  BusyScope busy(window);
  if (window.Page(0).empty()) {
    window.ShowMessage(kNoPagesText, kNoPagesCaption);
    return ConvertOutcome::kNoPages;
  }
  // The run works on the folder, title and list as they were at the click:
  // the window answers while the files are written, and what is typed
  // meanwhile belongs to the next run.
  const ConvertJob job{window.SourceFolder(), window.BookTitle(), window.Pages()};
  const std::vector<std::string>& pages = *job.pages;
  const std::string& folder = job.folder;
  // Two runs on one folder would write each other's sources and compile the
  // wrong project: the second stops before it writes anything.
  FolderLock lock;
  if (!lock.TryLock(folder)) {
    window.SetStatus(kBusyStatus);
    return ConvertOutcome::kBusy;
  }

  // Each stop removes what was written: after a failed write a stale project
  // from an earlier run must not be compiled, and an interrupted run leaves
  // nothing behind.
  const auto write_failed = [&](const char* name) {
    if (!options.keep_sources) DeleteSourceFiles(folder);
    window.SetStatus(kWriteFailedStatus + std::string(name));
    return ConvertOutcome::kWriteFailed;
  };
  const auto interrupted = [&] {
    DeleteSourceFiles(folder);
    window.SetStatus(kInterruptedStatus);
    return ConvertOutcome::kInterrupted;
  };

  // Reading every page and writing the files is the long part: it runs off
  // the window's thread, and the window is only told the outcome.
  bool stopped = false;
  const char* failed = nullptr;
  window.RunOffThread([&] {
    const std::vector<std::string> names = ReadPageNames(folder, pages);
    if (Interrupted()) {
      stopped = true;
    } else if (!WriteContentsFile(folder, pages, names)) {
      failed = kContentsFileName;
    } else if (!WriteIndexFile(folder, pages, names)) {
      failed = kIndexFileName;
    }
  });
  if (stopped) return interrupted();
  if (failed != nullptr) return write_failed(failed);

  if (const char* refusal = TitleRefusal(folder, job.title)) {
    window.ShowMessage(refusal, kTitleCaption);
    return job.title.empty() ? ConvertOutcome::kNoTitle : ConvertOutcome::kBadTitle;
  }
  bool project_written = false;
  window.RunOffThread([&] { project_written = WriteProjectFile(folder, pages, job.title); });
  if (!project_written) return write_failed(kProjectFileName);
  if (Interrupted()) return interrupted();

  switch (RunHelpCompiler(window, options.compiler, job.title, options.keep_sources, detail)) {
    case CompileOutcome::kSucceeded: return ConvertOutcome::kSucceeded;
    case CompileOutcome::kNoCompiler: return ConvertOutcome::kNoCompiler;
    case CompileOutcome::kNotStarted: return ConvertOutcome::kCompilerNotStarted;
    case CompileOutcome::kInterrupted: return ConvertOutcome::kInterrupted;
    case CompileOutcome::kFailed: break;
  }
  return ConvertOutcome::kCompileFailed;
}

void ImportFolder(WindowPort& window) {
  BusyScope busy(window);
  window.SetStatus("");
  window.SetStatusTip("");
  const std::vector<std::string> left_out = window.SetSourceFolder(window.BrowseForFolderPath());
  if (left_out.empty()) return;
  std::string names;
  for (const std::string& name : left_out) names += (names.empty() ? "" : "\n") + name;
  window.SetStatus(LeftOutStatus(left_out.size()));
  window.SetStatusTip(names);
}

}  // namespace inkbinder
