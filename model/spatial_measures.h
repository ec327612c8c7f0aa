#pragma once
// Spatial measures of a population at the end of a run: how many groups of
// like-minded cells it forms and how alike side neighbours are. The measures
// themselves take plain opinions, so they can be checked on small grids drawn
// by hand.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "model/grid.h"
#include "model/run_result.h"

namespace impactsim {

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

// Connected groups as above, counted with those of opinion 2, the initial
// minority, apart. Throws as CountClusters does.
struct ClusterCounts {
  std::int64_t Clusters = 0;
  std::int64_t MinorityClusters = 0;        // groups of opinion 2
  std::int64_t LargestMinorityCluster = 0;  // cells in the largest of them; 0 if none
};
ClusterCounts CountClusterGroups(const OpinionGrid& grid);

// For each opinion 1..kMaxOpinions (entry k for opinion k, entry 0 unused):
// the cells that hold it and the connected groups of it, joined as above.
// Throws as CountClusters does, and std::invalid_argument for an opinion
// outside 1..kMaxOpinions.
struct OpinionGroups {
  std::array<std::int64_t, kMaxOpinions + 1> Cells{};
  std::array<std::int64_t, kMaxOpinions + 1> Clusters{};
};
OpinionGroups CountOpinionGroups(const OpinionGrid& grid);

// The opinions some cell holds.
int SurvivingOpinions(const OpinionGroups& groups);

// The cells of the smallest surviving opinion divided once by all cells;
// 0 for no cells.
double SmallestSurvivingShare(const OpinionGroups& groups);

// Every cell's opinion, row by row, as an OpinionGrid stores them.
std::vector<std::uint8_t> OpinionsOf(const Grid& population);

// The mean strengths of the cells of one opinion: the sum of their values
// divided once by their number, so exact to the last bit; none when no cell
// holds the opinion.
struct StrengthMeans {
  std::optional<double> Persuasiveness;
  std::optional<double> Supportiveness;
  friend bool operator==(const StrengthMeans&, const StrengthMeans&) = default;
};

// Everything a sweep row reports of one population, at the start or the end
// of a run, on the grid as the run saw it (wrapped where it had no walls).
// Opinion 2 is the initial minority and opinion 1 the initial majority,
// whatever their numbers later.
struct PopulationMeasures {
  std::int64_t Clusters = 0;
  double LikeNeighbours = 0.0;
  std::int64_t MinorityClusters = 0;
  std::int64_t LargestMinorityCluster = 0;
  // Cells of opinion 2 per group of opinion 2; none without such a group.
  std::optional<double> MeanMinorityClusterSize;
  StrengthMeans Minority;  // cells of opinion 2
  StrengthMeans Majority;  // cells of opinion 1
};
PopulationMeasures MeasurePopulation(const Grid& population, bool wrapped);

// What a sweep row reports of a finished run's population: the share of
// opinion 2 among all cells, and the two measures above on the grid as the
// run saw it (wrapped where it had no walls).
struct EndMeasures {
  double MinorityShare = 0.0;
  std::int64_t Clusters = 0;
  double LikeNeighbours = 0.0;
};
EndMeasures MeasureEnd(const Grid& population, const RunResult& result);

}  // namespace impactsim
