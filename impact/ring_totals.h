#pragma once
// Running totals of the ring model for certified turns (two opinions): per
// target and opinion, the sum of its sources' quotients by persuasiveness
// and by supportiveness, and its number of sources of that opinion. A change
// of a source adds and removes its quotients over the window it reaches, in
// any order; a turn reads the totals its own opinion selects (supportiveness
// for its own opinion, persuasiveness for the other), adds its own voice and
// names the opinion of greatest impact where the bound of
// impact/certified_choice.h proves it.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "impact/certified_choice.h"
#include "impact/totals_kernel.h"
#include "impact/totals_ledger.h"
#include "model/grid.h"

namespace impactsim {

class RingTotals {
 public:
  // A source position relative to its target, and its kStrengthValues
  // quotients (strength over g of its distance).
  struct Position {
    int dx = 0;
    int dy = 0;
    const double* quotient = nullptr;
  };
  struct Shape {
    int side = 0;
    int reach = 0;  // no position lies further along an axis
    bool torus = false;
    bool removeSelf = false;
    bool summationM = false;
    friend bool operator==(const Shape&, const Shape&) = default;
  };

  // Builds the window tables for these positions (when the tables changed
  // since the last call; `positions` is read only then) and every total from
  // `sources`. `self`: per strength, the target's own voice.
  void Prepare(const Shape& shape, std::span<const Position> positions, const double* self,
               bool tablesChanged, const Grid& sources);

  // Brings the totals up to date with `sources` cell by cell.
  void Sync(const Grid& sources);
  // Cell [x, y] of `sources` changed.
  void CellChanged(const Grid& sources, int x, int y);

  // The opinion the per-turn code would certainly pick for the target
  // [x, y] holding `own`, or 0.
  std::uint8_t CertainGreatest(const Cell& own, int x, int y);
  // The same for every target at once, each holding its cell of `own`.
  void CertainAll(const Grid& own, std::span<std::uint8_t> certain);

  const CertifiedCounts& Counts() const { return ledger_.Counts(); }

  // What the target [x, y] holding `own` reads: each opinion's running total
  // and sources, its own voice included; and the half-width around them.
  std::array<RunningImpact, 2> Reads(const Cell& own, int x, int y) const;
  double HalfWidth() const { return ledger_.HalfWidth(); }

 private:
  template <bool kAdd>
  void Apply(const Cell& c, int x, int y);
  void Rebuild(const Grid& sources);
  void CountByRuns(const std::vector<float>& field, double* total);
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
  std::array<RunningImpact, 2> ReadsAt(const Cell& own, std::size_t target) const;
  std::uint8_t Decide(const Cell& own, std::size_t target) const;

  Shape shape_;
  int width_ = 0;     // 2 * reach + 1
  int rowWidth_ = 0;  // width_ rounded up to whole vectors
  // [strength][wy * rowWidth + wx]: the quotient for the target at window
  // place (wx, wy), the source at the window's centre; 0 where no position
  // is.
  std::vector<double> window_;
  std::vector<double> inScope_;  // [wy * rowWidth + wx]: 1 where a position is
  const double* self_ = nullptr;
  std::int64_t terms_ = 0;  // what a per-turn total adds at most
  double greatest_ = 0.0;   // M: every total of a target is at most this
  // Per opinion 1, 2: totals by persuasiveness and supportiveness, and the
  // number of sources (whole numbers, exact in a double).
  std::vector<double> persuasive_[2], supportive_[2], sources_[2];
  std::vector<totals_kernel::Span> spans_;  // one change's runs of targets
  // The build's fields, padded by the reach: persuasiveness of opinions 1
  // and 2, supportiveness of 1 and 2, cells of opinion 1, every cell (or,
  // where some cell holds neither opinion, cells of opinion 2); and its
  // positions (offsets on the fields) and their weights fl(1 / g).
  std::vector<float> fields_[6];
  std::vector<std::int64_t> offsets_;
  std::vector<float> weights_;
  // The positions as runs along window rows: row dy, columns first..last;
  // and CountByRuns' working rows.
  struct Run {
    int dy = 0;
    int first = 0;
    int last = 0;
  };
  std::vector<Run> runs_;
  std::vector<std::int32_t> prefix_, rowCount_;
  // Per target: its sources on the grid, whatever their opinions; for allFor_.
  std::vector<double> allSources_;
  std::vector<double> batch_[4];  // CertainAll's totals and counts per target
  Shape allFor_;
  TotalsLedger ledger_;
};

}  // namespace impactsim
