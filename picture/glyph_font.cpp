#include "picture/glyph_font.h"

#include <algorithm>

namespace impactsim::picture {

const Glyph* GlyphFont::Find(char c) const {
  const auto it = std::lower_bound(Glyphs.begin(), Glyphs.end(), c,
                                   [](const Glyph& g, char key) { return g.Character < key; });
  return it != Glyphs.end() && it->Character == c ? &*it : nullptr;
}

std::int32_t GlyphFont::Kern(char a, char b) const {
  const auto less = [](const Kerning& k, std::pair<char, char> key) {
    return std::pair(k.First, k.Second) < key;
  };
  const auto it = std::lower_bound(Kernings.begin(), Kernings.end(), std::pair(a, b), less);
  return it != Kernings.end() && it->First == a && it->Second == b ? it->Adjustment : 0;
}

int GlyphFont::Width(std::string_view text) const {
  std::int64_t pen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const Glyph* glyph = Find(text[i]);
    if (glyph == nullptr) continue;
    pen += glyph->Advance;
    if (i + 1 < text.size()) pen += Kern(text[i], text[i + 1]);
  }
  // To the nearest pixel, halves up: floor((pen + 32) / 64).
  const std::int64_t shifted = pen + 32;
  return static_cast<int>(shifted >= 0 ? shifted / 64 : -((-shifted + 63) / 64));
}

}  // namespace impactsim::picture
