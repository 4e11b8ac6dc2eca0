// The installer's icon: a station cabinet with a download arrow, drawn at
// 32 x 32 pixels.
#pragma once

#include <QIcon>
#include <QImage>

namespace zelt20 {

// The picture itself; the Windows window's icon file is made from it too.
QImage ApplicationIconImage();

QIcon MakeApplicationIcon();

}  // namespace zelt20
