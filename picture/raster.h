#pragma once
// A raster: a picture of width x height pixels, each 0xFFRRGGBB, row after
// row from the top, with a pen, a brush and a font colour, and the few
// drawing operations the map and the chart use. No toolkit: the window
// shows the same buffer, and any other front end can show it as it is.
//
// Contract, each giving exactly the pixels of the classic raster
// conventions (no antialiasing):
//  - a rectangle (left, top, right, bottom) excludes its right column and
//    bottom row; its one-pixel outline in the pen colour lies along the inside
//    edge, its interior is filled with the brush colour;
//  - a line covers its start point and not its end point (Bresenham);
//  - a polygon is filled with the brush colour (pixel centres inside by the
//    even-odd rule) and outlined with the pen along all its edges;
//  - text is drawn with the top-left corner of its first character cell at
//    the given point, on an opaque background in the brush colour, its
//    glyphs in the font colour from a glyph table (see glyph_font.h).
// Everything is clipped to the raster. The raster remembers the bounding box
// of the pixels drawn since the last TakeDirty, so a window can repaint just
// those. Colours are 0xRRGGBB; the top byte is ignored.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "picture/glyph_font.h"

namespace impactsim::picture {

using Rgb = std::uint32_t;

struct Point {
  int x = 0;
  int y = 0;
};

// Pixels left..right and top..bottom, all included; empty when right < left.
struct Box {
  int left = 0;
  int top = 0;
  int right = -1;
  int bottom = -1;

  bool Empty() const { return right < left || bottom < top; }
  // The smallest box holding both (an empty box adds nothing).
  Box operator|(const Box& other) const;
  // The pixels in both (empty if none).
  Box operator&(const Box& other) const;
  bool operator==(const Box&) const = default;
};

class Raster {
 public:
  // A raster of the given size (0 or more each) filled with `background`.
  Raster(int width, int height, Rgb background);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // width * height pixels, 0xFFRRGGBB, row after row: what the picture shows.
  std::span<const std::uint32_t> Pixels() const { return pixels_; }
  std::uint32_t At(int x, int y) const;  // x, y inside the raster

  void SetPen(Rgb colour) { pen_ = Opaque(colour); }
  void SetBrush(Rgb colour) { brush_ = Opaque(colour); }
  void SetFontColour(Rgb colour) { fontColour_ = Opaque(colour); }

  void Rectangle(int left, int top, int right, int bottom);
  void Line(int x0, int y0, int x1, int y1);
  void Polygon(std::span<const Point> points);
  // Characters the font has no glyph for take no room and draw nothing.
  void Text(int x, int y, const GlyphFont& font, std::string_view text);

  // The bounding box of everything drawn since the last call (empty if
  // nothing was), and forgets it.
  Box TakeDirty();

 private:
  static std::uint32_t Opaque(Rgb colour) { return 0xFF000000u | colour; }
  void Touch(const Box& box);

  int width_;
  int height_;
  std::vector<std::uint32_t> pixels_;
  std::uint32_t pen_ = Opaque(0x000000);
  std::uint32_t brush_ = Opaque(0xFFFFFF);
  std::uint32_t fontColour_ = Opaque(0x000000);
  Box dirty_;
};

}  // namespace impactsim::picture
