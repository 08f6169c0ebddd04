#include <algorithm>
#include <string>

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "commands/messages.h"
#include "platform/process.h"
#include "platform/text.h"
#include "project/page_entry.h"
#include "project/page_list.h"
#include "qt/main_window.h"
#include "resources/window_layout.h"
#include "testing/temp_dir.h"

using inkbinder::MainWindow;
using inkbinder::testing::Exists;
using inkbinder::testing::MakeFolder;
using inkbinder::testing::ReadBytes;
using inkbinder::testing::ScopedTempDir;
using inkbinder::testing::WriteBytes;

namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

std::string BinFolder() { return qEnvironmentVariable("INKBINDER_BIN").toStdString(); }
std::string FakeCompiler() { return BinFolder() + "/fake_compiler"; }

// What the fake compiler does on its next run (see testing/fake_compiler.cpp).
void ScriptFakeCompiler(const std::string& words) {
  qputenv("INKBINDER_FAKE_COMPILER", QByteArray::fromStdString(words));
}

QStringList FilesIn(const std::string& folder) {
  return QDir(Q(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QStringList ListedPages(MainWindow& window) {
  QStringList names;
  const QAbstractItemModel* rows = window.findChild<QListView*>("File1")->model();
  for (int i = 0; i < rows->rowCount(); ++i) names << rows->index(i, 0).data().toString();
  return names;
}

// Types `text` as key presses; QTest::keyClicks knows only Latin-1.
void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

QString Status(MainWindow& window) { return window.findChild<QLabel*>("Label2")->text(); }
QPushButton* Button(MainWindow& window, const char* name) {
  return window.findChild<QPushButton*>(name);
}

struct ShownMessage {
  QString text, caption;
  QMessageBox::Icon icon;
  int buttons;
  QMessageBox::StandardButtons standard_buttons;
};

// Closes every message box that opens while it lives, with its OK button,
// and notes what each one showed. Without it a box would wait for a user.
class MessageBoxCloser {
 public:
  MessageBoxCloser() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      shown.push_back({box->text(), box->windowTitle(), box->icon(),
                       static_cast<int>(box->buttons().size()), box->standardButtons()});
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
      } else {
        box->reject();
      }
    });
    timer_.start();
  }
  std::vector<ShownMessage> shown;

 private:
  QTimer timer_;
};

// Runs `action` once, from inside the convert command's wait for the compiler.
class DuringWait {
 public:
  DuringWait(MainWindow& window, std::function<void()> action) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this, &window, action] {
      if (ran || Status(window) != inkbinder::kWaitingStatus) return;
      ran = true;
      action();
    });
    timer_.start();
  }
  bool ran = false;

 private:
  QTimer timer_;
};

}  // namespace

// Stands in for the desktop's file manager: notes each folder the window opens.
class OpenedUrls : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls << url; }
};

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void init();

  void startState();
  void controlsFollowTheLayout_data();
  void controlsFollowTheLayout();
  void tabOrder();
  void importListsTheTxtFilesOfTheFolder();
  void cancelledImportKeepsListAndEmptiesStatus();
  void messageBoxes_data();
  void messageBoxes();
  void keysAndListClicksPressNothing_data();
  void keysAndListClicksPressNothing();
  void convertsWithTheCompilerStandIn();
  void compilerOutcome_data();
  void compilerOutcome();
  void buttonsDisabledWhileCompiling();
  void closingDuringConversionFinishesItFirst();
  void slowListingKeepsTheWindowAnswering();
  void convertStagesKeepTheirOrder();

 private:
  bool ShowActive(MainWindow& window);

  OpenedUrls opened_;
};

void MainWindowTest::initTestCase() {
  QVERIFY2(!BinFolder().empty(), "INKBINDER_BIN is not set");
  QVERIFY2(QFile::exists(Q(FakeCompiler())), "fake_compiler is not built");
  // The test closes windows itself; that must not end the application.
  QApplication::setQuitOnLastWindowClosed(false);
  QDesktopServices::setUrlHandler("file", &opened_, "open");
}

void MainWindowTest::cleanupTestCase() { QDesktopServices::unsetUrlHandler("file"); }

void MainWindowTest::init() {
  opened_.urls.clear();
  qunsetenv("INKBINDER_FAKE_COMPILER");
}

bool MainWindowTest::ShowActive(MainWindow& window) {
  window.show();
  return QTest::qWaitForWindowActive(&window);
}

void MainWindowTest::startState() {
  MainWindow window(FakeCompiler());
  QVERIFY(ShowActive(window));

  QCOMPARE(window.windowTitle(), QString("Inkbinder"));
  QCOMPARE(window.findChild<QLineEdit*>("Text1")->text(), QString());
  QCOMPARE(Status(window), QString());
  QCOMPARE(ListedPages(window), QStringList());
  QCOMPARE(window.PageCount(), size_t{0});
  QCOMPARE(QApplication::focusWidget(), Button(window, "Command1"));

  const int dpi = qRound(window.screen()->logicalDotsPerInch());
  const QSize client(inkbinder::TwipsToPixels(inkbinder::kClientWidthTwips, dpi),
                     inkbinder::TwipsToPixels(inkbinder::kClientHeightTwips, dpi));
  QCOMPARE(window.size(), client);
  QCOMPARE(window.minimumSize(), client);
  QCOMPARE(window.maximumSize(), client);
  QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
  QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);

  for (const char* name : {"Command1", "Command2"}) {
    QPushButton* button = Button(window, name);
    QVERIFY(button->isEnabled());
    QVERIFY2(!button->isDefault() && !button->autoDefault(), name);
  }
  QCOMPARE(window.findChild<QListView*>("File1")->selectionMode(),
           QAbstractItemView::SingleSelection);
  QVERIFY(window.findChild<QLineEdit*>("Text1")->maxLength() > 32767);
#ifdef INKBINDER_HAVE_ICON
  QVERIFY(window.windowIcon().availableSizes().contains(QSize(32, 32)));
#endif
}

void MainWindowTest::controlsFollowTheLayout_data() {
  QTest::addColumn<int>("index");
  for (size_t i = 0; i < inkbinder::kFormLayoutSize; ++i) {
    QTest::newRow(inkbinder::kFormLayout[i].name) << static_cast<int>(i);
  }
}

void MainWindowTest::controlsFollowTheLayout() {
  QFETCH(int, index);
  const inkbinder::ControlLayout& layout = inkbinder::kFormLayout[index];
  MainWindow window(FakeCompiler());
  QVERIFY(ShowActive(window));

  auto* control = window.findChild<QWidget*>(layout.name);
  QVERIFY(control != nullptr);
  const int dpi = qRound(window.screen()->logicalDotsPerInch());
  const auto px = [dpi](int twips) { return inkbinder::TwipsToPixels(twips, dpi); };
  QCOMPARE(control->geometry(),
           QRect(px(layout.left), px(layout.top), px(layout.width), px(layout.height)));
  QVERIFY(control->isVisible());

  QString text;
  switch (layout.kind) {
    case inkbinder::ControlKind::kButton:
      QVERIFY(qobject_cast<QPushButton*>(control));
      text = qobject_cast<QPushButton*>(control)->text();
      break;
    case inkbinder::ControlKind::kStaticText:
      QVERIFY(qobject_cast<QLabel*>(control));
      QCOMPARE(control->focusPolicy(), Qt::NoFocus);
      text = qobject_cast<QLabel*>(control)->text();
      break;
    case inkbinder::ControlKind::kTextBox:
      QVERIFY(qobject_cast<QLineEdit*>(control));
      text = qobject_cast<QLineEdit*>(control)->text();
      break;
    case inkbinder::ControlKind::kFileList:
      QVERIFY(qobject_cast<QListView*>(control));
      break;
  }
  QCOMPARE(text, QString::fromUtf8(layout.text));
}

void MainWindowTest::tabOrder() {
  MainWindow window(FakeCompiler());
  QVERIFY(ShowActive(window));
  const QStringList forward = {"Command2", "File1", "Text1", "Command1"};
  for (const QString& next : forward) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), next);
  }
  const QStringList backward = {"Text1", "File1", "Command2", "Command1"};
  for (const QString& next : backward) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), next);
  }
}

void MainWindowTest::importListsTheTxtFilesOfTheFolder() {
  ScopedTempDir folder("import");
  WriteBytes(folder / "a.txt", "a");
  WriteBytes(folder / "B.TXT", "b");
  WriteBytes(folder / "d.htm", "d");
  MakeFolder(folder / "e.txt");
  // Pages no book can hold: left out, counted on the status line, named in its tooltip.
  WriteBytes(folder / "한.txt", "k");
  WriteBytes(folder / "<b>.txt", "m");

  MainWindow window(FakeCompiler());
  int picks = 0;
  window.SetFolderPicker([&] {
    ++picks;
    return folder.path();
  });
  QVERIFY(ShowActive(window));
  QTest::mouseClick(Button(window, "Command1"), Qt::LeftButton);

  QCOMPARE(picks, 1);
  QCOMPARE(ListedPages(window), QStringList({"a.txt", "B.TXT"}));
  QCOMPARE(window.PageCount(), size_t{2});
  QCOMPARE(window.Page(1), std::string("B.TXT"));
  QCOMPARE(window.Page(2), std::string());
  QCOMPARE(window.SourceFolder(), folder.path());
  QCOMPARE(Status(window), QString("已略过 2 个无法放入手册的文件"));
  const QString tip = window.findChild<QLabel*>("Label2")->toolTip();
  QVERIFY2(tip.contains("&lt;b&gt;.txt") && tip.contains("한.txt"), qPrintable(tip));

  // A folder with nothing left out: no count, no tooltip.
  ScopedTempDir plain("import plain");
  WriteBytes(plain / "a.txt", "a");
  window.SetFolderPicker([&] { return plain.path(); });
  QTest::mouseClick(Button(window, "Command1"), Qt::LeftButton);
  QCOMPARE(Status(window), QString());
  QCOMPARE(window.findChild<QLabel*>("Label2")->toolTip(), QString());
}

void MainWindowTest::cancelledImportKeepsListAndEmptiesStatus() {
  ScopedTempDir folder("cancel");
  WriteBytes(folder / "a.txt", "a");
  MainWindow window(FakeCompiler());
  QVERIFY(ShowActive(window));
  window.SetSourceFolder(folder.path());
  window.SetStatus(inkbinder::kSuccessStatus);

  QString status_while_picking = "picker not shown";
  window.SetFolderPicker([&] {
    status_while_picking = Status(window);
    return std::string();
  });
  QTest::mouseClick(Button(window, "Command1"), Qt::LeftButton);

  QCOMPARE(status_while_picking, QString());
  QCOMPARE(Status(window), QString());
  QCOMPARE(ListedPages(window), QStringList({"a.txt"}));
  QCOMPARE(window.SourceFolder(), folder.path());
}

void MainWindowTest::messageBoxes_data() {
  QTest::addColumn<QStringList>("files");
  QTest::addColumn<bool>("import");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QStringList>("left_behind");

  const QString no_pages = inkbinder::kNoPagesText, no_pages_caption = inkbinder::kNoPagesCaption;
  const QString written_before_title_check = QString("%1|%2|a.txt")
      .arg(inkbinder::kContentsFileName, inkbinder::kIndexFileName);
  QTest::newRow("no folder chosen")
      << QStringList{"a.txt"} << false << "书" << no_pages << no_pages_caption
      << QStringList{"a.txt"};
  QTest::newRow("folder without pages")
      << QStringList{"a.htm"} << true << "书" << no_pages << no_pages_caption
      << QStringList{"a.htm"};
  QTest::newRow("empty title")
      << QStringList{"a.txt"} << true << "" << QString(inkbinder::kNoTitleText)
      << QString(inkbinder::kTitleCaption) << written_before_title_check.split('|');
  QTest::newRow("title that cannot name a file")
      << QStringList{"a.txt"} << true << "上/下" << QString(inkbinder::kBadTitleText)
      << QString(inkbinder::kTitleCaption) << written_before_title_check.split('|');
  QTest::newRow("title the code page lacks")
      << QStringList{"a.txt"} << true << "한국" << QString(inkbinder::kTitleNotInCodePageText)
      << QString(inkbinder::kTitleCaption) << written_before_title_check.split('|');
  QTest::newRow("title with a leading space")
      << QStringList{"a.txt"} << true << " B" << QString(inkbinder::kTitleNotAFileNameText)
      << QString(inkbinder::kTitleCaption) << written_before_title_check.split('|');
}

void MainWindowTest::messageBoxes() {
  QFETCH(QStringList, files);
  QFETCH(bool, import);
  QFETCH(QString, title);
  QFETCH(QString, text);
  QFETCH(QString, caption);
  QFETCH(QStringList, left_behind);

  ScopedTempDir folder("message");
  for (const QString& f : files) WriteBytes(folder / f.toStdString(), "page");
  MainWindow window(FakeCompiler());
  QVERIFY(ShowActive(window));
  if (import) window.SetSourceFolder(folder.path());
  window.findChild<QLineEdit*>("Text1")->setText(title);
  window.SetStatus(inkbinder::kSuccessStatus);

  MessageBoxCloser closer;
  QTest::mouseClick(Button(window, "Command2"), Qt::LeftButton);

  QCOMPARE(closer.shown.size(), size_t{1});
  const ShownMessage& shown = closer.shown[0];
  QCOMPARE(shown.text, text);
  QCOMPARE(shown.caption, caption);
  QCOMPARE(shown.icon, QMessageBox::NoIcon);
  QCOMPARE(shown.buttons, 1);
  QCOMPARE(shown.standard_buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(Status(window), QString(inkbinder::kSuccessStatus));
  left_behind.sort();
  QCOMPARE(FilesIn(folder.path()), left_behind);
  QVERIFY(Button(window, "Command1")->isEnabled() && Button(window, "Command2")->isEnabled());
}

void MainWindowTest::keysAndListClicksPressNothing_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<int>("key");  // 0: double-click the first list entry
  for (const char* control : {"Text1", "File1", "Command1", "Command2"}) {
    QTest::addRow("Return in %s", control) << QString(control) << int(Qt::Key_Return);
    QTest::addRow("Enter in %s", control) << QString(control) << int(Qt::Key_Enter);
    QTest::addRow("Escape in %s", control) << QString(control) << int(Qt::Key_Escape);
  }
  QTest::newRow("double-click on a list entry") << QString("File1") << 0;
}

void MainWindowTest::keysAndListClicksPressNothing() {
  QFETCH(QString, control);
  QFETCH(int, key);
  ScopedTempDir folder("keys");
  WriteBytes(folder / "a.txt", "a");
  MainWindow window(FakeCompiler());
  int picks = 0;
  window.SetFolderPicker([&] {
    ++picks;
    return std::string();
  });
  QVERIFY(ShowActive(window));
  window.SetSourceFolder(folder.path());
  QSignalSpy pressed1(Button(window, "Command1"), &QPushButton::clicked);
  QSignalSpy pressed2(Button(window, "Command2"), &QPushButton::clicked);
  MessageBoxCloser closer;

  auto* title = window.findChild<QLineEdit*>("Text1");
  TypeText(title, "书名");
  auto* target = window.findChild<QWidget*>(control);
  target->setFocus();
  QCOMPARE(QApplication::focusWidget(), target);
  if (key != 0) {
    QTest::keyClick(target, Qt::Key(key));
  } else {
    auto* list = qobject_cast<QListView*>(target);
    const QPoint entry = list->visualRect(list->model()->index(0, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, entry);
  }
  QCoreApplication::processEvents();

  QCOMPARE(pressed1.count(), 0);
  QCOMPARE(pressed2.count(), 0);
  QCOMPARE(picks, 0);
  QCOMPARE(closer.shown.size(), size_t{0});
  QCOMPARE(FilesIn(folder.path()), QStringList{"a.txt"});
  QCOMPARE(title->text(), QString("书名"));
  QVERIFY(window.isVisible());
}

void MainWindowTest::convertsWithTheCompilerStandIn() {
#ifndef INKBINDER_HAVE_HHC
  QSKIP("this build has no compiler stand-in (tools/hhc)");
#else
  // A folder path with a space and Chinese, pages whose titles are Chinese
  // in code page 936, and a Chinese title with a space.
  ScopedTempDir folder("书 页");
  const std::string gbk_title = inkbinder::Utf8ToCodePage("<title>第一章 起</title>\r\n正文\r\n",
                                                          inkbinder::kCodePage936);
  WriteBytes(folder / "第1章.txt", gbk_title);
  WriteBytes(folder / "第2章.txt", inkbinder::Utf8ToCodePage("没有标题\r\n", inkbinder::kCodePage936));

  MainWindow window;  // the compiler beside the program, as the tool finds it
  QVERIFY2(QFile::exists(Q(MainWindow::DefaultCompiler())), "hhc is not built");
  window.SetFolderPicker([&] { return folder.path(); });
  QVERIFY(ShowActive(window));
  QTest::mouseClick(Button(window, "Command1"), Qt::LeftButton);
  QCOMPARE(ListedPages(window), QStringList({"第1章.txt", "第2章.txt"}));
  TypeText(window.findChild<QLineEdit*>("Text1"), "测试 手册");
  MessageBoxCloser closer;
  QTest::mouseClick(Button(window, "Command2"), Qt::LeftButton);

  QCOMPARE(closer.shown.size(), size_t{0});
  QCOMPARE(Status(window), QString(inkbinder::kSuccessStatus));
  const std::string book = folder / "测试 手册.chm";
  QCOMPARE(FilesIn(folder.path()), QStringList({"测试 手册.chm", "第1章.txt", "第2章.txt"}));
  QCOMPARE(ReadBytes(book).substr(0, 4), std::string("ITSF"));
  QCOMPARE(opened_.urls, QList<QUrl>{QUrl::fromLocalFile(Q(folder.path() + "/"))});

  // Read the book back as a reader does: its contents and index name the
  // pages in the list's order, each link finds its page by its UTF-8 name and
  // holds the page's bytes, and the help window carries the title.
  const QString reader = INKBINDER_SOURCE_DIR "/testing/read_chm.py";
  inkbinder::ProcessOptions capture;
  capture.capture_output = capture.capture_errors = true;
  std::string start_error;
  const auto python = inkbinder::Process::Start(
      "/usr/bin/python3", {reader.toStdString(), book, folder.path()}, capture, &start_error);
  QVERIFY2(python != nullptr, start_error.c_str());
  QVERIFY(python->WaitFor(60000));
  QVERIFY2(python->ExitCode() == 0, python->Errors().c_str());
  const QJsonObject read =
      QJsonDocument::fromJson(QByteArray::fromStdString(python->Output())).object();
  QCOMPARE(read.value("caption").toString(), QString("测试 手册"));
  QCOMPARE(read.value("language").toString(), QString("0x804"));
  QVERIFY(!read.value("binary_index").toBool());
  const QJsonArray top = read.value("contents").toArray();
  QCOMPARE(top.size(), 1);
  QCOMPARE(top[0].toObject().value("name").toString(), QString("目录"));
  for (const QJsonArray& entries : {top[0].toObject().value("children").toArray(),
                                    read.value("index").toArray()}) {
    QStringList names, paths;
    for (const QJsonValue& entry : entries) {
      names << entry.toObject().value("name").toString();
      paths << entry.toObject().value("path").toString();
      QVERIFY(entry.toObject().value("resolves").toBool());
      QVERIFY(entry.toObject().value("same_as_disk").toBool());
      QVERIFY(entry.toObject().value("seven_zip").toBool());
    }
    QCOMPARE(names, QStringList({"第一章 起", "第2章.txt"}));
    QCOMPARE(paths, QStringList({"第1章.txt", "第2章.txt"}));
  }
  QStringList listed;
  for (const QJsonValue& file : read.value("files").toArray()) listed << file.toString();
  QVERIFY(listed.contains("第1章.txt") && listed.contains("第2章.txt"));
#endif
}

void MainWindowTest::compilerOutcome_data() {
  QTest::addColumn<QString>("script");  // {book} stands for the book's path
  QTest::addColumn<QString>("status");
  QTest::addColumn<bool>("opened");
  QTest::newRow("compiled") << "book={book}" << QString(inkbinder::kSuccessStatus) << true;
  QTest::newRow("book written, compiler says failure")
      << "exit=0;book={book}" << QString(inkbinder::kCompileFailedStatus) << false;
  QTest::newRow("compiler says success, no book")
      << "exit=1" << QString(inkbinder::kCompileFailedStatus) << false;
  QTest::newRow("empty book") << "empty-book={book}" << QString(inkbinder::kCompileFailedStatus) << false;
}

void MainWindowTest::compilerOutcome() {
  QFETCH(QString, script);
  QFETCH(QString, status);
  QFETCH(bool, opened);
  ScopedTempDir folder("outcome");
  WriteBytes(folder / "a.txt", "a");
  ScriptFakeCompiler(script.replace("{book}", Q(folder / "书.chm")).toStdString());
  MainWindow window(FakeCompiler());
  QVERIFY(ShowActive(window));
  window.SetSourceFolder(folder.path());
  window.findChild<QLineEdit*>("Text1")->setText("书");
  QTest::mouseClick(Button(window, "Command2"), Qt::LeftButton);

  QCOMPARE(Status(window), status);
  QCOMPARE(opened_.urls.size(), opened ? 1 : 0);
  for (const char* source : {inkbinder::kContentsFileName, inkbinder::kIndexFileName,
                             inkbinder::kProjectFileName}) {
    QVERIFY2(!Exists(folder / source), source);
  }
}

void MainWindowTest::buttonsDisabledWhileCompiling() {
  ScopedTempDir folder("busy");
  WriteBytes(folder / "a.txt", "a");
  ScriptFakeCompiler("sleep=1000;book=" + folder / "书.chm");
  MainWindow window(FakeCompiler());
  int picks = 0;
  window.SetFolderPicker([&] {
    ++picks;
    return std::string();
  });
  QVERIFY(ShowActive(window));
  window.SetSourceFolder(folder.path());
  auto* title = window.findChild<QLineEdit*>("Text1");
  title->setText("书");

  bool enabled1 = true, enabled2 = true;
  QString typed;
  DuringWait during(window, [&] {
    enabled1 = Button(window, "Command1")->isEnabled();
    enabled2 = Button(window, "Command2")->isEnabled();
    QTest::mouseClick(Button(window, "Command1"), Qt::LeftButton);
    QTest::mouseClick(Button(window, "Command2"), Qt::LeftButton);
    // The rest of the window still answers.
    TypeText(title, "名");
    typed = title->text();
  });
  QTest::mouseClick(Button(window, "Command2"), Qt::LeftButton);

  QVERIFY2(during.ran, "the window handled no events while the compiler ran");
  QVERIFY(!enabled1);
  QVERIFY(!enabled2);
  QCOMPARE(typed, QString("书名"));
  QCOMPARE(picks, 0);
  QCOMPARE(Status(window), QString(inkbinder::kSuccessStatus));
  QCOMPARE(opened_.urls.size(), 1);
  QVERIFY(Button(window, "Command1")->isEnabled());
  QVERIFY(Button(window, "Command2")->isEnabled());
  // The focus goes back to the button that was pressed.
  QCOMPARE(QApplication::focusWidget(), Button(window, "Command2"));
}

void MainWindowTest::closingDuringConversionFinishesItFirst() {
  ScopedTempDir folder("close");
  WriteBytes(folder / "a.txt", "a");
  ScriptFakeCompiler("sleep=800;book=" + folder / "书.chm");
  MainWindow window(FakeCompiler());
  QVERIFY(ShowActive(window));
  window.SetSourceFolder(folder.path());
  window.findChild<QLineEdit*>("Text1")->setText("书");

  bool closed_at_once = true;
  DuringWait during(window, [&] {
    closed_at_once = window.close();
    QCOMPARE(window.isVisible(), true);
  });
  QTest::mouseClick(Button(window, "Command2"), Qt::LeftButton);

  QVERIFY(during.ran);
  QVERIFY(!closed_at_once);
  QVERIFY(!window.isVisible());
  QCOMPARE(FilesIn(folder.path()), QStringList({"a.txt", "书.chm"}));
  QCOMPARE(Status(window), QString(inkbinder::kSuccessStatus));
}

void MainWindowTest::slowListingKeepsTheWindowAnswering() {
  ScopedTempDir folder("slow");
  WriteBytes(folder / "a.txt", "a");
  WriteBytes(folder / "한.txt", "k");
  MainWindow window(FakeCompiler());
  window.SetFolderPicker([&] { return folder.path(); });
  window.SetPageLister([](const std::string& listed) {
    QThread::msleep(800);
    return inkbinder::ListPages(listed);
  });
  QVERIFY(ShowActive(window));
  window.SetStatus(inkbinder::kSuccessStatus);

  // A timer on the window's thread: the longest pause between its ticks is
  // the longest the window went without handling events.
  QElapsedTimer clock;
  qint64 last = -1, longest_gap = 0;
  int ticks_while_listing = 0;
  bool disabled = true, busy_cursor = true, closed_at_once = false;
  QString status_while_listing = "not seen";
  QTimer ticker;
  ticker.setInterval(10);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (last >= 0) longest_gap = std::max(longest_gap, now - last);
    last = now;
    if (window.PageCount() != 0) return;  // the listing has ended
    if (++ticks_while_listing == 5) {
      closed_at_once = window.close();
      TypeText(window.findChild<QLineEdit*>("Text1"), "书");
    }
    disabled = disabled && !Button(window, "Command1")->isEnabled() &&
               !Button(window, "Command2")->isEnabled();
    const QCursor* cursor = QApplication::overrideCursor();
    busy_cursor = busy_cursor && cursor != nullptr && cursor->shape() == Qt::BusyCursor;
    status_while_listing = Status(window);
  });
  clock.start();
  ticker.start();
  QTest::mouseClick(Button(window, "Command1"), Qt::LeftButton);
  ticker.stop();

  QVERIFY2(ticks_while_listing >= 20, qPrintable(QString::number(ticks_while_listing)));
  QVERIFY2(longest_gap < 200, qPrintable(QString::number(longest_gap)));
  QVERIFY(disabled);
  QVERIFY(busy_cursor);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  QCOMPARE(status_while_listing, QString());
  QCOMPARE(ListedPages(window), QStringList{"a.txt"});
  QCOMPARE(Status(window), QString("已略过 1 个无法放入手册的文件"));
  QCOMPARE(window.findChild<QLineEdit*>("Text1")->text(), QString("书"));
  // Closed while listing: the import ends, then the window closes.
  QVERIFY(!closed_at_once);
  QVERIFY(!window.isVisible());
}

void MainWindowTest::convertStagesKeepTheirOrder() {
  ScopedTempDir folder("stages");
  for (int i = 0; i < 2000; ++i) {
    WriteBytes(folder / ("p" + std::to_string(i) + ".txt"), "<title>页</title>\r\n");
  }
  const auto sources = [&] {
    return QString("%1%2%3")
        .arg(Exists(folder / inkbinder::kContentsFileName) ? "c" : "-")
        .arg(Exists(folder / inkbinder::kIndexFileName) ? "i" : "-")
        .arg(Exists(folder / inkbinder::kProjectFileName) ? "p" : "-");
  };
  // Each status text and message box as it appears, with the source files
  // that exist at that moment.
  QStringList stages;  // "what | files"
  QString status;
  QTimer watcher;
  watcher.setInterval(1);

  ScriptFakeCompiler("sleep=300;book=" + folder / "书.chm");
  MainWindow window(FakeCompiler());
  QVERIFY(ShowActive(window));
  window.SetSourceFolder(folder.path());
  auto* title = window.findChild<QLineEdit*>("Text1");
  const auto look = [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      stages << box->text() + " | " + sources();
      box->button(QMessageBox::Ok)->click();
      return;
    }
    if (Status(window) != status) {
      status = Status(window);
      stages << status + " | " + sources();
    }
    // Typing while the run works counts for the next run only.
    if (title->text() == "书") title->setText("书名");
  };
  QObject::connect(&watcher, &QTimer::timeout, look);
  window.SetStatus("");

  // A title refused: the message comes once contents and index are written,
  // before any project.
  title->setText("a/b");
  watcher.start();
  QTest::mouseClick(Button(window, "Command2"), Qt::LeftButton);
  QCOMPARE(stages, QStringList{Q(inkbinder::kBadTitleText) + " | ci-"});

  // A good one: the waiting text once all three are written, then the outcome.
  stages.clear();
  title->setText("书");
  QTest::mouseClick(Button(window, "Command2"), Qt::LeftButton);
  look();  // the outcome comes as the click ends
  watcher.stop();
  QCOMPARE(stages, QStringList({Q(inkbinder::kWaitingStatus) + " | cip",
                                Q(inkbinder::kSuccessStatus) + " | ---"}));
  QVERIFY(Exists(folder / "书.chm"));
  QCOMPARE(title->text(), QString("书名"));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
