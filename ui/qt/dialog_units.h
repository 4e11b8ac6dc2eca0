// Dialog units: the window's layout is given in units of the dialog font,
// a quarter of its average character width across and an eighth of its
// height down, so the window scales with the font it is shown in.
#pragma once

#include <QFont>
#include <QRect>

#include "ui/dialog_layout.h"

namespace zelt20 {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  QRect ToPixels(const dialog_layout::Rect& units) const;

 private:
  // Pixels per 4 horizontal and per 8 vertical dialog units.
  int base_x_;
  int base_y_;
};

}  // namespace zelt20
