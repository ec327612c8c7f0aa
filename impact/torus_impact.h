#pragma once
// The whole-population impact model of the 20 x 20 torus: every other cell
// is a source at its torus distance, the target itself always counts at the
// fixed self distance 0.84, and every cell acts with its supportiveness
// (squared for plain sums).

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "impact/contributions.h"
#include "impact/round_lanes.h"
#include "model/impact_model.h"

namespace impactsim {

inline constexpr double kTorusSelfDistance = 0.84;

// The divisor of the target's own voice: g at the self distance.
double TorusSelfDivisor(DistancePar distance);

// The torus distance between two cells [x, y] and [u, v] of a grid with the
// given side: each axis offset folded into 0..side/2, then the Euclidean norm.
double TorusDistance(int side, int x, int y, int u, int v);

class TorusImpact final : public ImpactModel {
 public:
  static constexpr int kSide = 20;

  void Prepare(const RunSettings& settings, ModelState& model) override;
  void ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                     SourceCount& sources) override;

  // Simultaneous runs: a round's impacts together, on the round kernel
  // ChosenRoundKernel() names.
  bool ComputesRounds() const override { return !sequential_; }
  void ComputeRound(const ModelState& model, std::span<ImpactVector> impact,
                    std::span<SourceCount> sources) override;

  // Sequential runs: eight turns ahead on the round kernels.
  int TurnsAhead() const override;
  void ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                    std::span<ImpactVector> impact, std::span<SourceCount> sources) override;

 private:
  static constexpr std::size_t kStrengths = 101;
  static constexpr std::size_t kFolds = kSide / 2 + 1;  // axis offsets 0..10

  bool plainSums_ = false;
  bool sequential_ = false;
  // [a][b][supportiveness]: the strength over g(d) of a source at axis
  // offsets a, b; the strength is the supportiveness, squared for plain sums.
  std::array<double, kFolds * kFolds * kStrengths> quotient_{};
  std::array<double, kStrengths> self_{};
  std::array<std::uint8_t, 2 * kSide - 1> fold_{};  // u - x + 19 -> folded offset

  // The round kernel's copy of the population it reads, and its results.
  void RunKernel(const Grid& population, std::span<const std::int32_t> cells,
                 std::span<ImpactVector> impact, std::span<SourceCount> sources);
  std::array<std::uint8_t, kSide * kSide> opinion_{}, support_{};
  KernelTotals totals_;
  std::array<std::int32_t, kSide* kSide> everyCell_ = [] {
    std::array<std::int32_t, kSide * kSide> cells{};
    for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<std::int32_t>(i);
    return cells;
  }();
};

std::unique_ptr<ImpactModel> MakeTorusImpact();

}  // namespace impactsim
