#include "ui/surface.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace impactsim::ui {

namespace {

// Writes single pixels and spans of one colour straight into the picture,
// dropping whatever lies outside it, and keeps the bounding box of what it
// wrote.
class PixelWriter {
 public:
  PixelWriter(QImage& image, QColor colour)
      : bits_(image.bits()),  // one detach per operation, not one per row
        stride_(image.bytesPerLine()),
        width_(image.width()),
        height_(image.height()),
        rgb_(colour.rgb()) {}

  void Set(int x, int y) { Span(x, x, y); }

  // Pixels x0..x1 (both included) of row y.
  void Span(int x0, int x1, int y) {
    if (y < 0 || y >= height_) return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, width_ - 1);
    if (x0 > x1) return;
    auto* row = reinterpret_cast<QRgb*>(bits_ + y * stride_);
    std::fill(row + x0, row + x1 + 1, rgb_);
    left_ = std::min(left_, x0);
    right_ = std::max(right_, x1);
    top_ = std::min(top_, y);
    bottom_ = std::max(bottom_, y);
  }

  // Pixels x0..x1 of rows y0..y1, all included.
  void Block(int x0, int y0, int x1, int y1) {
    for (int y = std::max(y0, 0); y <= std::min(y1, height_ - 1); ++y) Span(x0, x1, y);
  }

  QRect Box() const {
    if (left_ > right_) return {};
    return QRect(QPoint(left_, top_), QPoint(right_, bottom_));
  }

 private:
  uchar* bits_;
  qsizetype stride_;
  int width_;
  int height_;
  QRgb rgb_;
  int left_ = INT_MAX;
  int top_ = INT_MAX;
  int right_ = INT_MIN;
  int bottom_ = INT_MIN;
};

// The pixels of the line from (x0, y0) towards (x1, y1) by Bresenham's
// integer algorithm: one pixel per step along the major axis, each the pixel
// nearest the ideal line. The start point is included and the end point is
// not, so lines chained end to start cover every joint exactly once.
template <typename Plot>
void ForEachLinePixel(int x0, int y0, int x1, int y1, Plot plot) {
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  while (x0 != x1 || y0 != y1) {
    plot(x0, y0);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

// Where an edge crosses a pixel row: x = num / den, den > 0.
struct Crossing {
  std::int64_t num;
  std::int64_t den;
};

bool Before(const Crossing& a, const Crossing& b) {
  return a.num * b.den < b.num * a.den;
}

std::int64_t FloorDiv(std::int64_t num, std::int64_t den) {
  const std::int64_t q = num / den;
  return (num % den != 0 && num < 0) ? q - 1 : q;
}

std::int64_t CeilDiv(std::int64_t num, std::int64_t den) {
  return -FloorDiv(-num, den);
}

int ClampToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
}

}  // namespace

Surface::Surface(int width, int height, QColor background)
    : image_(width, height, QImage::Format_RGB32) {
  image_.fill(background);
}

void Surface::Rectangle(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  const QRect drawn = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)) & image_.rect();
  if (drawn.isEmpty()) return;
  // Row by row: the outline's top and bottom rows whole in the pen colour,
  // the rows between as pen, brush..., pen. The map draws a rectangle per
  // cell, so this stays a plain loop over the rows.
  uchar* bits = image_.bits();
  const qsizetype stride = image_.bytesPerLine();
  const QRgb pen = pen_.rgb();
  const QRgb brush = brush_.rgb();
  const int innerLeft = std::max(left + 1, drawn.left());
  const int innerRight = std::min(right - 2, drawn.right());
  for (int y = drawn.top(); y <= drawn.bottom(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
    if (y == top || y == bottom - 1) {
      std::fill(row + drawn.left(), row + drawn.right() + 1, pen);
      continue;
    }
    if (innerLeft <= innerRight) std::fill(row + innerLeft, row + innerRight + 1, brush);
    if (left >= drawn.left()) row[left] = pen;
    if (right - 1 <= drawn.right()) row[right - 1] = pen;
  }
  Touch(drawn);
}

void Surface::Line(int x0, int y0, int x1, int y1) {
  PixelWriter line(image_, pen_);
  ForEachLinePixel(x0, y0, x1, y1, [&](int x, int y) { line.Set(x, y); });
  Touch(line.Box());
}

void Surface::Polygon(std::span<const QPoint> points) {
  if (points.empty()) return;
  const std::size_t n = points.size();

  // Interior: every pixel whose centre lies inside the polygon by the
  // even-odd rule. An edge counts on the rows from its upper end up to but
  // not including its lower end, so a vertex is counted once. Crossings are
  // kept as exact fractions: a centre lying on an edge is filled, and the
  // outline drawn next covers it anyway.
  PixelWriter fill(image_, brush_);
  int yMin = points[0].y();
  int yMax = points[0].y();
  for (const QPoint& p : points) {
    yMin = std::min(yMin, p.y());
    yMax = std::max(yMax, p.y());
  }
  std::vector<Crossing> crossings;
  for (int y = std::max(yMin, 0); y < std::min(yMax, Height()); ++y) {
    crossings.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const QPoint& a = points[i];
      const QPoint& b = points[(i + 1) % n];
      if (a.y() == b.y() || y < std::min(a.y(), b.y()) || y >= std::max(a.y(), b.y())) continue;
      std::int64_t den = b.y() - a.y();
      std::int64_t num = std::int64_t{a.x()} * den + std::int64_t{y - a.y()} * (b.x() - a.x());
      if (den < 0) {
        den = -den;
        num = -num;
      }
      crossings.push_back({num, den});
    }
    std::sort(crossings.begin(), crossings.end(), Before);
    for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
      fill.Span(ClampToInt(CeilDiv(crossings[i].num, crossings[i].den)),
                ClampToInt(FloorDiv(crossings[i + 1].num, crossings[i + 1].den)), y);
    }
  }

  // Outline: each edge as a line from its start to its end, the closing edge
  // included, so every vertex is the start of some line. A vertex is also set
  // directly so that zero-length edges (repeated points) still show.
  PixelWriter outline(image_, pen_);
  for (std::size_t i = 0; i < n; ++i) {
    const QPoint& a = points[i];
    const QPoint& b = points[(i + 1) % n];
    outline.Set(a.x(), a.y());
    ForEachLinePixel(a.x(), a.y(), b.x(), b.y(), [&](int x, int y) { outline.Set(x, y); });
  }
  Touch(fill.Box() | outline.Box());
}

void Surface::Text(int x, int y, const QString& text) {
  QFont font = font_;
  font.setStyleStrategy(QFont::NoAntialias);
  const QFontMetrics metrics(font, &image_);
  const QRect background(x, y, metrics.horizontalAdvance(text),
                         metrics.ascent() + metrics.descent());
  const QPoint baseline(x, y + metrics.ascent());

  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
  painter.fillRect(background, brush_);
  painter.setFont(font);
  painter.setPen(fontColour_);
  painter.drawText(baseline, text);
  painter.end();

  // Glyphs may reach a little past their advance (overhangs), so the ink's
  // extent counts as drawn as well.
  Touch(background | metrics.boundingRect(text).translated(baseline));
}

QRect Surface::TakeDirty() {
  const QRect dirty = dirty_;
  dirty_ = QRect();
  return dirty;
}

void Surface::Touch(const QRect& r) {
  dirty_ |= r & image_.rect();
}

}  // namespace impactsim::ui
