#include "ui/opinion_colours.h"

namespace impactsim::ui {

QColor OpinionColour(int opinion) {
  return QColor::fromRgb(picture::OpinionColour(opinion));
}

}  // namespace impactsim::ui
