#pragma once
// The program-wide model state: the population, its snapshot, the tallies,
// the change history and the neighbourhood scope. One instance per program,
// alive as long as the process; runs and population builds work on it.

#include <cstdint>
#include <optional>

#include "model/grid.h"

namespace impactsim {

struct ModelState {
  explicit ModelState(int gridSide) : PopulationGrid(gridSide), SnapshotGrid(gridSide) {}

  int GridSide() const { return PopulationGrid.Side(); }
  int CellTotal() const { return PopulationGrid.Total(); }

  Grid PopulationGrid;
  Grid SnapshotGrid;
  std::uint8_t OpinionCount = 0;
  Census OpinionCensus{};
  Census PreviousCensus{};
  ChangeHistory History{};
  std::uint8_t ScopeRadius = 0;  // ring neighbourhoods only
  double ScopeDistance = 0.0;    // ring neighbourhoods only
};

// Counts the population by opinion into entries 1..OpinionCount of a tally;
// every other entry is 0.
void TakeCensus(const ModelState& model, Census& tally);

}  // namespace impactsim
