#include "tests/reference/reference_impact.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "model/portable_math.h"

namespace impactsim::reference {

namespace {

constexpr int kRingSide = 40;
constexpr int kTorusSide = 20;
constexpr double kTorusSelfDistance = 0.84;

// Divides the accumulated totals by the root of their source counts, unless
// the run sums plainly.
void Scale(const ModelState& model, bool summationM, ImpactVector& impact,
           const SourceCount& sources) {
  if (summationM) return;
  for (int o = 1; o <= model.OpinionCount; ++o) {
    if (sources[U(o)] > 0) {
      impact[U(o)] = impact[U(o)] / std::sqrt(static_cast<double>(sources[U(o)]));
    }
  }
}

void ClearSources(const ModelState& model, SourceCount& sources) {
  for (int o = 1; o <= model.OpinionCount; ++o) sources[U(o)] = 0;
}

}  // namespace

double DistanceDivisor(double d, const DistanceRule& rule) {
  if (rule.Nb || rule.Power == 0.0) return 1.0;
  if (rule.Power == 1.0) return d;
  if (rule.Power == 2.0) return d * d;
  if (rule.Power == 3.0) return d * d * d;
  if (rule.Power == 4.0) return d * d * d * d;
  return PortablePow(d, rule.Power);
}

void ReferenceRingImpact::Prepare(const RunSettings& settings, ModelState& model) {
  if (model.GridSide() != kRingSide) throw std::logic_error("ring model needs a 40 x 40 grid");
  settings_ = settings;
  if (settings.Distance.Nb) model.ScopeRadius = 1;
}

void ReferenceRingImpact::ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                                        SourceCount& sources) {
  ClearSources(model, sources);
  const Cell& target = model.PopulationGrid.At(x, y);

  if (!settings_.RemoveSelf) {
    const double selfDivisor = DistanceDivisor(std::sqrt(2.0), settings_.Distance);
    impact[target.Opinion] += target.Supportiveness / selfDivisor;
    sources[target.Opinion] += 1;
  }

  // Ring i runs from its left corner down to the bottom corner, then to the
  // right corner, the top corner and back towards the left one.
  struct Side {
    int startX, startY, stepX, stepY;
  };
  for (int i = 1; i <= model.ScopeRadius; ++i) {
    const Side sides[4] = {
        {x - i, y, +1, +1}, {x, y + i, +1, -1}, {x + i, y, -1, -1}, {x, y - i, -1, +1}};
    for (const Side& side : sides) {
      for (int k = 0; k < i; ++k) {
        int u = side.startX + k * side.stepX;
        int v = side.startY + k * side.stepY;
        const int dx = u - x;
        const int dy = v - y;
        if (settings_.Edge) {
          if (u < 1 || u > kRingSide || v < 1 || v > kRingSide) continue;
        } else {
          if (u <= 0) u += kRingSide;
          if (u > kRingSide) u -= kRingSide;
          if (v <= 0) v += kRingSide;
          if (v > kRingSide) v -= kRingSide;
        }
        const double ax = std::abs(dx) + 1;
        const double ay = std::abs(dy) + 1;
        const double d = std::sqrt(ax * ax + ay * ay);
        if (d > model.ScopeDistance) continue;
        const double g = DistanceDivisor(d, settings_.Distance);

        const Cell& source =
            settings_.RandomSeq ? model.PopulationGrid.At(u, v) : model.SnapshotGrid.At(u, v);
        const int strength =
            source.Opinion == target.Opinion ? source.Supportiveness : source.Persuasiveness;
        const double q = strength / g;
        impact[source.Opinion] += q;
        sources[source.Opinion] += 1;
      }
    }
  }
  Scale(model, settings_.SummationM, impact, sources);
}

void ReferenceTorusImpact::Prepare(const RunSettings& settings, ModelState& model) {
  if (model.GridSide() != kTorusSide) throw std::logic_error("torus model needs a 20 x 20 grid");
  settings_ = settings;
}

void ReferenceTorusImpact::ComputeImpact(const ModelState& model, int x, int y,
                                         ImpactVector& impact, SourceCount& sources) {
  const Grid& grid = settings_.RandomSeq ? model.PopulationGrid : model.SnapshotGrid;
  auto strength = [&](const Cell& c) {
    const double s = c.Supportiveness;
    return settings_.SummationM ? s * s : s;
  };
  ClearSources(model, sources);

  const Cell& target = grid.At(x, y);
  const double selfDivisor = DistanceDivisor(kTorusSelfDistance, settings_.Distance);
  impact[target.Opinion] += strength(target) / selfDivisor;
  sources[target.Opinion] += 1;

  for (int u = 1; u <= kTorusSide; ++u) {
    for (int v = 1; v <= kTorusSide; ++v) {
      if (u == x && v == y) continue;
      int a = std::abs(u - x);
      if (a > kTorusSide / 2) a = kTorusSide - a;
      int b = std::abs(v - y);
      if (b > kTorusSide / 2) b = kTorusSide - b;
      const double d = std::sqrt(static_cast<double>(a * a + b * b));
      const double g = DistanceDivisor(d, settings_.Distance);
      const Cell& source = grid.At(u, v);
      impact[source.Opinion] += strength(source) / g;
      sources[source.Opinion] += 1;
    }
  }
  Scale(model, settings_.SummationM, impact, sources);
}

std::unique_ptr<ImpactModel> MakeReferenceRingImpact() {
  return std::make_unique<ReferenceRingImpact>();
}

std::unique_ptr<ImpactModel> MakeReferenceTorusImpact() {
  return std::make_unique<ReferenceTorusImpact>();
}

}  // namespace impactsim::reference
