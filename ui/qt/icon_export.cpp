// Writes the window's icon as a PNG file, for the desktop entry of an
// installed program: zelt20-icon-export FILE.png
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "ui/qt/app_icon.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fputs("Usage: zelt20-icon-export FILE.png\n", stderr);
    return 64;
  }
  QApplication app(argc, argv);
  constexpr int kSize = 32;
  return zelt20::MakeApplicationIcon()
                 .pixmap(kSize, kSize)
                 .save(QString::fromLocal8Bit(argv[1]), "PNG")
             ? 0
             : 1;
}
