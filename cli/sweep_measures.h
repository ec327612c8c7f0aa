#pragma once
// Spatial measures of a population at the end of a run: how many groups of
// like-minded cells it forms and how alike side neighbours are. They take
// plain opinions, no engine types, so they can be checked on small grids
// drawn by hand.

#include <cstdint>
#include <span>

namespace impactsim::cli {

// A square grid of opinions, stored row by row, Side x Side entries. A wrapped
// grid is a torus: the left edge touches the right one and the top edge the
// bottom one. A bounded grid has walls: its border cells have 2 or 3 side
// neighbours instead of 4.
struct OpinionGrid {
  std::span<const std::uint8_t> Opinions;
  int Side = 0;
  bool Wrapped = false;
};

// Connected groups of cells holding one opinion, joined through the four side
// neighbours (across the edges where the grid wraps). Throws
// std::invalid_argument if Opinions does not hold Side x Side entries, Side >= 1.
std::int64_t CountClusters(const OpinionGrid& grid);

// The mean over all cells of the share of a cell's side neighbours that hold
// its opinion. Every share is a multiple of 1/2, 1/3 or 1/4, so the total is
// kept exactly in twelfths and divided once: the result is the correctly
// rounded mean whatever the order of the cells. On a 1 x 1 wrapped grid the
// cell is its own neighbour; a 1 x 1 bounded cell, with no neighbour at all,
// counts as fully alike. Throws as CountClusters does.
double LikeNeighbourShare(const OpinionGrid& grid);

}  // namespace impactsim::cli
