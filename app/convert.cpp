#include "app/convert.h"

#include <vector>

#include "app/messages.h"
#include "app/window_port.h"
#include "compiler/help_compiler.h"
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

std::vector<std::string> PagesOf(WindowPort& window) {
  std::vector<std::string> pages(window.PageCount());
  for (size_t i = 0; i < pages.size(); ++i) pages[i] = window.Page(i);
  return pages;
}

}  // namespace

ConvertOutcome Convert(WindowPort& window, const ConvertOptions& options) {
  BusyScope busy(window);
  if (window.Page(0).empty()) {
    window.ShowMessage(kNoPagesText, kNoPagesCaption);
    return ConvertOutcome::kNoPages;
  }

  // A failed write is remembered and stops the run before the compile, which
  // would otherwise compile a stale project left by an earlier run. The list
  // is taken once: the buttons stay disabled, so it cannot change meanwhile.
  std::string unwritten;
  const auto note = [&](bool written, const char* name) {
    if (!written && unwritten.empty()) unwritten = name;
  };
  const std::string folder = window.SourceFolder();
  const std::vector<std::string> pages = PagesOf(window);
  const std::vector<std::string> names = ReadPageNames(folder, pages);
  note(WriteContentsFile(folder, pages, names), kContentsFileName);
  note(WriteIndexFile(folder, pages, names), kIndexFileName);

  const std::string title = window.BookTitle();
  if (title.empty()) {
    window.ShowMessage(kNoTitleText, kTitleCaption);
    return ConvertOutcome::kNoTitle;
  }
  if (HasCharacterForbiddenInNames(title)) {
    window.ShowMessage(kBadTitleText, kTitleCaption);
    return ConvertOutcome::kBadTitle;
  }
  note(WriteProjectFile(folder, pages, title), kProjectFileName);
  if (!unwritten.empty()) {
    if (!options.keep_sources) DeleteSourceFiles(folder);
    window.SetStatus(kWriteFailedStatus + unwritten);
    return ConvertOutcome::kWriteFailed;
  }

  switch (RunHelpCompiler(window, options.compiler, title, options.keep_sources)) {
    case CompileOutcome::kSucceeded: return ConvertOutcome::kSucceeded;
    case CompileOutcome::kNoCompiler: return ConvertOutcome::kNoCompiler;
    case CompileOutcome::kFailed: break;
  }
  return ConvertOutcome::kCompileFailed;
}

void ImportFolder(WindowPort& window) {
  BusyScope busy(window);
  window.SetStatus("");
  window.SetSourceFolder(window.BrowseForFolderPath());
}

}  // namespace inkbinder
