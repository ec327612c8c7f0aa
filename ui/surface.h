#pragma once
// A paint surface: an off-screen picture with a pen, a brush and a font, and
// the few drawing operations the map and the chart use, each giving exactly
// the pixels of the classic raster conventions (no antialiasing):
//  - a rectangle (left, top, right, bottom) excludes its right column and
//    bottom row; its one-pixel outline in the pen colour lies along the inside
//    edge, its interior is filled with the brush colour;
//  - a line covers its start point and not its end point;
//  - a polygon is filled with the brush colour and outlined with the pen along
//    all its edges;
//  - text is drawn with the top-left corner of its first character cell at
//    the given point, on an opaque background in the brush colour.
// Everything is clipped to the surface. The surface remembers which pixels
// changed since the last TakeDirty, so the window can repaint just those.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <span>

namespace impactsim::ui {

class Surface {
 public:
  Surface(int width, int height, QColor background);

  const QImage& Image() const { return image_; }
  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }

  void SetPen(QColor colour) { pen_ = colour; }
  void SetBrush(QColor colour) { brush_ = colour; }
  void SetFont(const QFont& font) { font_ = font; }
  void SetFontColour(QColor colour) { fontColour_ = colour; }

  void Rectangle(int left, int top, int right, int bottom);
  void Line(int x0, int y0, int x1, int y1);
  void Polygon(std::span<const QPoint> points);
  void Text(int x, int y, const QString& text);

  // The bounding rectangle of everything drawn since the last call (empty if
  // nothing was), and forgets it.
  QRect TakeDirty();

 private:
  void Touch(const QRect& r);

  QImage image_;
  QColor pen_{Qt::black};
  QColor brush_{Qt::white};
  QColor fontColour_{Qt::black};
  QFont font_;
  QRect dirty_;
};

}  // namespace impactsim::ui
