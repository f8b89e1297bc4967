// The theme's icon files are the program's own drawing: its 32 px picture exactly, whole
// multiples of it with square pixels, and the other sizes the same picture smoothed.
#include <QGuiApplication>
#include <QImage>
#include <QtTest>

#include "app/program_icon.h"

namespace {

QImage Drawn() {
  return tarnwick::ProgramIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage IconFile(int size) {
  const QString path = QStringLiteral(TARNWICK_ICON_DIR "/%1x%1/apps/tarnwick.png").arg(size);
  return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

// The mean of each channel, which smoothing keeps.
QVector<double> MeanColour(const QImage& image) {
  QVector<double> sums(4, 0.0);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      sums[0] += qRed(pixel);
      sums[1] += qGreen(pixel);
      sums[2] += qBlue(pixel);
      sums[3] += qAlpha(pixel);
    }
  }
  for (double& sum : sums) sum /= image.width() * image.height();
  return sums;
}

}  // namespace

class IconFilesTest : public QObject {
  Q_OBJECT

 private slots:
  void WholeMultiplesRepeatEachPixel_data() {
    QTest::addColumn<int>("size");
    for (const int size : {32, 64, 128, 256}) QTest::addRow("%d px", size) << size;
  }
  void WholeMultiplesRepeatEachPixel() {
    QFETCH(int, size);
    const QImage drawn = Drawn();
    const QImage icon = IconFile(size);
    QCOMPARE(icon.size(), QSize(size, size));
    const int factor = size / 32;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        if (icon.pixel(x, y) != drawn.pixel(x / factor, y / factor)) {
          QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is not the drawing's").arg(x).arg(y)));
        }
      }
    }
  }

  void OtherSizesAreTheSamePictureSmoothed_data() {
    QTest::addColumn<int>("size");
    for (const int size : {16, 22, 24, 48}) QTest::addRow("%d px", size) << size;
  }
  void OtherSizesAreTheSamePictureSmoothed() {
    QFETCH(int, size);
    const QImage icon = IconFile(size);
    QCOMPARE(icon.size(), QSize(size, size));
    const QVector<double> drawn = MeanColour(Drawn());
    const QVector<double> scaled = MeanColour(icon);
    for (int channel = 0; channel < 4; ++channel) {
      QVERIFY2(qAbs(drawn[channel] - scaled[channel]) < 4.0,
               qPrintable(QStringLiteral("channel %1: %2 against the drawing's %3")
                              .arg(channel)
                              .arg(scaled[channel])
                              .arg(drawn[channel])));
    }
  }
};

QTEST_MAIN(IconFilesTest)
#include "icon_render_test.moc"
