// The installer's icon: a station cabinet with a download arrow, drawn at
// 32 x 32 pixels.
#pragma once

#include <QIcon>

namespace zelt20 {

QIcon MakeApplicationIcon();

}  // namespace zelt20
