// The Windows window's icon file: the Linux window's picture in 256
// colours, as ui/win32/zelt20-installer.ico holds it.
#include <QFile>
#include <QImage>
#include <QTest>

#include "ui/qt/app_icon.h"
#include "ui/qt/icon_file.h"

namespace zelt20::test {

class IconFileTest : public QObject {
  Q_OBJECT

 private slots:
  // A change of the picture needs a new file: zelt20-icon-file writes it.
  void committedFileIsThePicture() {
    QFile committed(QStringLiteral(ZELT20_WINDOWS_ICON_FILE));
    QVERIFY(committed.open(QIODevice::ReadOnly));
    const std::optional<QByteArray> icon = IconFile(ApplicationIconImage());
    QVERIFY(icon.has_value());
    QCOMPARE(committed.readAll(), *icon);

    // What a reader of the file sees: the same picture, without the
    // half-transparent edges.
    QImage read;
    QVERIFY(read.loadFromData(*icon, "ICO"));
    const QImage picture = ApplicationIconImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(read.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const QRgb seen = read.pixel(x, y);
        const QRgb drawn = picture.pixel(x, y);
        QCOMPARE(qAlpha(seen), qAlpha(drawn) >= 128 ? 255 : 0);
        if (qAlpha(drawn) >= 128) QCOMPARE(seen & 0xFFFFFFu, drawn & 0xFFFFFFu);
      }
    }
  }

  void pictureOfMoreThan256ColoursIsRefused() {
    QImage picture(32, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) picture.setPixel(x, y, qRgb(x * 8, y * 8, 0));
    }
    QVERIFY(!IconFile(picture).has_value());
    QVERIFY(!IconFile(QImage(16, 16, QImage::Format_ARGB32)).has_value());
  }
};

}  // namespace zelt20::test

QTEST_MAIN(zelt20::test::IconFileTest)
#include "icon_file_test.moc"
