#include "ui/qt/app_icon.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace zelt20 {

QImage ApplicationIconImage() {
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);

  // The station: a grey cabinet with a row of line lamps.
  painter.setPen(QPen(QColor(40, 40, 48), 1));
  painter.setBrush(QColor(176, 182, 192));
  painter.drawRoundedRect(QRectF(3.5, 12.5, 25, 17), 2, 2);
  painter.setBrush(QColor(60, 66, 80));
  painter.drawRect(QRectF(6.5, 15.5, 19, 5));
  painter.setPen(Qt::NoPen);
  const QColor lamps[] = {QColor(80, 220, 90), QColor(80, 220, 90), QColor(250, 200, 40),
                          QColor(80, 220, 90)};
  for (int i = 0; i < 4; ++i) {
    painter.setBrush(lamps[i]);
    painter.drawEllipse(QRectF(8.0 + 4.5 * i, 16.5, 3, 3));
  }
  painter.setBrush(QColor(90, 96, 110));
  painter.drawRect(QRectF(7, 23.5, 18, 1.5));
  painter.drawRect(QRectF(7, 26, 18, 1.5));

  // The new firmware going in: a blue arrow pointing down at the cabinet.
  const QPolygonF arrow({{13, 1}, {19, 1}, {19, 7}, {24, 7}, {16, 14}, {8, 7}, {13, 7}});
  painter.setPen(QPen(QColor(10, 50, 130), 1));
  painter.setBrush(QColor(40, 110, 230));
  painter.drawPolygon(arrow);
  painter.end();
  return image;
}

QIcon MakeApplicationIcon() { return QIcon(QPixmap::fromImage(ApplicationIconImage())); }

}  // namespace zelt20
