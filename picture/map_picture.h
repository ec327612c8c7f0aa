#pragma once
// The population map: one square per cell in its opinion's colour, drawn
// into a 320 x 320 raster.

#include <cstdint>

#include "model/grid.h"
#include "picture/raster.h"

namespace impactsim::picture {

inline constexpr int kMapSize = 320;

class MapPicture {
 public:
  // cellSize: pixels per cell along each side (8 for a 40-cell side, 16 for
  // 20) until a map of another side is drawn.
  explicit MapPicture(int cellSize);

  Raster& Pixels() { return raster_; }
  const Raster& Pixels() const { return raster_; }
  int CellSize() const { return cellSize_; }

  // Paints the whole map black: a black rectangle from (0, 0) to the window's
  // outer size, clipped to the map.
  void StrategyMap(int windowOuterWidth, int windowOuterHeight);
  // Every cell, column by column from the left, each column from the top.
  // The cells take the size that fits the population's side into the map
  // (kMapSize / side pixels, at least 1; the picture grows past kMapSize only
  // for sides beyond it), which the programs' own sides already have.
  void DrawMap(const Grid& population);
  // Cell [x, y]: a (S-2) x (S-2) square of the opinion's colour in a
  // one-pixel black frame; a cell of under 3 pixels is all colour.
  void DrawCell(int x, int y, std::uint8_t opinion);

 private:
  int cellSize_;
  Raster raster_;
};

}  // namespace impactsim::picture
