#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "commands/convert.h"
#include "commands/run_port.h"
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

  // `compiler` is the help compiler the convert button runs.
  explicit MainWindow(std::string compiler = DefaultCompiler(), QWidget* parent = nullptr);

  // Our inkbinder-hhc beside the program.
  static std::string DefaultCompiler();

  // Replaces the desktop's folder picker (tests answer it themselves).
  void SetFolderPicker(FolderPicker picker) { picker_ = std::move(picker); }
  // Replaces the folder listing (tests slow it down).
  void SetPageLister(PageLister lister) { lister_ = std::move(lister); }

  // What the list shows: the folder and its pages of the last import.
  const std::string& SourceFolder() const { return list_->folder; }
  size_t PageCount() const { return list_->pages.size(); }
  // The page at position `i` in list order; "" past the last one.
  std::string Page(size_t i) const { return i < PageCount() ? list_->pages[i] : ""; }

  // WindowPort
  void SetStatus(const std::string& text) override;
  void SetStatusTip(const std::string& tip) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void SetBusy(bool busy) override;
  std::string PickFolder() override { return picker_(); }
  void ShowPages(std::shared_ptr<const PageList> list) override;
  int WaitForProcess(Process& process) override;
  void OpenFolder(const std::string& path) override;
  void RunOffThread(const std::function<void()>& work) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void RunCommand(const std::function<void()>& command);
  void OnImport();
  void OnConvert();

  ConvertOptions options_;
  FolderPicker picker_;
  PageLister lister_;

  QPushButton* command1_ = nullptr;  // the import button
  QPushButton* command2_ = nullptr;  // the convert button
  QLineEdit* text1_ = nullptr;       // the title box
  QLabel* label2_ = nullptr;         // the status line
  QListView* file1_ = nullptr;       // the page list
  PageListModel* file1_model_ = nullptr;

  std::shared_ptr<const PageList> list_ = std::make_shared<const PageList>();

  bool command_running_ = false;
  bool close_pending_ = false;
  QPointer<QWidget> focus_before_busy_;
};

}  // namespace inkbinder
