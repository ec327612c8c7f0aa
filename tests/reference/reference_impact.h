#pragma once
// Plain transcriptions of the two impact models, kept as the yardstick for
// the engine's table-driven ones: every position is walked and every distance,
// divisor and quotient worked out afresh at each turn, and each contribution
// goes straight onto its opinion's total. Slow, but short enough to check
// line by line against the model's rules; the engine must agree with it bit
// for bit.

#include <memory>

#include "model/impact_model.h"

namespace impactsim::reference {

// g(d) for a distance rule: 1 for "nb" and power 0; for the powers 1..4, d
// multiplied by itself left to right until it has as many factors as the
// power; for any other power, d^power rounded once (PortablePow).
double DistanceDivisor(double d, const DistanceRule& rule);

// The 40 x 40 grid: rings 1..ScopeRadius around the target, cut off at
// ScopeDistance, the border either a wall ("Edge") or wrapped.
class ReferenceRingImpact final : public ImpactModel {
 public:
  void Prepare(const RunSettings& settings, ModelState& model) override;
  void ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                     SourceCount& sources) override;

 private:
  RunSettings settings_;
};

// The 20 x 20 torus: every cell of the population is a source.
class ReferenceTorusImpact final : public ImpactModel {
 public:
  void Prepare(const RunSettings& settings, ModelState& model) override;
  void ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                     SourceCount& sources) override;

 private:
  RunSettings settings_;
};

std::unique_ptr<ImpactModel> MakeReferenceRingImpact();
std::unique_ptr<ImpactModel> MakeReferenceTorusImpact();

}  // namespace impactsim::reference
