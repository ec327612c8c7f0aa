#include "ui/map_canvas.h"

#include <algorithm>

#include "ui/opinion_colours.h"

namespace impactsim::ui {

MapCanvas::MapCanvas(int cellSize) : cellSize_(cellSize), surface_(kMapSize, kMapSize, Qt::black) {}

void MapCanvas::StrategyMap(int windowOuterWidth, int windowOuterHeight) {
  surface_.SetPen(Qt::black);
  surface_.SetBrush(Qt::black);
  surface_.Rectangle(0, 0, windowOuterWidth, windowOuterHeight);
}

void MapCanvas::DrawMap(const Grid& population) {
  const int side = population.Side();
  if (side > 0 && side * cellSize_ != kMapSize) {
    cellSize_ = std::max(1, kMapSize / side);
    const int size = std::max(kMapSize, side * cellSize_);
    if (size != surface_.Width()) surface_ = Surface(size, size, Qt::black);
  }
  for (int x = 1; x <= population.Side(); ++x) {
    for (int y = 1; y <= population.Side(); ++y) DrawCell(x, y, population.At(x, y).Opinion);
  }
}

void MapCanvas::DrawCell(int x, int y, std::uint8_t opinion) {
  // The rectangle's outline lies inside it, so adjacent cells are parted by
  // two black pixels and the map's outer edge by one.
  surface_.SetPen(cellSize_ < 3 ? OpinionColour(opinion) : QColor(Qt::black));
  surface_.SetBrush(OpinionColour(opinion));
  surface_.Rectangle((x - 1) * cellSize_, (y - 1) * cellSize_, x * cellSize_, y * cellSize_);
}

}  // namespace impactsim::ui
