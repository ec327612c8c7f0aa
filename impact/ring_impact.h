#pragma once
// The ring-neighbourhood impact model of halvorn's grid (40 x 40, or any
// side): sources gathered ring by ring (city-block distance 1, 2, ...) around
// the target, cut off at a Euclidean distance, each divided by a power of its
// distance, the target's own voice included unless "Remove Self" is on.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "impact/contributions.h"
#include "impact/plane_buffer.h"
#include "impact/ring_round.h"
#include "impact/ring_totals.h"
#include "model/impact_model.h"

namespace impactsim {

// One position of the neighbourhood, relative to the target, in scan order.
struct RingOffset {
  std::int8_t dx;
  std::int8_t dy;
  std::int32_t sumOfSquares;  // (|dx| + 1)^2 + (|dy| + 1)^2
};

// The positions of rings 1..radius in scan order: each ring from its left
// corner through the bottom, right and top corners. Every position is listed,
// inside the cut-off or not.
std::vector<RingOffset> RingScanOrder(int radius);

// The divisor of the target's own voice: g at the distance of offset (0, 0).
double RingSelfDivisor(const DistanceRule& distance);

// The largest ring radius a scope may have (RingScope::Radius 1..100).
inline constexpr int kMaxRingRadius = 100;

// How far, in cells along an axis, the sources of a ring scope reach under a
// distance rule ("nb" keeps to ring 1): the largest |dx| of a position of
// rings 1..Radius within the cut-off, 0 where none is. A torus ring model
// needs a side greater than twice this (RingTorusFits); a bounded grid takes
// any side.
int RingReach(const RingScope& scope, const DistanceRule& distance);
inline constexpr bool RingTorusFits(int side, int reach) {
  return side > 2 * reach;
}

// The round kernels' quotient planes take at most this many bytes
// (classes * 2 * padded positions * 8); a run whose scope and side would
// need more works turn by turn.
inline constexpr std::size_t kMaxPlaneBytes = std::size_t{256} << 20;

class RingImpact final : public ImpactModel {
 public:
  void Prepare(const RunSettings& settings, ModelState& model) override;
  void ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                     SourceCount& sources) override;

  // Simultaneous runs: a round's impacts together, on the round kernels,
  // where their planes fit in kMaxPlaneBytes.
  bool ComputesRounds() const override { return !randomSeq_ && kernels_; }
  void ComputeRound(const ModelState& model, std::span<ImpactVector> impact,
                    std::span<SourceCount> sources) override;

  // Sequential runs: the next turns' impacts, from those worked out before
  // where no source changed since.
  int TurnsAhead() const override;
  int ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                   std::int32_t turnsLikely, std::span<ImpactVector> impact,
                   std::span<SourceCount> sources) override;
  void CellChanged(const ModelState& model, int x, int y) override;

  // Certified turns: runs of two opinions without noise.
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
  const RingTotals& Running() const { return totals_; }

  // From the next Prepare on, work every turn out by the per-turn code that
  // serves more than two opinions, whatever the run's number (for tests:
  // with two opinions its bits must be those of every other path).
  void UseManyOpinionPath(bool on) { manyOpinionPath_ = on; }

  // The sources inside the cut-off of the prepared run, in scan order.
  const std::vector<RingOffset>& Sources() const { return offsets_; }

 private:
  // What the prepared tables were built for.
  struct Key {
    int side = 0;
    std::uint8_t radius = 0;
    double cutoff = -1.0;
    DistanceRule distance;
    friend bool operator==(const Key&, const Key&) = default;
  };

  // A source as the scan uses it: where its quotients start, and where it
  // lies relative to the target.
  struct Source {
    std::int32_t row;    // first of its kStrengthValues quotients in quotient_
    std::int32_t delta;  // index step on the grid for an inner target
    std::int8_t dx, dy;
  };

  // `totals` with the target's own voice and every source's quotient added,
  // in scan order. By value, so that the totals stay in registers.
  template <class Totals>
  Totals Scan(const ModelState& model, int x, int y, Totals totals) const;
  void BuildTables(const Key& key);
  // The certified turns' totals from the population.
  void PrepareTotals(const ModelState& model, bool tablesChanged);
  void PrepareRounds();
  void PadCell(const Cell& c, bool onGrid, std::size_t at);
  // The bytes and mask of padded position `at`; whether they changed.
  bool SetPadded(const Cell& c, bool onGrid, std::size_t at);
  void WritePlanes(std::size_t at);
  void WriteAllPlanes();
  void CountSourcesOnGrid();
  // The padded grid from `sources`, the targets' own opinions and strengths
  // from `targets`.
  void FillPadded(const Grid& sources, const Grid& targets);
  // Source [x, y] now holds c: its padded positions, and, if markReached,
  // every impact it reaches marked stale.
  void UpdateSource(const Cell& c, int x, int y, bool markReached);
  // Target `cell` (0-based) now holds c.
  void UpdateTarget(const Cell& c, std::size_t cell);
  void Refresh(std::size_t expected, std::span<const std::int32_t> wanted);
  ring_round::Input KernelInput() const;
  // Doubles per padded row of all planes together.
  std::int64_t PlaneRow() const { return static_cast<std::int64_t>(2 * classes_) * stride_; }

  Key key_;
  bool torus_ = false;
  bool removeSelf_ = false;
  bool summationM_ = false;
  bool randomSeq_ = false;
  bool kernels_ = false;  // the round kernels serve the prepared run
  // More than two opinions (or the path forced): turn by turn, K totals.
  bool manyOpinions_ = false;
  bool manyOpinionPath_ = false;
  bool certify_ = true;
  bool certified_ = false;  // the prepared run certifies its turns
  RingTotals totals_;
  int side_ = 0;
  int reach_ = 0;  // largest |dx| or |dy| among the sources

  std::vector<RingOffset> offsets_;
  std::vector<Source> sources_;
  // strength / g(d) for strengths 0..100, one row per distinct distance, so
  // the table stays small enough for the fastest caches.
  std::vector<double> quotient_;
  std::array<double, kStrengthValues> self_{};  // strength / self divisor
  // The torus's wrapping of a 1-based coordinate a neighbourhood can reach,
  // one side beyond either border at most (-side + 1 .. 2 * side), to the
  // coordinate on the grid it stands for (1..side). The table starts at the
  // lowest coordinate: coordinate c is at index c + side - 1.
  std::vector<std::int16_t> wrap_;

  // The round kernels' padded population (see ring_round::Input): per
  // position the opinion and the two strengths it was filled from, its
  // opinion masks and its quotient on every plane; the targets' own opinions
  // and strengths; per source its index step and plane offset; the results.
  int stride_ = 0;
  std::size_t padded_ = 0;   // positions of the padded grid
  std::size_t classes_ = 0;  // distinct distances: rows of quotient_
  std::vector<std::uint8_t> padOpinion_, padFor1_, padFor2_;
  std::vector<std::uint64_t> mask1_;
  std::vector<std::int32_t> onGrid_;  // per target: its sources on the grid
  Key onGridFor_;
  bool onGridTorus_ = false;
  PlaneBuffer planes_;
  std::vector<std::uint8_t> ownOpinion_, ownSupport_;
  std::vector<std::int32_t> padDelta_;
  std::vector<std::int64_t> planeAt_;
  std::vector<Cell> seen_;  // per cell: what the padded copy shows
  ImpactCache cache_;
  std::vector<std::int32_t> everyCell_, changed_;
};

std::unique_ptr<ImpactModel> MakeRingImpact();

}  // namespace impactsim
