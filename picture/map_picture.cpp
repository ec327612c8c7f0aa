#include "picture/map_picture.h"

#include <algorithm>

#include "picture/opinion_colours.h"

namespace impactsim::picture {

namespace {
constexpr Rgb kBlack = 0x000000;
}  // namespace

MapPicture::MapPicture(int cellSize) : cellSize_(cellSize), raster_(kMapSize, kMapSize, kBlack) {}

void MapPicture::StrategyMap(int windowOuterWidth, int windowOuterHeight) {
  raster_.SetPen(kBlack);
  raster_.SetBrush(kBlack);
  raster_.Rectangle(0, 0, windowOuterWidth, windowOuterHeight);
}

void MapPicture::DrawMap(const Grid& population) {
  const int side = population.Side();
  if (side > 0 && side * cellSize_ != kMapSize) {
    cellSize_ = std::max(1, kMapSize / side);
    const int size = std::max(kMapSize, side * cellSize_);
    if (size != raster_.Width()) raster_ = Raster(size, size, kBlack);
  }
  for (int x = 1; x <= population.Side(); ++x) {
    for (int y = 1; y <= population.Side(); ++y) DrawCell(x, y, population.At(x, y).Opinion);
  }
}

void MapPicture::DrawCell(int x, int y, std::uint8_t opinion) {
  // The rectangle's outline lies inside it, so adjacent cells are parted by
  // two black pixels and the map's outer edge by one.
  raster_.SetPen(cellSize_ < 3 ? OpinionColour(opinion) : kBlack);
  raster_.SetBrush(OpinionColour(opinion));
  raster_.Rectangle((x - 1) * cellSize_, (y - 1) * cellSize_, x * cellSize_, y * cellSize_);
}

}  // namespace impactsim::picture
