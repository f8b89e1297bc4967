// Writes the program's icon as PNG files for a desktop's icon theme, from the one drawing the
// program shows in its own windows: DIR/<n>x<n>/apps/tarnwick.png for each size a theme expects.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <cstdio>

#include "app/program_icon.h"

namespace {

constexpr int kDrawnSize = 32;
constexpr int kThemeSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The 32 x 32 drawing is pixel art: whole multiples keep its pixels square and sharp
// (nearest neighbour); any other size is the next whole multiple above it smoothed down, so that
// no pixel row is dropped or doubled unevenly.
QImage IconAt(const QImage& drawn, int size) {
  const int factor = (size + kDrawnSize - 1) / kDrawnSize;
  QImage image = drawn.scaled(kDrawnSize * factor, kDrawnSize * factor, Qt::IgnoreAspectRatio,
                              Qt::FastTransformation);
  if (image.width() == size) return image;
  return image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tarnwick-icons DIR\n");
    return 2;
  }
  const QImage drawn = tarnwick::ProgramIcon()
                           .pixmap(kDrawnSize, kDrawnSize)
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32);
  if (drawn.width() != kDrawnSize || drawn.height() != kDrawnSize) {
    std::fprintf(stderr, "tarnwick-icons: the program's icon is not %d x %d\n", kDrawnSize,
                 kDrawnSize);
    return 1;
  }
  const QDir root(QString::fromLocal8Bit(argv[1]));
  for (const int size : kThemeSizes) {
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    const QString file = root.filePath(folder + QStringLiteral("/tarnwick.png"));
    if (!root.mkpath(folder) || !IconAt(drawn, size).save(file, "PNG")) {
      std::fprintf(stderr, "tarnwick-icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
