#include "ui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace zelt20 {
namespace {

// value * numerator / denominator, rounded to the nearest whole pixel.
int Scale(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 Latin letters, rounded to whole pixels.
  const int letters_width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  base_x_ = (letters_width / 26 + 1) / 2;
  base_y_ = metrics.height();
}

QRect DialogUnits::ToPixels(const dialog_layout::Rect& units) const {
  return {Scale(units.x, base_x_, 4), Scale(units.y, base_y_, 8), Scale(units.width, base_x_, 4),
          Scale(units.height, base_y_, 8)};
}

}  // namespace zelt20
