#pragma once
// Running totals of the torus model for certified turns (two opinions): per
// target and opinion, the sum of every cell's quotient (its own voice
// included), and the number of cells of each opinion. A changed cell adds
// and removes its quotient on every target, in any order; a turn names the
// opinion of greatest impact where the bound of impact/certified_choice.h
// proves it.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "impact/certified_choice.h"
#include "impact/totals_kernel.h"
#include "impact/totals_ledger.h"
#include "model/grid.h"

namespace impactsim {

class TorusTotals {
 public:
  // The most bytes the quotient rows may take; a larger torus works turn by
  // turn.
  static constexpr std::size_t kMaxRowBytes = std::size_t{64} << 20;
  static bool Fits(int side);

  // Builds the quotient rows from the model's tables (when they or the side
  // changed since the last call), then every total from `sources`.
  // quotient: [(a * folds + b) * kStrengthValues + s] by folded offsets;
  // self: per strength, the target's own voice.
  void Prepare(int side, bool summationM, const double* quotient, const double* self,
               bool tablesChanged, const Grid& sources);

  void Sync(const Grid& sources);
  void CellChanged(const Grid& sources, int x, int y);

  // The opinion the per-turn code would certainly pick at [x, y], or 0.
  std::uint8_t CertainGreatest(int x, int y);
  // The same for every target at once.
  void CertainAll(std::span<std::uint8_t> certain);

  const CertifiedCounts& Counts() const { return ledger_.Counts(); }

  // What the target [x, y] reads: each opinion's running total and sources;
  // and the half-width around them.
  std::array<RunningImpact, 2> Reads(int x, int y) const {
    const auto t = static_cast<std::size_t>((y - 1) * side_ + (x - 1));
    return {RunningImpact{totals_[0][t], sources_[0]}, RunningImpact{totals_[1][t], sources_[1]}};
  }
  double HalfWidth() const { return ledger_.HalfWidth(); }

 private:
  template <bool kAdd>
  void Apply(const Cell& c, int x, int y);
  void Rebuild(const Grid& sources);
  // Apply as the ledger calls it.
  auto ApplyCell() {
    return [this](bool add, const Cell& c, int x, int y) {
      if (add) {
        Apply<true>(c, x, y);
      } else {
        Apply<false>(c, x, y);
      }
    };
  }

  int side_ = 0;
  bool summationM_ = false;
  std::size_t folds_ = 0;
  // [(s * folds + b) * side + d]: the quotient of a source of strength s at
  // column distance d (0..side - 1, wrapped) and folded row offset b; the
  // own voice at (0, 0).
  std::vector<double> rows_;
  std::vector<std::uint8_t> fold_;  // 0..2 side - 2: the folded offset of delta - (side - 1)
  std::int64_t terms_ = 0;
  double greatest_ = 0.0;
  std::vector<double> totals_[2];
  std::int32_t sources_[2] = {0, 0};
  std::vector<totals_kernel::Span> spans_;  // one change's runs of targets
  // The build's fields (see Rebuild), its positions and their weights.
  std::vector<float> fields_[2];
  std::vector<std::int64_t> offsets_;
  std::vector<float> weights_;
  std::vector<double> counted_[2];  // CertainAll's counts per target
  TotalsLedger ledger_;
};

}  // namespace impactsim
