// zelt20-icon-file PATH: writes the window's icon as a file. PATH ending in
// .ico: the Windows window's icon file, the picture in 256 colours
// (ui/win32/zelt20-installer.ico is its output; the icon file test checks
// that the two still agree). Any other PATH: a PNG, for the desktop entry of
// an installed program.
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <cstdio>
#include <cstring>

#include "ui/qt/app_icon.h"
#include "ui/qt/icon_file.h"

namespace {

bool EndsWith(const char* text, const char* suffix) {
  const std::size_t length = std::strlen(text);
  const std::size_t suffix_length = std::strlen(suffix);
  return length >= suffix_length && std::strcmp(text + length - suffix_length, suffix) == 0;
}

int WriteIconFile(const char* path) {
  const std::optional<QByteArray> icon = zelt20::IconFile(zelt20::ApplicationIconImage());
  if (!icon) {
    std::fputs("zelt20-icon-file: the picture does not fit 256 colours\n", stderr);
    return 1;
  }
  QFile file(QString::fromLocal8Bit(path));
  if (!file.open(QIODevice::WriteOnly) || file.write(*icon) != icon->size()) {
    std::fprintf(stderr, "zelt20-icon-file: cannot write %s\n", path);
    return 1;
  }
  return 0;
}

int WritePng(const char* path) {
  if (zelt20::ApplicationIconImage().save(QString::fromLocal8Bit(path), "PNG")) return 0;
  std::fprintf(stderr, "zelt20-icon-file: cannot write %s\n", path);
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fputs("Usage: zelt20-icon-file PATH.ico|PATH.png\n", stderr);
    return 64;
  }
  return EndsWith(argv[1], ".ico") ? WriteIconFile(argv[1]) : WritePng(argv[1]);
}
