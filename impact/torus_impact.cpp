#include "impact/torus_impact.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "impact/round_kernels.h"
#include "impact/torus_round.h"

namespace impactsim {

namespace {

int Fold(int side, int delta) {
  int a = std::abs(delta);
  if (a > side / 2) a = side - a;
  return a;
}

double Strength(std::size_t supportiveness, bool squared) {
  const auto s = static_cast<double>(supportiveness);
  return squared ? s * s : s;
}

}  // namespace

double TorusSelfDivisor(DistancePar distance) {
  return DistancePower(kTorusSelfDistance, DistanceExponent(distance));
}

double TorusDistance(int side, int x, int y, int u, int v) {
  const int a = Fold(side, u - x);
  const int b = Fold(side, v - y);
  return std::sqrt(static_cast<double>(a * a + b * b));
}

void TorusImpact::Prepare(const RunSettings& settings, ModelState& model) {
  if (model.OpinionCount != 2) throw std::logic_error("torus impact handles two opinions");
  ChooseRoundKernel();
  if (model.GridSide() != kSide) throw std::logic_error("torus impact needs a 20 x 20 grid");
  plainSums_ = settings.SummationM;
  sequential_ = settings.RandomSeq;
  cache_.Resize(static_cast<std::size_t>(kSide * kSide));
  SyncPopulation(model.PopulationGrid, true);
  const int exponent = DistanceExponent(settings.Distance);

  const double selfDivisor = TorusSelfDivisor(settings.Distance);
  for (std::size_t s = 0; s < kStrengths; ++s) self_[s] = Strength(s, plainSums_) / selfDivisor;
  for (int delta = -(kSide - 1); delta <= kSide - 1; ++delta) {
    fold_[static_cast<std::size_t>(delta + kSide - 1)] =
        static_cast<std::uint8_t>(Fold(kSide, delta));
  }
  for (std::size_t a = 0; a < kFolds; ++a) {
    for (std::size_t b = 0; b < kFolds; ++b) {
      const double d = std::sqrt(static_cast<double>(a * a + b * b));
      const double g = DistancePower(d, exponent);
      double* row = &quotient_[(a * kFolds + b) * kStrengths];
      for (std::size_t s = 0; s < kStrengths; ++s) row[s] = Strength(s, plainSums_) / g;
    }
  }
  // The kernels' rows: per row offset b and strength, the quotients along the
  // column offsets x - u that lanes meet, folded like any other offset.
  row_.resize(kFolds * kStrengths * torus_round::kRowLength);
  for (std::size_t b = 0; b < kFolds; ++b) {
    for (std::size_t s = 0; s < kStrengths; ++s) {
      double* row = &row_[(b * kStrengths + s) * torus_round::kRowLength];
      for (int t = 0; t < torus_round::kRowLength; ++t) {
        const int delta = ((t - (kSide - 1)) % kSide + kSide) % kSide;
        const auto a = static_cast<std::size_t>(Fold(kSide, delta));
        row[t] = a == 0 && b == 0 ? 0.0 : quotient_[(a * kFolds + b) * kStrengths + s];
      }
    }
  }
}

void TorusImpact::ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                                SourceCount& sources) {
  const Grid& grid = sequential_ ? model.PopulationGrid : model.SnapshotGrid;
  OpinionTotals totals;

  const Cell& target = grid.At(x, y);
  totals.Add(target.Opinion, self_[target.Supportiveness]);

  // Every other cell, first index outer, second inner.
  const Cell* cells = grid.Data();
  std::array<std::uint32_t, kSide> column{};
  for (int v = 1; v <= kSide; ++v) {
    column[static_cast<std::size_t>(v - 1)] =
        static_cast<std::uint32_t>(fold_[static_cast<std::size_t>(v - y + kSide - 1)] * kStrengths);
  }
  for (int u = 1; u <= kSide; ++u) {
    const std::size_t a = fold_[static_cast<std::size_t>(u - x + kSide - 1)];
    const double* rowA = &quotient_[a * kFolds * kStrengths];
    const Cell* col = cells + (u - 1);
    auto visit = [&](int v) {
      const Cell& c = col[(v - 1) * kSide];
      totals.Add(c.Opinion, rowA[column[static_cast<std::size_t>(v - 1)] + c.Supportiveness]);
    };
    if (u != x) {
      for (int v = 1; v <= kSide; ++v) visit(v);
    } else {
      for (int v = 1; v < y; ++v) visit(v);
      for (int v = y + 1; v <= kSide; ++v) visit(v);
    }
  }
  totals.Finish(plainSums_, impact, sources);
}

static_assert(torus_round::kSide == TorusImpact::kSide);

void TorusImpact::ComputeRound(const ModelState& model, std::span<ImpactVector> impact,
                               std::span<SourceCount> sources) {
  SyncPopulation(model.SnapshotGrid, false);
  Refresh(cache_.StaleCount(), {});
  cache_.CopyAll(impact, sources);
}

int TorusImpact::TurnsAhead() const {
  return sequential_ ? kMaxLanes : 0;
}

void TorusImpact::ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                               std::int32_t turnsLikely, std::span<ImpactVector> impact,
                               std::span<SourceCount> sources) {
  (void)model;  // the copy is kept current by CellChanged
  // Every cell reaches every target: all are stale or none.
  Refresh(static_cast<std::size_t>(turnsLikely), cells);
  cache_.CopyTo(cells, impact, sources);
}

void TorusImpact::CellChanged(const ModelState& model, int x, int y) {
  SetCell(static_cast<std::size_t>((y - 1) * kSide + (x - 1)), model.PopulationGrid.At(x, y));
  cache_.MarkAllStale();
}

void TorusImpact::SyncPopulation(const Grid& population, bool all) {
  const Cell* live = population.Data();
  bool changed = false;
  for (std::size_t i = 0; i < opinion_.size(); ++i) {
    if (all || live[i].Opinion != opinion_[i] || live[i].Supportiveness != support_[i]) {
      SetCell(i, live[i]);
      changed = true;
    }
  }
  if (changed) cache_.MarkAllStale();
}

void TorusImpact::SetCell(std::size_t i, const Cell& c) {
  count1_ += (c.Opinion == 1 ? 1 : 0) - (opinion_[i] == 1 ? 1 : 0);
  count2_ += (c.Opinion == 2 ? 1 : 0) - (opinion_[i] == 2 ? 1 : 0);
  opinion_[i] = c.Opinion;
  support_[i] = c.Supportiveness;
  mask1_[i] = c.Opinion == 1 ? ~std::uint64_t{0} : 0;
  mask2_[i] = c.Opinion == 2 ? ~std::uint64_t{0} : 0;
}

void TorusImpact::Refresh(std::size_t expected, std::span<const std::int32_t> wanted) {
  torus_round::Input in;
  in.opinion = opinion_.data();
  in.supportiveness = support_.data();
  in.mask1 = mask1_.data();
  in.mask2 = mask2_.data();
  in.count1 = count1_;
  in.count2 = count2_;
  in.fold = fold_.data();
  in.row = row_.data();
  in.self = self_.data();
  in.plainSums = plainSums_;
  cache_.Refresh(
      expected, wanted, [&] { torus_round::Compute(in, cache_.Output()); },
      [&](const std::int32_t* cells, int count) {
        torus_round::ComputeTargets(in, cells, count, cache_.Output());
      });
}

std::unique_ptr<ImpactModel> MakeTorusImpact() {
  return std::make_unique<TorusImpact>();
}

}  // namespace impactsim
