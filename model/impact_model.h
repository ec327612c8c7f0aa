#pragma once
// The seam between the update rule and a program's impact model.

#include <cstdint>
#include <span>

#include "model/grid.h"
#include "model/model_state.h"
#include "model/run_settings.h"

namespace impactsim {

// Works out, at one cell's turn, the total impact of each opinion on the cell.
//
// Prepare is called by the run driver once per run, after the run's
// population is built and before its first turn, with the run's settings
// (they cannot change during a run). It may build tables and may set the
// model's ScopeRadius (ring models narrow it for "nb"). It may allocate.
//
// ComputeImpact is called once per turn (CellTotal times a round). On entry
// impact[1..OpinionCount] holds 0.0; it adds every contribution into the
// entry of the source's opinion, in the model's fixed order, then scales the
// entries, and sets sources[1..OpinionCount] to the number of contributing
// cells. It reads the population (sequential mode) or the snapshot
// (simultaneous mode), changes neither, and allocates nothing.
//
// In simultaneous mode every turn of a round reads the round's snapshot, so a
// model may also offer the impacts of a whole round at once: ComputeRound is
// then called by the run driver once per simultaneous round, after the
// snapshot is taken and before the round's first turn, and fills, for every
// cell (index (y - 1) * side + (x - 1)), exactly the bits ComputeImpact
// would give at that cell's turn: the same sums of the same quotients added
// in the same order. It allocates nothing after the run's first round.
class ImpactModel {
 public:
  virtual ~ImpactModel() = default;
  virtual void Prepare(const RunSettings& settings, ModelState& model) = 0;
  virtual void ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                             SourceCount& sources) = 0;

  // In sequential mode a turn reads the population as the turns before it
  // left it; most turns change nothing. A model may offer the impacts of the
  // next turns' targets (0-based cell numbers in `cells`, at most
  // TurnsAhead() of them; turnsLikely: how many of the round's turns from
  // cells[0]'s on are likely to come before a cell changes) worked out
  // together from the population as it stands: the bits ComputeImpact would
  // give each at its turn if no cell changed before it. It returns how many
  // of them, from the first, it worked out (at least one). The run driver
  // discards those after a turn that changes a cell. TurnsAhead() 0: not
  // offered.
  virtual int TurnsAhead() const { return 0; }
  virtual int ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                           std::int32_t turnsLikely, std::span<ImpactVector> impact,
                           std::span<SourceCount> sources) {
    (void)model, (void)cells, (void)turnsLikely, (void)impact, (void)sources;
    return 0;
  }
  // Called by the run driver after every turn that changed cell [x, y] (its
  // opinion, and its strengths where they are drawn anew) in a sequential
  // run that works turns out ahead or certifies them: a model that keeps its
  // own copy of the population, or totals from it, brings them up to date.
  // Cheap: at most a few thousand writes.
  virtual void CellChanged(const ModelState& model, int x, int y) { (void)model, (void)x, (void)y; }

  // Certified turns. A model may keep running totals of its own, in any
  // order, with a bound on how far they stand from the per-turn code's; from
  // them it may name the opinion of greatest impact at a turn where the bound
  // proves that ComputeImpact's totals would make that opinion the only
  // greatest (no tie, so no draw). CertifiesTurns: offered for the prepared
  // run (never with noise, whose update rule reads the totals themselves).
  // CertainGreatest: that opinion for cell [x, y]'s turn, or 0 where the
  // bound proves nothing (the run driver then asks ComputeImpact). The
  // totals follow the sources: in sequential runs the run driver calls
  // CellChanged after every turn that changed a cell. In simultaneous runs,
  // where every turn of a round reads its snapshot, it calls RoundStarts
  // after each round's snapshot is taken, which writes what CertainGreatest
  // would answer at every cell's turn (index (y - 1) * side + (x - 1)).
  // Either way every turn is decided exactly as ComputeImpact and the update
  // rule would decide it.
  virtual bool CertifiesTurns() const { return false; }
  virtual std::uint8_t CertainGreatest(const ModelState& model, int x, int y) {
    (void)model, (void)x, (void)y;
    return 0;
  }
  virtual void RoundStarts(const ModelState& model, std::span<std::uint8_t> certain) {
    (void)model;
    for (std::uint8_t& c : certain) c = 0;
  }

  // Whether ComputeRound is offered for the prepared run.
  virtual bool ComputesRounds() const { return false; }
  virtual void ComputeRound(const ModelState& model, std::span<ImpactVector> impact,
                            std::span<SourceCount> sources) {
    (void)model, (void)impact, (void)sources;
  }
};

}  // namespace impactsim
