#include "app/program_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace tarnwick {

QIcon ProgramIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(QColor(0, 0, 128));
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, false);
  // A crate (the package) with a pale arrow dropping into it.
  painter.setPen(QColor(96, 48, 0));
  painter.setBrush(QColor(200, 140, 40));
  painter.drawRect(5, 16, 22, 13);
  painter.setPen(QColor(96, 48, 0));
  painter.drawLine(5, 21, 27, 21);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(192, 192, 255));
  painter.drawRect(13, 2, 6, 9);
  painter.drawPolygon(QPolygon({QPoint(8, 11), QPoint(24, 11), QPoint(16, 19)}));
  painter.end();
  return QIcon(pixmap);
}

}  // namespace tarnwick
