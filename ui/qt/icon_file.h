// The Windows icon file of the installer's picture: one 32 x 32 image in
// 256 colours (an 8-bit palette and a transparency mask), as the Windows
// window's resource script takes it.
#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

namespace zelt20 {

// The .ico bytes of a 32 x 32 picture. A pixel at least half opaque keeps
// its colour; the others are transparent. None when the picture has more
// than 256 colours.
std::optional<QByteArray> IconFile(const QImage& picture);

}  // namespace zelt20
