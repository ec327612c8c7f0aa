#pragma once
// The 16 opinion colours as Qt colours, for the census fields: the picture
// library's table (picture/opinion_colours.h).

#include <QColor>

#include "picture/opinion_colours.h"

namespace impactsim::ui {

// The colour of an opinion, 1..16; black for anything else.
QColor OpinionColour(int opinion);

}  // namespace impactsim::ui
