#pragma once
// Glyph tables: the few fonts the pictures write in, as 1-bit glyphs
// measured and drawn once at build time by the font machinery of the
// windows (impactsim-glyphs), so that text comes out in the same pixels with
// no font machinery at all.
//
// Contract: a text run starts its pen at 0; each character's glyph is drawn
// with its origin at the pen's whole pixel (the pen position rounded down)
// on the baseline, then the pen moves on by the character's advance plus
// the kerning of the pair it forms with the next character. Positions are
// in 64ths of a pixel. The run's width is its final pen position rounded to
// the nearest pixel (halves up), its height Ascent + Descent. Ligatures are
// not kept: a run is drawn glyph by glyph.

#include <cstdint>
#include <span>
#include <string_view>

namespace impactsim::picture {

struct Glyph {
  char Character;
  std::int32_t Advance;  // 64ths of a pixel
  // The ink: Width x Rows pixels whose top-left pixel lies Left pixels right
  // of the origin and Top pixels below the baseline (negative: above).
  std::int16_t Left, Top, Width;
  // Bit x (from the least significant) of row y is the ink at (Left + x,
  // Top + y); the row count is the span's size. Width is at most 32.
  std::span<const std::uint32_t> Rows;
};

struct Kerning {
  char First, Second;
  std::int32_t Adjustment;  // 64ths of a pixel, added to First's advance
};

struct GlyphFont {
  int Ascent;                         // pixels from the top of a line to its baseline
  int Descent;                        // pixels below the baseline
  std::span<const Glyph> Glyphs;      // by character, ascending
  std::span<const Kerning> Kernings;  // by pair, ascending

  const Glyph* Find(char c) const;          // null where the font has none
  std::int32_t Kern(char a, char b) const;  // 0 where the pair has none
  // The width of a run in pixels, as the contract above rounds it.
  int Width(std::string_view text) const;
};

// The chart's fonts: its title (Times New Roman, 15 pixels, bold) and its
// axis labels (Times New Roman, 13 pixels, bold), with the printable ASCII
// characters. Written at build time into the picture library.
const GlyphFont& ChartTitleFont();
const GlyphFont& ChartLabelFont();

}  // namespace impactsim::picture
