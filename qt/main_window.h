#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "commands/convert.h"
#include "commands/window_port.h"
#include "project/page_list.h"

class QCloseEvent;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace inkbinder {

class PageListModel;

// The tool's one window: the controls of the shared layout table, with the
// import and convert commands of the core behind its two buttons.
class MainWindow : public QWidget, public WindowPort {
  Q_OBJECT

 public:
  using FolderPicker = std::function<std::string()>;
  using PageLister = std::function<PageList(const std::string& folder)>;

  // `compiler` is the help compiler the convert button runs.
  explicit MainWindow(std::string compiler = DefaultCompiler(), QWidget* parent = nullptr);

  // Our hhc stand-in beside the program.
  static std::string DefaultCompiler();

  // Replaces the desktop's folder picker (tests answer it themselves).
  void SetFolderPicker(FolderPicker picker) { picker_ = std::move(picker); }
  // Replaces the folder listing (tests slow it down).
  void SetPageLister(PageLister lister) { lister_ = std::move(lister); }

  // WindowPort
  std::string SourceFolder() override { return folder_; }
  std::vector<std::string> SetSourceFolder(const std::string& folder) override;
  size_t PageCount() override { return pages_->size(); }
  std::string Page(size_t i) override { return i < pages_->size() ? (*pages_)[i] : ""; }
  std::shared_ptr<const std::vector<std::string>> Pages() override { return pages_; }
  std::string BookTitle() override;
  void SetStatus(const std::string& text) override;
  void SetStatusTip(const std::string& tip) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void SetBusy(bool busy) override;
  std::string BrowseForFolderPath() override { return picker_(); }
  int WaitForProcess(Process& process) override;
  void OpenFolder(const std::string& path) override;
  void RunOffThread(const std::function<void()>& work) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void RunCommand(const std::function<void()>& command);

  ConvertOptions options_;
  FolderPicker picker_;
  PageLister lister_;

  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  QLineEdit* text1_ = nullptr;
  QLabel* label2_ = nullptr;
  QListView* file1_ = nullptr;
  PageListModel* file1_model_ = nullptr;

  std::string folder_;
  std::shared_ptr<const std::vector<std::string>> pages_ =
      std::make_shared<const std::vector<std::string>>();

  bool command_running_ = false;
  bool close_pending_ = false;
  QPointer<QWidget> focus_before_busy_;
};

}  // namespace inkbinder
