#include "commands/convert.h"

#include <vector>

#include "commands/compile.h"
#include "commands/messages.h"
#include "commands/run_port.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "project/book_title.h"
#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/project_file.h"

namespace inkbinder {

namespace {

// Keeps the buttons disabled for as long as a command runs, however it ends.
class BusyScope {
 public:
  explicit BusyScope(RunPort& port) : port_(port) { port_.SetBusy(true); }
  ~BusyScope() { port_.SetBusy(false); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  RunPort& port_;
};

// Reads every page's title and writes the contents and index files; stops
// when interrupted, or at the first file it cannot write (`*failed` names it).
void WriteSitemapFiles(const std::string& folder, const std::vector<std::string>& pages,
                       bool* stopped, const char** failed) {
  const std::vector<std::string> names = ReadPageNames(folder, pages, Interrupted);
  if (Interrupted()) {
    *stopped = true;
    return;
  }
  const EncodedPageEntries entries = EncodePageEntries(pages, names);
  if (!WriteContentsFile(folder, entries)) {
    *failed = kContentsFileName;
  } else if (!WriteIndexFile(folder, entries)) {
    *failed = kIndexFileName;
  }
}

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

ConvertResult Convert(const ConvertJob& job, RunPort& port) {
  BusyScope busy(port);
  ConvertRun run{job, port, {}};
  if (job.pages == nullptr || job.pages->pages.empty()) {
    port.ShowMessage(kNoPagesText, kNoPagesCaption);
    run.result.outcome = ConvertOutcome::kNoPages;
    return run.result;
  }
  const std::vector<std::string>& pages = job.pages->pages;
  const std::string& folder = run.folder();
  // Two runs on one folder would write each other's sources and compile the
  // wrong project: the second stops before it writes anything.
  FolderLock lock;
  if (!lock.TryLock(folder)) return run.End(ConvertOutcome::kBusy, kBusyStatus);
  // Nothing else of ours writes in the folder now: what killed runs left goes first.
  port.RunOffThread([&] { RemoveLeftoversOfEarlierRuns(folder); });

  // Each stop removes what was written: after a failed write a stale project
  // from an earlier run must not be compiled, and an interrupted run leaves
  // nothing behind.
  const auto write_failed = [&](const char* name) {
    if (!job.options.keep_sources) DeleteSourceFiles(folder);
    return run.End(ConvertOutcome::kWriteFailed, kWriteFailedStatus + std::string(name));
  };
  const auto interrupted = [&] {
    DeleteSourceFiles(folder);
    return run.End(ConvertOutcome::kInterrupted, kInterruptedStatus);
  };

  // Reading every page and writing the files is the long part: it runs off
  // the window's thread, and the window is only told the outcome.
  bool stopped = false;
  const char* failed = nullptr;
  port.RunOffThread([&] { WriteSitemapFiles(folder, pages, &stopped, &failed); });
  if (stopped) return interrupted();
  if (failed != nullptr) return write_failed(failed);

  if (const char* refusal = TitleRefusal(folder, job.title)) {
    port.ShowMessage(refusal, kTitleCaption);
    run.result.outcome = job.title.empty() ? ConvertOutcome::kNoTitle : ConvertOutcome::kBadTitle;
    return run.result;
  }
  // A FIFO, socket, device or folder under the book's name is the user's, not an older book.
  const std::string book_name = job.title + ".chm";
  if (!IsReplaceable(run.book())) return write_failed(book_name.c_str());
  bool project_written = false;
  port.RunOffThread([&] { project_written = WriteProjectFile(folder, pages, job.title); });
  if (!project_written) return write_failed(kProjectFileName);
  if (Interrupted()) return interrupted();

  return CompileAndFinish(run);
}

bool NamesFolder(const std::string& path) {
  return path.find_first_not_of(' ') != std::string::npos && IsFolder(path);
}

std::shared_ptr<const PageList> ReadPageList(const std::string& folder) {
  if (!NamesFolder(folder)) return nullptr;
  return std::make_shared<const PageList>(ListPages(folder));
}

std::shared_ptr<const PageList> ImportFolder(WindowPort& window, const PageLister& lister) {
  BusyScope busy(window);
  window.SetStatus("");
  window.SetStatusTip("");
  const std::string folder = window.PickFolder();
  std::shared_ptr<const PageList> list;
  window.RunOffThread([&] { list = lister(folder); });
  if (list == nullptr) return list;
  window.ShowPages(list);
  if (list->left_out.empty()) return list;
  std::string names;
  // One name a line, whatever the names hold.
  for (const std::string& name : list->left_out) {
    names += (names.empty() ? "" : "\n") + PrintableText(name);
  }
  window.SetStatus(LeftOutStatus(list->left_out.size()));
  window.SetStatusTip(names);
  return list;
}

}  // namespace inkbinder
