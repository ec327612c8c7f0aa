#pragma once
// The 16 opinion colours, used by the map, the chart and the census fields.

#include <array>

#include "picture/raster.h"

namespace impactsim::picture {

inline constexpr int kOpinionColours = 16;

// Entry k (1..16) is the colour of opinion k, 0xRRGGBB. Entry 0 is never an
// opinion; it is black so that a stray 0 draws like the map's background
// rather than as an invalid colour.
inline constexpr std::array<Rgb, kOpinionColours + 1> kOpinionColourTable = {
    0x000000,  // unused
    0xFF00FF,  // 1 magenta
    0x0000FF,  // 2 blue
    0xFF0000,  // 3 red
    0xFFFF00,  // 4 yellow
    0x008000,  // 5 green
    0xFFFFFF,  // 6 white
    0xC0C0C0,  // 7 silver
    0x00FF00,  // 8 lime
    0x00FFFF,  // 9 aqua
    0x008080,  // 10 teal
    0x808000,  // 11 olive
    0x800080,  // 12 purple
    0x800000,  // 13 maroon
    0x000080,  // 14 navy
    0x808080,  // 15 grey
    0x000000,  // 16 black
};

// The colour of an opinion, 1..16; entry 0's black for anything else.
constexpr Rgb OpinionColour(int opinion) {
  if (opinion < 0 || opinion > kOpinionColours) return kOpinionColourTable[0];
  return kOpinionColourTable[static_cast<std::size_t>(opinion)];
}

}  // namespace impactsim::picture
