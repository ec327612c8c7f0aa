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
  if (model.GridSide() != kSide) throw std::logic_error("torus impact needs a 20 x 20 grid");
  plainSums_ = settings.SummationM;
  sequential_ = settings.RandomSeq;
  totals_.Resize(static_cast<std::size_t>(kSide * kSide));
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
  if (ChosenRoundKernel() == RoundKernel::Scalar) {
    RoundTurnByTurn(*this, model, impact, sources);
    return;
  }
  RunKernel(model.SnapshotGrid, everyCell_, impact, sources);
}

int TorusImpact::TurnsAhead() const {
  return sequential_ && ChosenRoundKernel() != RoundKernel::Scalar ? 8 : 0;
}

void TorusImpact::ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                               std::span<ImpactVector> impact, std::span<SourceCount> sources) {
  RunKernel(model.PopulationGrid, cells, impact, sources);
}

void TorusImpact::RunKernel(const Grid& population, std::span<const std::int32_t> cells,
                            std::span<ImpactVector> impact, std::span<SourceCount> sources) {
  const Cell* live = population.Data();
  for (std::size_t i = 0; i < opinion_.size(); ++i) {
    opinion_[i] = live[i].Opinion;
    support_[i] = live[i].Supportiveness;
  }
  torus_round::Input in;
  in.opinion = opinion_.data();
  in.supportiveness = support_.data();
  in.fold = fold_.data();
  in.quotient = quotient_.data();
  in.self = self_.data();
  in.plainSums = plainSums_;
  const auto count = static_cast<int>(cells.size());
  if (ChosenRoundKernel() == RoundKernel::Avx512) {
    torus_round::avx512::ComputeTargets(in, cells.data(), count, totals_.Output());
  } else {
    torus_round::avx2::ComputeTargets(in, cells.data(), count, totals_.Output());
  }
  totals_.CopyTo(cells.size(), impact, sources);
}

std::unique_ptr<ImpactModel> MakeTorusImpact() {
  return std::make_unique<TorusImpact>();
}

}  // namespace impactsim
