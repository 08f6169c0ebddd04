// Writes pictures of the window for a person to look at: as it starts, and
// with a folder of pages imported, a title typed and a finished conversion.
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "commands/messages.h"
#include "qt/main_window.h"

namespace {

bool Save(QWidget& window, const QString& path) {
  if (!window.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));

  QTemporaryDir pages;
  for (const char* name : {"第1章 起.txt", "第2章 承.txt", "第10章 合.txt", "附录.TXT", "readme.txt"}) {
    QFile page(pages.filePath(QString::fromUtf8(name)));
    if (!page.open(QIODevice::WriteOnly)) return 1;
  }

  inkbinder::MainWindow window;
  window.SetFolderPicker([&] { return pages.path().toStdString(); });
  window.show();
  if (!Save(window, out.filePath("qt-window-start.png"))) return 1;

  window.findChild<QPushButton*>("Command1")->click();
  window.findChild<QLineEdit*>("Text1")->setText(QStringLiteral("示例手册"));
  window.SetStatus(inkbinder::kSuccessStatus);
  return Save(window, out.filePath("qt-window-filled.png")) ? 0 : 1;
}
