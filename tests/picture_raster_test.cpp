// The picture library's raster rules on small pictures written out by hand:
// each row draws onto a raster of the background colour and must leave
// exactly the picture shown, '.' the background, 'p' the pen, 'b' the brush
// and 'f' the font colour, and report exactly the box of what it drew.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "picture/glyph_font.h"
#include "picture/raster.h"

using namespace impactsim::picture;

namespace {

constexpr Rgb kBackground = 0x010203;
constexpr Rgb kPen = 0xFF0000;
constexpr Rgb kBrush = 0x0000FF;
constexpr Rgb kFont = 0x000080;

// Two glyphs of 2 x 2 pixels standing on the baseline: 'A' (.#/##), 2.5
// pixels wide, and 'V' (##/#.), 2 pixels wide; "AV" kerned by -40/64, so
// the pen's whole pixel is its position rounded down, not to the nearest.
constexpr std::array<std::uint32_t, 4> kRows = {0b10, 0b11, 0b11, 0b01};
const std::array<Glyph, 2> kGlyphs = {
    Glyph{'A', 160, 0, -2, 2, std::span(kRows.data(), 2)},
    Glyph{'V', 128, 0, -2, 2, std::span(kRows.data() + 2, 2)},
};
const std::array<Kerning, 1> kKernings = {Kerning{'A', 'V', -40}};
const GlyphFont kTestFont{2, 1, kGlyphs, kKernings};

struct Case {
  const char* name;
  std::function<void(Raster&)> draw;
  std::vector<std::string> picture;
  Box dirty;
};

std::vector<std::string> PictureOf(const Raster& raster) {
  std::vector<std::string> rows;
  for (int y = 0; y < raster.Height(); ++y) {
    std::string row;
    for (int x = 0; x < raster.Width(); ++x) {
      const std::uint32_t pixel = raster.At(x, y);
      row += pixel == (0xFF000000u | kBackground) ? '.'
             : pixel == (0xFF000000u | kPen)      ? 'p'
             : pixel == (0xFF000000u | kBrush)    ? 'b'
             : pixel == (0xFF000000u | kFont)     ? 'f'
                                                  : '?';
    }
    rows.push_back(row);
  }
  return rows;
}

const Case kCases[] = {
    // The outline lies inside; the right column and bottom row are left out;
    // the parts over the edges are cut off.
    {"rectangle over the top left corner",
     [](Raster& r) { r.Rectangle(-2, -1, 3, 4); },
     {"bbp...", "bbp...", "bbp...", "ppp...", "......"},
     Box{0, 0, 2, 3}},
    {"rectangle of no width",
     [](Raster& r) { r.Rectangle(3, 1, 3, 4); },
     {"......", "......", "......"},
     Box{}},
    // Bresenham's pixels from the start point, the end point left out, the
    // part beyond the right edge cut off.
    {"line out over the right edge",
     [](Raster& r) { r.Line(5, 0, 11, 3); },
     {".....p..", "......pp", "........", "........"},
     Box{5, 0, 7, 1}},
    // Pixel centres inside by the even-odd rule in the brush, every edge in
    // the pen, the closing one too; the notch stays empty.
    {"concave polygon",
     [](Raster& r) {
       const Point shape[] = {{0, 0}, {4, 0}, {4, 4}, {2, 2}, {0, 4}};
       r.Polygon(shape);
     },
     {"ppppp.", "pbbbp.", "pbpbp.", "pp.pp.", "p...p.", "......"},
     Box{0, 0, 4, 4}},
    // "AVA!": the background box as wide as the run rounded (6.875 -> 6
    // pixels, as "!" has no glyph and takes no room), the glyphs at their
    // pen positions rounded down (0, 1.875, 3.875).
    {"text run with kerning",
     [](Raster& r) { r.Text(1, 0, kTestFont, "AVA!"); },
     {".bffbfb.", ".ffbffb.", ".bbbbbb.", "........"},
     Box{1, 0, 6, 2}},
};

TEST(RasterTest, DrawsExactlyThePixelsOfItsRules) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Raster raster(static_cast<int>(c.picture[0].size()), static_cast<int>(c.picture.size()),
                  kBackground);
    raster.SetPen(kPen);
    raster.SetBrush(kBrush);
    raster.SetFontColour(kFont);
    c.draw(raster);
    EXPECT_EQ(PictureOf(raster), c.picture);
    EXPECT_EQ(raster.TakeDirty(), c.dirty);
    EXPECT_TRUE(raster.TakeDirty().Empty());
  }
}

}  // namespace
