#include "ui/qt/icon_file.h"

#include <QDataStream>
#include <QIODevice>
#include <QRgb>
#include <QVector>

namespace zelt20 {
namespace {

constexpr int kSide = 32;
constexpr int kPaletteSize = 256;
constexpr quint32 kHeaderSize = 40;
// Rows are stored bottom-up, each padded to 4 bytes: 32 palette indices,
// then the mask's 32 bits.
constexpr quint32 kColourBytes = kSide * kSide;
constexpr quint32 kMaskRowBytes = 4;
constexpr quint32 kImageBytes = kHeaderSize + kPaletteSize * 4 + kColourBytes + kMaskRowBytes * kSide;
constexpr quint32 kDirectoryBytes = 6 + 16;

bool Opaque(QRgb pixel) { return qAlpha(pixel) >= 128; }

}  // namespace

std::optional<QByteArray> IconFile(const QImage& picture) {
  if (picture.width() != kSide || picture.height() != kSide) return std::nullopt;
  const QImage image = picture.convertToFormat(QImage::Format_ARGB32);

  // Palette entry 0 is black: transparent pixels are 0 in the colour image,
  // so that the screen shows through unchanged.
  QVector<QRgb> palette{qRgb(0, 0, 0)};
  QVector<quint8> indices(kSide * kSide, 0);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (!Opaque(pixel)) continue;
      const QRgb colour = qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
      qsizetype index = palette.indexOf(colour);
      if (index < 0) {
        if (palette.size() == kPaletteSize) return std::nullopt;
        index = palette.size();
        palette.append(colour);
      }
      indices[y * kSide + x] = static_cast<quint8>(index);
    }
  }
  palette.resize(kPaletteSize, qRgb(0, 0, 0));

  QByteArray file;
  QDataStream out(&file, QIODevice::WriteOnly);
  out.setByteOrder(QDataStream::LittleEndian);
  // The directory: one icon image.
  out << quint16{0} << quint16{1} << quint16{1};
  out << quint8{kSide} << quint8{kSide} << quint8{0} << quint8{0}  // 0 colours: 256
      << quint16{1} << quint16{8} << kImageBytes << kDirectoryBytes;
  // The image: a bitmap header whose height counts the colours and the mask.
  out << kHeaderSize << qint32{kSide} << qint32{2 * kSide} << quint16{1} << quint16{8}
      << quint32{0} << kColourBytes + kMaskRowBytes * kSide << qint32{0} << qint32{0}
      << quint32{kPaletteSize} << quint32{0};
  for (const QRgb colour : palette) {
    out << static_cast<quint8>(qBlue(colour)) << static_cast<quint8>(qGreen(colour))
        << static_cast<quint8>(qRed(colour)) << quint8{0};
  }
  for (int y = kSide - 1; y >= 0; --y) {
    for (int x = 0; x < kSide; ++x) out << indices[y * kSide + x];
  }
  for (int y = kSide - 1; y >= 0; --y) {
    quint32 row = 0;  // most significant bit first: 1 lets the screen show through
    for (int x = 0; x < kSide; ++x) {
      if (!Opaque(image.pixel(x, y))) row |= 0x80000000u >> x;
    }
    out << static_cast<quint8>(row >> 24) << static_cast<quint8>(row >> 16)
        << static_cast<quint8>(row >> 8) << static_cast<quint8>(row);
  }
  return file;
}

}  // namespace zelt20
