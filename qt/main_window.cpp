#include "qt/main_window.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <thread>

#include <QAbstractListModel>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include "platform/process.h"
#include "platform/program_folder.h"
#include "commands/compile.h"
#include "resources/window_layout.h"

namespace inkbinder {

namespace {

QString ToQt(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

// The list's rows are the page list's pages, converted only when shown, so a
// folder of any size is taken in with one reset.
class PageListModel : public QAbstractListModel {
 public:
  explicit PageListModel(QObject* parent)
      : QAbstractListModel(parent), list_(std::make_shared<const PageList>()) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(list_->pages.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid() ||
        static_cast<size_t>(index.row()) >= list_->pages.size()) {
      return {};
    }
    return ToQt(list_->pages[static_cast<size_t>(index.row())]);
  }
  void Show(std::shared_ptr<const PageList> list) {
    beginResetModel();
    list_ = std::move(list);
    endResetModel();
  }

 private:
  std::shared_ptr<const PageList> list_;
};

namespace {

QWidget* CreateControl(const ControlLayout& layout, QWidget* parent) {
  switch (layout.kind) {
    case ControlKind::kButton: {
      auto* button = new QPushButton(ToQt(layout.text), parent);
      // Enter in the title box or the list must press nothing.
      button->setAutoDefault(false);
      button->setDefault(false);
      return button;
    }
    case ControlKind::kStaticText:
      return new QLabel(ToQt(layout.text), parent);
    case ControlKind::kTextBox: {
      auto* box = new QLineEdit(ToQt(layout.text), parent);
      box->setMaxLength(std::numeric_limits<int>::max());
      return box;
    }
    case ControlKind::kFileList: {
      auto* list = new QListView(parent);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setEditTriggers(QAbstractItemView::NoEditTriggers);
      // Every row is one line of text: the view lays out any number at once.
      list->setUniformItemSizes(true);
      return list;
    }
  }
  return nullptr;
}

std::string PickFolderOnDesktop() {
  return QFileDialog::getExistingDirectory(nullptr, QString(), QString(),
                                           QFileDialog::ShowDirsOnly)
      .toStdString();
}

}  // namespace

MainWindow::MainWindow(std::string compiler, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      picker_(PickFolderOnDesktop),
      lister_(ReadPageList) {
  options_.compiler = std::move(compiler);
  setWindowTitle(kWindowCaption);
  setWindowIcon(QIcon(QStringLiteral(":/inkbinder.ico")));
  BuildControls();

  connect(command1_, &QPushButton::clicked, this, [this] { RunCommand([this] { OnImport(); }); });
  connect(command2_, &QPushButton::clicked, this, [this] { RunCommand([this] { OnConvert(); }); });

  // Start-up: no folder chosen yet, the list is empty.
  command1_->setFocus();
}

std::string MainWindow::DefaultCompiler() { return FindHelpCompiler(ProgramFolder()); }

void MainWindow::OnImport() {
  ImportFolder(*this, lister_);
}

void MainWindow::OnConvert() {
  // The job is the window as it is at the click.
  Convert({list_, text1_->text().toStdString(), options_}, *this);
}

void MainWindow::BuildControls() {
  const int dpi = qRound(screen()->logicalDotsPerInch());
  const auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
  setFixedSize(px(kClientWidthTwips), px(kClientHeightTwips));

  std::vector<const ControlLayout*> by_tab_index;
  for (size_t i = 0; i < kFormLayoutSize; ++i) {
    const ControlLayout& layout = kFormLayout[i];
    QWidget* control = CreateControl(layout, this);
    control->setObjectName(layout.name);
    control->setGeometry(px(layout.left), px(layout.top), px(layout.width), px(layout.height));
    if (layout.kind != ControlKind::kStaticText) by_tab_index.push_back(&layout);
  }
  std::sort(by_tab_index.begin(), by_tab_index.end(),
            [](const ControlLayout* a, const ControlLayout* b) { return a->tab_index < b->tab_index; });
  for (size_t i = 1; i < by_tab_index.size(); ++i) {
    setTabOrder(findChild<QWidget*>(by_tab_index[i - 1]->name),
                findChild<QWidget*>(by_tab_index[i]->name));
  }

  command1_ = findChild<QPushButton*>("Command1");
  command2_ = findChild<QPushButton*>("Command2");
  text1_ = findChild<QLineEdit*>("Text1");
  label2_ = findChild<QLabel*>("Label2");
  file1_ = findChild<QListView*>("File1");
  file1_model_ = new PageListModel(file1_);
  file1_->setModel(file1_model_);
}

void MainWindow::RunCommand(const std::function<void()>& command) {
  command_running_ = true;
  try {
    command();
  } catch (...) {
    // A failed step (out of memory, say) ends the command quietly; the window
    // carries on, and no exception crosses Qt's event loop.
  }
  command_running_ = false;
  if (close_pending_) {
    close_pending_ = false;
    close();
  }
}

void MainWindow::ShowPages(std::shared_ptr<const PageList> list) {
  list_ = list;
  file1_model_->Show(std::move(list));
}

void MainWindow::SetStatus(const std::string& text) { label2_->setText(ToQt(text)); }

void MainWindow::SetStatusTip(const std::string& tip) {
  // Names are shown as they are, never taken for markup ("<b>.txt" is a name too).
  const QString lines = ToQt(tip).toHtmlEscaped().replace(QChar('\n'), QStringLiteral("<br>"));
  label2_->setToolTip(tip.empty() ? QString() : QStringLiteral("<qt>") + lines + "</qt>");
}

void MainWindow::ShowMessage(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, ToQt(caption), ToQt(text), QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void MainWindow::SetBusy(bool busy) {
  // Disabling the focused button moves the focus on; give it back afterwards.
  if (busy) focus_before_busy_ = focusWidget();
  command1_->setEnabled(!busy);
  command2_->setEnabled(!busy);
  if (!busy && focus_before_busy_ != nullptr) {
    focus_before_busy_->setFocus();
    focus_before_busy_ = nullptr;
  }
}

int MainWindow::WaitForProcess(Process& process) {
  // A thread blocks on the process while this thread's event loop keeps the
  // window painted and answering; the thread ends the loop when the process has.
  QEventLoop loop;
  int exit_code = -1;
  std::thread waiter([&] {
    exit_code = process.Wait();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  waiter.join();
  return exit_code;
}

void MainWindow::RunOffThread(const std::function<void()>& work) {
  // As while the compiler runs: this thread's event loop keeps the window
  // answering until the worker ends it.
  QApplication::setOverrideCursor(Qt::BusyCursor);
  QEventLoop loop;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  QApplication::restoreOverrideCursor();
  if (failure) std::rethrow_exception(failure);
}

void MainWindow::OpenFolder(const std::string& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(path)));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A conversion runs to its end (sources deleted, book in place); the window
  // closes as soon as it has.
  if (command_running_) {
    close_pending_ = true;
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace inkbinder
