#include "ui/surface.h"

#include <vector>

namespace impactsim::ui {

QImage ViewOf(const picture::Raster& raster) {
  // The raster's pixels are 0xFFRRGGBB, row after row: RGB32 as it is.
  const auto* bits = reinterpret_cast<const uchar*>(raster.Pixels().data());
  return QImage(bits, raster.Width(), raster.Height(), static_cast<qsizetype>(raster.Width()) * 4,
                QImage::Format_RGB32);
}

QImage ImageOf(const picture::Raster& raster) {
  return ViewOf(raster).copy();
}

QRect ToRect(const picture::Box& box) {
  if (box.Empty()) return {};
  return QRect(QPoint(box.left, box.top), QPoint(box.right, box.bottom));
}

void Surface::Polygon(std::span<const QPoint> points) {
  std::vector<picture::Point> converted;
  converted.reserve(points.size());
  for (const QPoint& p : points) converted.push_back({p.x(), p.y()});
  raster_->Polygon(converted);
}

}  // namespace impactsim::ui
