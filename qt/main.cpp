#include <QApplication>

#include "qt/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Lets the desktop match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("inkbinder"));
  inkbinder::MainWindow window;
  window.show();
  return app.exec();
}
