#include "picture/raster.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace impactsim::picture {

namespace {

// Writes single pixels and spans of one colour straight into the raster,
// dropping whatever lies outside it, and keeps the bounding box of what it
// wrote.
class PixelWriter {
 public:
  PixelWriter(std::uint32_t* pixels, int width, int height, std::uint32_t colour)
      : pixels_(pixels), width_(width), height_(height), colour_(colour) {}

  void Set(int x, int y) { Span(x, x, y); }

  // Pixels x0..x1 (both included) of row y.
  void Span(int x0, int x1, int y) {
    if (y < 0 || y >= height_) return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, width_ - 1);
    if (x0 > x1) return;
    std::uint32_t* row = pixels_ + static_cast<std::ptrdiff_t>(y) * width_;
    std::fill(row + x0, row + x1 + 1, colour_);
    box_ = box_ | Box{x0, y, x1, y};
  }

  const Box& Drawn() const { return box_; }

 private:
  std::uint32_t* pixels_;
  int width_;
  int height_;
  std::uint32_t colour_;
  Box box_;
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

// The interior of a polygon: every pixel whose centre lies inside it by the
// even-odd rule. An edge counts on the rows from its upper end up to but not
// including its lower end, so a vertex is counted once. Crossings are kept
// as exact fractions: a centre lying on an edge is filled, and the outline
// drawn next covers it anyway.
void FillPolygon(std::span<const Point> points, int height, PixelWriter& fill) {
  const std::size_t n = points.size();
  int yMin = points[0].y;
  int yMax = points[0].y;
  for (const Point& p : points) {
    yMin = std::min(yMin, p.y);
    yMax = std::max(yMax, p.y);
  }
  std::vector<Crossing> crossings;
  for (int y = std::max(yMin, 0); y < std::min(yMax, height); ++y) {
    crossings.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const Point& a = points[i];
      const Point& b = points[(i + 1) % n];
      if (a.y == b.y || y < std::min(a.y, b.y) || y >= std::max(a.y, b.y)) continue;
      std::int64_t den = b.y - a.y;
      std::int64_t num = std::int64_t{a.x} * den + std::int64_t{y - a.y} * (b.x - a.x);
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
}

}  // namespace

Box Box::operator|(const Box& other) const {
  if (Empty()) return other;
  if (other.Empty()) return *this;
  return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
          std::max(bottom, other.bottom)};
}

Box Box::operator&(const Box& other) const {
  const Box both{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                 std::min(bottom, other.bottom)};
  return both.Empty() ? Box{} : both;
}

Raster::Raster(int width, int height, Rgb background)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
              Opaque(background)) {}

std::uint32_t Raster::At(int x, int y) const {
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                 static_cast<std::size_t>(x)];
}

void Raster::Rectangle(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  const Box drawn = Box{left, top, right - 1, bottom - 1} & Box{0, 0, width_ - 1, height_ - 1};
  if (drawn.Empty()) return;
  // Row by row: the outline's top and bottom rows whole in the pen colour,
  // the rows between as pen, brush..., pen. The map draws a rectangle per
  // cell, so this stays a plain loop over the rows.
  const int innerLeft = std::max(left + 1, drawn.left);
  const int innerRight = std::min(right - 2, drawn.right);
  for (int y = drawn.top; y <= drawn.bottom; ++y) {
    std::uint32_t* row = pixels_.data() + static_cast<std::ptrdiff_t>(y) * width_;
    if (y == top || y == bottom - 1) {
      std::fill(row + drawn.left, row + drawn.right + 1, pen_);
      continue;
    }
    if (innerLeft <= innerRight) std::fill(row + innerLeft, row + innerRight + 1, brush_);
    if (left >= drawn.left) row[left] = pen_;
    if (right - 1 <= drawn.right) row[right - 1] = pen_;
  }
  Touch(drawn);
}

void Raster::Line(int x0, int y0, int x1, int y1) {
  PixelWriter line(pixels_.data(), width_, height_, pen_);
  ForEachLinePixel(x0, y0, x1, y1, [&](int x, int y) { line.Set(x, y); });
  Touch(line.Drawn());
}

void Raster::Polygon(std::span<const Point> points) {
  if (points.empty()) return;
  PixelWriter fill(pixels_.data(), width_, height_, brush_);
  FillPolygon(points, height_, fill);
  // Outline: each edge as a line from its start to its end, the closing edge
  // included, so every vertex is the start of some line. A vertex is also set
  // directly so that zero-length edges (repeated points) still show.
  PixelWriter outline(pixels_.data(), width_, height_, pen_);
  const std::size_t n = points.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Point& a = points[i];
    const Point& b = points[(i + 1) % n];
    outline.Set(a.x, a.y);
    ForEachLinePixel(a.x, a.y, b.x, b.y, [&](int x, int y) { outline.Set(x, y); });
  }
  Touch(fill.Drawn() | outline.Drawn());
}

void Raster::Text(int x, int y, const GlyphFont& font, std::string_view text) {
  PixelWriter background(pixels_.data(), width_, height_, brush_);
  const int width = font.Width(text);
  for (int row = y; row < y + font.Ascent + font.Descent; ++row) {
    if (width > 0) background.Span(x, x + width - 1, row);
  }
  PixelWriter ink(pixels_.data(), width_, height_, fontColour_);
  const int baseline = y + font.Ascent;
  std::int64_t pen = 0;  // 64ths of a pixel
  for (std::size_t i = 0; i < text.size(); ++i) {
    const Glyph* glyph = font.Find(text[i]);
    if (glyph == nullptr) continue;
    const int originX = x + static_cast<int>(FloorDiv(pen, 64));
    for (std::size_t r = 0; r < glyph->Rows.size(); ++r) {
      const int py = baseline + glyph->Top + static_cast<int>(r);
      for (int b = 0; b < glyph->Width; ++b) {
        if ((glyph->Rows[r] >> b) & 1u) ink.Set(originX + glyph->Left + b, py);
      }
    }
    pen += glyph->Advance;
    if (i + 1 < text.size()) pen += font.Kern(text[i], text[i + 1]);
  }
  // The box is what the background covers, widened by any ink reaching past
  // it (overhangs).
  Touch(background.Drawn() | ink.Drawn());
}

Box Raster::TakeDirty() {
  const Box dirty = dirty_;
  dirty_ = Box{};
  return dirty;
}

void Raster::Touch(const Box& box) {
  dirty_ = dirty_ | (box & Box{0, 0, width_ - 1, height_ - 1});
}

}  // namespace impactsim::picture
