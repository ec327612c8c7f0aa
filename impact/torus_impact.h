#pragma once
// The whole-population impact model of the torus (kestane's is 20 x 20, the
// model takes any side): every other cell is a source at its torus distance,
// the target itself always counts at the fixed self distance 0.84, and every
// cell acts with its supportiveness (squared for plain sums). The round
// kernels serve the 20 x 20 torus; other sides work turn by turn.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "impact/contributions.h"
#include "impact/torus_round.h"
#include "impact/torus_totals.h"
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
  bool ComputesRounds() const override { return !randomSeq_ && kernels_; }
  void ComputeRound(const ModelState& model, std::span<ImpactVector> impact,
                    std::span<SourceCount> sources) override;

  // Sequential runs: a vector of turns ahead on the round kernels.
  int TurnsAhead() const override;
  int ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                   std::int32_t turnsLikely, std::span<ImpactVector> impact,
                   std::span<SourceCount> sources) override;
  void CellChanged(const ModelState& model, int x, int y) override;

  // Certified turns: runs of two opinions without noise, on a torus whose
  // quotient rows fit (TorusTotals::Fits).
  bool CertifiesTurns() const override { return certified_; }
  std::uint8_t CertainGreatest(const ModelState& model, int x, int y) override;
  void RoundStarts(const ModelState& model, std::span<std::uint8_t> certain) override;

  // Drops every impact worked out before: the next round works all of them
  // out (for benchmarks of the kernels).
  void ForgetImpacts() { cache_.MarkAllStale(); }

  // From the next Prepare on, certify turns where the run allows (the
  // default) or not (for tests and benchmarks of the other paths).
  void UseCertifiedTurns(bool on) { certify_ = on; }
  const CertifiedCounts& Certified() const { return totals_.Counts(); }
  const TorusTotals& Running() const { return totals_; }

  // From the next Prepare on, work every turn out by the per-turn code that
  // serves more than two opinions, whatever the run's number (for tests:
  // with two opinions its bits must be those of every other path).
  void UseManyOpinionPath(bool on) { manyOpinionPath_ = on; }

 private:
  // `totals` with the target's own voice and every other cell's quotient
  // added, first index outer, second inner (by value, so that the totals
  // stay in registers). Writes the per-turn row table.
  template <class Totals>
  Totals Scan(const ModelState& model, int x, int y, Totals totals);
  static constexpr std::size_t kFolds = kSide / 2 + 1;  // axis offsets 0..10

  bool summationM_ = false;
  bool randomSeq_ = false;
  bool kernels_ = false;  // a 20 x 20 torus of two opinions: the round kernels serve it
  // More than two opinions (or the path forced): K totals.
  bool manyOpinions_ = false;
  bool manyOpinionPath_ = false;
  bool certify_ = true;
  bool certified_ = false;  // the prepared run certifies its turns
  TorusTotals totals_;
  const void* totalsTables_ = nullptr;  // the tables totals_ was built from
  int side_ = 0;
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
  // The per-turn code's quotients, [a][b][supportiveness] with folded
  // offsets a, b in 0..folds_ - 1: the shared table's on the 20 x 20 torus,
  // else sideQuotient_, built for the side.
  const double* quotient_ = nullptr;
  std::size_t folds_ = 0;
  std::vector<double> sideQuotient_;
  struct SideKey {
    int side = 0;
    DistanceRule distance;
    bool summationM = false;
    friend bool operator==(const SideKey&, const SideKey&) = default;
  };
  SideKey sideKey_;
  void BuildSideQuotients(const SideKey& key);
  std::vector<std::uint8_t> fold_;    // u - x + side - 1 -> folded offset
  std::vector<std::uint32_t> rowAt_;  // per turn: per source row, its quotients' start

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
