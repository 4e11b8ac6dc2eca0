// zelt20-icon-file PATH: writes the Windows window's icon file, the Linux
// window's picture in 256 colours. ui/win32/zelt20-installer.ico is its
// output; the icon file test checks that the two still agree.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "ui/qt/app_icon.h"
#include "ui/qt/icon_file.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fputs("Usage: zelt20-icon-file PATH\n", stderr);
    return 64;
  }
  const std::optional<QByteArray> icon = zelt20::IconFile(zelt20::ApplicationIconImage());
  if (!icon) {
    std::fputs("zelt20-icon-file: the picture does not fit 256 colours\n", stderr);
    return 1;
  }
  QFile file(QString::fromLocal8Bit(argv[1]));
  if (!file.open(QIODevice::WriteOnly) || file.write(*icon) != icon->size()) {
    std::fprintf(stderr, "zelt20-icon-file: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
