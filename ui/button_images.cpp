#include "ui/button_images.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>

namespace impactsim::ui {

namespace {

constexpr int kImageSize = 18;

QImage Blank() {
  QImage image(kImageSize, kImageSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

}  // namespace

QPixmap CheckMarkImage() {
  QImage image = Blank();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  // A thick tick: a short stroke down to the bottom, a long one up to the right.
  const QPolygon tick(
      {QPoint(2, 9), QPoint(5, 6), QPoint(8, 9), QPoint(14, 2), QPoint(16, 5), QPoint(8, 15)});
  p.setPen(QColor(0, 96, 0));
  p.setBrush(QColor(0, 160, 0));
  p.drawPolygon(tick);
  return QPixmap::fromImage(image);
}

QPixmap OpenDoorImage() {
  QImage image = Blank();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  // The door frame, the dark opening, and the door swung open towards the viewer.
  p.setPen(QColor(64, 64, 64));
  p.setBrush(QColor(40, 40, 40));
  p.drawRect(5, 1, 10, 15);
  const QPolygon door({QPoint(5, 1), QPoint(10, 3), QPoint(10, 17), QPoint(5, 16)});
  p.setPen(QColor(96, 48, 0));
  p.setBrush(QColor(176, 112, 48));
  p.drawPolygon(door);
  p.setPen(QColor(255, 220, 0));
  p.drawPoint(9, 10);  // the handle
  return QPixmap::fromImage(image);
}

}  // namespace impactsim::ui
