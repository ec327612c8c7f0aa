#pragma once
// The Qt face of a picture::Raster (see picture/raster.h for its drawing
// rules): its pixels as a QImage, and its drawing operations in Qt's types.
// A Surface draws nothing of its own; it refers to a raster that outlives it.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <span>

#include "picture/glyph_font.h"
#include "picture/raster.h"

namespace impactsim::ui {

// A copy of the raster's pixels, RGB32: it stays as it is while the raster
// is drawn on.
QImage ImageOf(const picture::Raster& raster);
// The raster's pixels without a copy, read-only, for painting or saving them
// at once: it shows whatever the raster holds, and is valid only while the
// raster lives and keeps its size.
QImage ViewOf(const picture::Raster& raster);

QRect ToRect(const picture::Box& box);

class Surface {
 public:
  explicit Surface(picture::Raster& raster) : raster_(&raster) {}

  QImage Image() const { return ImageOf(*raster_); }
  int Width() const { return raster_->Width(); }
  int Height() const { return raster_->Height(); }

  void SetPen(QColor colour) { raster_->SetPen(colour.rgb()); }
  void SetBrush(QColor colour) { raster_->SetBrush(colour.rgb()); }
  void SetFontColour(QColor colour) { raster_->SetFontColour(colour.rgb()); }

  void Rectangle(int left, int top, int right, int bottom) {
    raster_->Rectangle(left, top, right, bottom);
  }
  void Line(int x0, int y0, int x1, int y1) { raster_->Line(x0, y0, x1, y1); }
  void Polygon(std::span<const QPoint> points);
  // Text in a glyph table's font; a character outside Latin-1 is drawn as
  // '?'.
  void Text(int x, int y, const picture::GlyphFont& font, const QString& text) {
    raster_->Text(x, y, font, text.toLatin1().toStdString());
  }

  // The bounding rectangle of everything drawn since the last call (empty if
  // nothing was), and forgets it.
  QRect TakeDirty() { return ToRect(raster_->TakeDirty()); }

 private:
  picture::Raster* raster_;
};

}  // namespace impactsim::ui
