#pragma once
// The seam between the update rule and a program's impact model.

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
class ImpactModel {
 public:
  virtual ~ImpactModel() = default;
  virtual void Prepare(const RunSettings& settings, ModelState& model) = 0;
  virtual void ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                             SourceCount& sources) = 0;
};

}  // namespace impactsim
