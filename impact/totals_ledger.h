#pragma once
// What both models' running totals (impact/ring_totals.h,
// impact/torus_totals.h) keep beside the totals: the cells the totals stand
// for, how many changes they took since their build, the half-width the
// bound of impact/certified_choice.h gives them, and the counts of certified
// turns. A model supplies how one cell is added or removed, and how every
// total is built anew.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "impact/certified_choice.h"
#include "model/grid.h"

namespace impactsim {

class TotalsLedger {
 public:
  // Totals built from at most `buildSteps` roundings each, over at most
  // `terms` quotients per per-turn total, every total at most `greatest`.
  void Describe(std::int64_t buildSteps, std::int64_t terms, double greatest) {
    buildSteps_ = buildSteps;
    terms_ = terms;
    greatest_ = greatest;
  }

  // Every total was built anew from `sources`.
  void Built(const Grid& sources) {
    seen_.assign(sources.Data(), sources.Data() + sources.Total());
    changes_ = 0;
    ++counts_.rebuilds;
    Bound();
  }

  // Brings the totals up to date with `sources` cell by cell: apply(false,
  // old, x, y) then apply(true, new, x, y) for each changed cell; or, where
  // at least one cell in `rebuildShare` changed (0: never), or the totals
  // took too many changes since their build, rebuild().
  template <class Apply, class Rebuild>
  void Sync(const Grid& sources, std::size_t rebuildShare, const Apply& apply,
            const Rebuild& rebuild) {
    const Cell* live = sources.Data();
    changed_.clear();
    for (int i = 0; i < sources.Total(); ++i) {
      if (live[i] != seen_[static_cast<std::size_t>(i)]) changed_.push_back(i);
    }
    if (rebuildShare * changed_.size() >= static_cast<std::size_t>(sources.Total()) &&
        rebuildShare > 0) {
      rebuild();
      return;
    }
    for (const int i : changed_)
      Take(sources, i % sources.Side() + 1, i / sources.Side() + 1, apply);
    Settle(rebuild);
  }

  // Cell [x, y] of `sources` changed.
  template <class Apply, class Rebuild>
  void CellChanged(const Grid& sources, int x, int y, const Apply& apply, const Rebuild& rebuild) {
    Take(sources, x, y, apply);
    Settle(rebuild);
  }

  double HalfWidth() const { return halfWidth_; }
  // One certified turn's answer, or `named` of `asked` at once.
  void Counted(std::uint8_t certain) { ++(certain != 0 ? counts_.certain : counts_.fallback); }
  void Counted(std::int64_t named, std::int64_t asked) {
    counts_.certain += named;
    counts_.fallback += asked - named;
  }
  const CertifiedCounts& Counts() const { return counts_; }

 private:
  // Building every total costs about as much as this many changes of one
  // cell each per term; between builds the bound grows by two roundings per
  // change.
  static constexpr std::int64_t kChangesPerBuild = 64;

  template <class Apply>
  void Take(const Grid& sources, int x, int y, const Apply& apply) {
    const std::size_t i = sources.Index(x, y);
    apply(false, seen_[i], x, y);
    apply(true, sources.At(x, y), x, y);
    seen_[i] = sources.At(x, y);
    ++changes_;
  }
  template <class Rebuild>
  void Settle(const Rebuild& rebuild) {
    if (changes_ > kChangesPerBuild * terms_) {
      rebuild();
    } else {
      Bound();
    }
  }
  // The build's steps, then at most two on a total per change.
  void Bound() { halfWidth_ = CertifiedHalfWidth(buildSteps_ + 2 * changes_, terms_, greatest_); }

  std::int64_t buildSteps_ = 0;
  std::int64_t terms_ = 0;
  double greatest_ = 0.0;
  std::vector<Cell> seen_;    // what the totals stand for
  std::vector<int> changed_;  // cells a sync found changed
  std::int64_t changes_ = 0;  // since the last build
  double halfWidth_ = 0.0;
  CertifiedCounts counts_;
};

}  // namespace impactsim
