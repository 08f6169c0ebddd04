// Writes the program's icon as the PNG that the desktop's menu shows, so the
// menu icon is always the .ico's own image.
#include <cstdio>

#include <QCoreApplication>
#include <QImage>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ICON.ico OUTPUT.png\n", argv[0]);
    return 2;
  }
  QCoreApplication app(argc, argv);
  const QImage image(QString::fromLocal8Bit(argv[1]));
  if (image.isNull()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
