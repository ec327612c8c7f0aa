#pragma once
// The 16 opinion colours, used by the map, the chart and the census fields.

#include <QColor>
#include <array>

namespace impactsim::ui {

inline constexpr int kOpinionColours = 16;

// Entry k (1..16) is the colour of opinion k; entry 0 is unused.
extern const std::array<QColor, kOpinionColours + 1> OpinionColourTable;

// The colour of an opinion, 1..16.
QColor OpinionColour(int opinion);

}  // namespace impactsim::ui
