// Button pictures painted on 16 x 16 pixmaps.
#include "app/button_pictures.h"

#include <QPainter>
#include <QPixmap>

namespace app {

QIcon save_picture() {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  // Disk body, label and shutter.
  p.setPen(QColor(0, 0, 96));
  p.setBrush(QColor(40, 70, 160));
  p.drawRect(1, 1, 13, 13);
  p.setBrush(Qt::white);
  p.drawRect(3, 1, 9, 5);
  p.setBrush(QColor(160, 160, 160));
  p.drawRect(4, 9, 7, 5);
  // Green arrow pointing down into the disk.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 150, 0));
  p.drawRect(7, 0, 2, 4);
  QPolygon head;
  head << QPoint(5, 3) << QPoint(11, 3) << QPoint(8, 6);
  p.drawPolygon(head);
  return QIcon(pm);
}

QIcon close_picture() {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(QColor(200, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(3, 3, 12, 12);
  p.drawLine(12, 3, 3, 12);
  return QIcon(pm);
}

}  // namespace app
