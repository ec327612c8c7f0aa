// The population build: how the random source fills a grid by the settings.
#include <cassert>
#include <vector>

#include "model/simulation.h"

namespace impactsim {

std::vector<double> InitialSharesOf(const RunSettings& settings) {
  const int k = settings.Opinions;
  if (k == 2) return {1.0 - settings.InitialShare, settings.InitialShare};
  if (!settings.InitialShares.empty()) return settings.InitialShares;
  return std::vector<double>(U(k), 1.0 / k);
}

std::uint8_t OpinionOfDraw(double r, std::span<const double> shares) {
  double cumulative = 0.0;
  for (std::size_t k = 1; k < shares.size(); ++k) {
    cumulative += shares[k];
    if (r < cumulative) return static_cast<std::uint8_t>(k + 1);
  }
  return 1;
}

void BuildPopulation(const RunSettings& settings, ModelState& model, RandomSource& random) {
  // Selection sampling for an exact count: a cell takes opinion 2 with the
  // chance (cells of 2 still wanted) / (cells still to build).
  const StartPopulation* start = settings.Start.get();
  assert(start == nullptr || start->Side == model.GridSide());
  assert(settings.Strengths.Draw != StrengthDraw::Given || (start && start->HasStrengths()));
  const bool byCount = settings.InitialCount >= 0;
  std::int32_t cellsLeft = model.CellTotal();
  std::int32_t needLeft = settings.InitialCount;
  const bool equal = settings.Strengths.Draw == StrengthDraw::Equal;
  const bool given = settings.Strengths.Draw == StrengthDraw::Given && start != nullptr;
  const auto value = settings.Strengths.Value;
  const std::vector<double> shares = InitialSharesOf(settings);
  // Column by column, each column from the top, three draws per cell
  // whatever the rules: the order fixes which draws land in which cell.
  const int side = model.GridSide();
  for (int x = 1; x <= side; ++x) {
    for (int y = 1; y <= side; ++y) {
      Cell& cell = model.PopulationGrid.At(x, y);
      if (byCount) {
        const bool two = random.RandBelow(cellsLeft--) < needLeft;
        cell.Opinion = two ? 2 : 1;
        needLeft -= two ? 1 : 0;
      } else if (settings.Opinions == 2) {
        cell.Opinion = random.RandReal() >= settings.InitialShare ? 1 : 2;
      } else {
        cell.Opinion = OpinionOfDraw(random.RandReal(), shares);
      }
      cell.Persuasiveness = static_cast<std::uint8_t>(random.RandBelow(kStrengthValues));
      cell.Supportiveness = static_cast<std::uint8_t>(random.RandBelow(kStrengthValues));
      if (equal) cell.Persuasiveness = cell.Supportiveness = value;
      if (start == nullptr) continue;
      const std::size_t at = model.PopulationGrid.Index(x, y);
      cell.Opinion = start->Opinions[at];
      if (given) {
        cell.Persuasiveness = start->Persuasiveness[at];
        cell.Supportiveness = start->Supportiveness[at];
      }
    }
  }
}

}  // namespace impactsim
