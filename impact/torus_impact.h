#pragma once
// The whole-population impact model of the 20 x 20 torus: every other cell
// is a source at its torus distance, the target itself always counts at the
// fixed self distance 0.84, and every cell acts with its supportiveness
// (squared for plain sums).

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "impact/contributions.h"
#include "impact/torus_round.h"
#include "model/impact_model.h"

namespace impactsim {

inline constexpr double kTorusSelfDistance = 0.84;

// The divisor of the target's own voice: g at the self distance.
double TorusSelfDivisor(const DistanceRule& distance);

// The torus distance between two cells [x, y] and [u, v] of a grid with the
// given side: each axis offset folded into 0..side/2, then the Euclidean norm.
double TorusDistance(int side, int x, int y, int u, int v);

class TorusImpact final : public ImpactModel {
 public:
  static constexpr int kSide = 20;

  void Prepare(const RunSettings& settings, ModelState& model) override;
  void ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                     SourceCount& sources) override;

  // Simultaneous runs: a round's impacts together, on the round kernels.
  bool ComputesRounds() const override { return !randomSeq_; }
  void ComputeRound(const ModelState& model, std::span<ImpactVector> impact,
                    std::span<SourceCount> sources) override;

  // Sequential runs: a vector of turns ahead on the round kernels.
  int TurnsAhead() const override;
  int ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                   std::int32_t turnsLikely, std::span<ImpactVector> impact,
                   std::span<SourceCount> sources) override;
  void CellChanged(const ModelState& model, int x, int y) override;

  // Drops every impact worked out before: the next round works all of them
  // out (for benchmarks of the kernels).
  void ForgetImpacts() { cache_.MarkAllStale(); }

 private:
  static constexpr std::size_t kFolds = kSide / 2 + 1;  // axis offsets 0..10

  bool summationM_ = false;
  bool randomSeq_ = false;
  // What depends only on the distance rule and the summation.
  struct Tables {
    // [a][b][supportiveness]: the strength over g(d) of a source at axis
    // offsets a, b; the strength is the supportiveness, squared for plain
    // sums.
    std::array<double, kFolds * kFolds * kStrengthValues> quotient{};
    std::array<double, kStrengthValues> self{};
    // The round kernels' quotient rows and table (see torus_round::Input).
    std::vector<double> row;
    std::array<double, kFolds * kFolds * kStrengthValues> kernelQuotient{};
  };
  static std::shared_ptr<const Tables> SharedTables(const DistanceRule& distance, bool summationM);
  static std::shared_ptr<const Tables> BuildTables(const DistanceRule& distance, bool summationM);
  std::shared_ptr<const Tables> tables_;
  std::array<std::uint8_t, 2 * kSide - 1> fold_{};  // u - x + 19 -> folded offset

  // The round kernels' copy of the population they read with its opinion
  // masks and counts, and every cell's impacts as last worked out from it.
  std::array<std::uint8_t, kSide * kSide> opinion_{}, support_{};
  std::array<std::uint64_t, kSide * kSide> mask1_{}, mask2_{};
  std::int32_t count1_ = 0, count2_ = 0;
  ImpactCache cache_;
  // Brings the copy up to date with `population` (every cell: `all`), and
  // marks the impacts stale if anything changed.
  void SyncPopulation(const Grid& population, bool all);
  void SetCell(std::size_t i, const Cell& c);
  // Works every cell's impacts out again if any is stale.
  void Refresh();
  torus_round::Input KernelInput() const;
};

std::unique_ptr<ImpactModel> MakeTorusImpact();

}  // namespace impactsim
