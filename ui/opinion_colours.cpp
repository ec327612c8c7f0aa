#include "ui/opinion_colours.h"

namespace impactsim::ui {

// Entry 0 is never an opinion; it is black so that a stray 0 draws like the
// map's background rather than as an invalid colour.
const std::array<QColor, kOpinionColours + 1> OpinionColourTable = {
    QColor(0, 0, 0),        // unused
    QColor(255, 0, 255),    // 1 magenta
    QColor(0, 0, 255),      // 2 blue
    QColor(255, 0, 0),      // 3 red
    QColor(255, 255, 0),    // 4 yellow
    QColor(0, 128, 0),      // 5 green
    QColor(255, 255, 255),  // 6 white
    QColor(192, 192, 192),  // 7 silver
    QColor(0, 255, 0),      // 8 lime
    QColor(0, 255, 255),    // 9 aqua
    QColor(0, 128, 128),    // 10 teal
    QColor(128, 128, 0),    // 11 olive
    QColor(128, 0, 128),    // 12 purple
    QColor(128, 0, 0),      // 13 maroon
    QColor(0, 0, 128),      // 14 navy
    QColor(128, 128, 128),  // 15 grey
    QColor(0, 0, 0),        // 16 black
};

QColor OpinionColour(int opinion) {
  if (opinion < 0 || opinion > kOpinionColours) return OpinionColourTable[0];
  return OpinionColourTable[static_cast<std::size_t>(opinion)];
}

}  // namespace impactsim::ui
