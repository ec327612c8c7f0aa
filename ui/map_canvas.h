#pragma once
// The population map: one square per cell in its opinion's colour, drawn
// into a 320 x 320 surface.

#include <cstdint>

#include "model/grid.h"
#include "ui/surface.h"

namespace impactsim::ui {

inline constexpr int kMapSize = 320;

class MapCanvas {
 public:
  // cellSize: pixels per cell along each side (8 for a 40-cell side, 16 for
  // 20) until a map of another side is drawn.
  explicit MapCanvas(int cellSize);

  Surface& Picture() { return surface_; }
  const Surface& Picture() const { return surface_; }
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
  Surface surface_;
};

}  // namespace impactsim::ui
