#include "impact/torus_impact.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "impact/torus_round.h"
#include "model/bit_cast.h"

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

double TorusSelfDivisor(const DistanceRule& distance) {
  return DistanceDivisor(kTorusSelfDistance, distance);
}

double TorusDistance(int side, int x, int y, int u, int v) {
  const int a = Fold(side, u - x);
  const int b = Fold(side, v - y);
  return std::sqrt(static_cast<double>(a * a + b * b));
}

void TorusImpact::Prepare(const RunSettings& settings, ModelState& model) {
  if (model.OpinionCount < 2 || model.OpinionCount > kMaxOpinions) {
    throw std::logic_error("torus impact: opinions past 2..16");
  }
  summationM_ = settings.SummationM;
  randomSeq_ = settings.RandomSeq;
  side_ = model.GridSide();
  manyOpinions_ = model.OpinionCount > 2 || manyOpinionPath_;
  kernels_ = side_ == kSide && !manyOpinions_;
  fold_.resize(static_cast<std::size_t>(2 * side_ - 1));
  rowAt_.resize(static_cast<std::size_t>(side_));
  for (int delta = -(side_ - 1); delta <= side_ - 1; ++delta) {
    fold_[static_cast<std::size_t>(delta + side_ - 1)] =
        static_cast<std::uint8_t>(Fold(side_, delta));
  }
  tables_ = SharedTables(settings.Distance, summationM_);
  certified_ = certify_ && !manyOpinions_ && settings.Noise == 0.0 && TorusTotals::Fits(side_);
  bool sideTablesBuilt = false;
  if (side_ == kSide) {
    quotient_ = tables_->quotient.data();
    folds_ = kFolds;
  } else {
    const SideKey key{side_, settings.Distance, summationM_};
    sideTablesBuilt = key != sideKey_ || sideQuotient_.empty();
    if (sideTablesBuilt) BuildSideQuotients(key);
    quotient_ = sideQuotient_.data();
    folds_ = static_cast<std::size_t>(side_ / 2 + 1);
  }
  if (certified_) {
    kernels_ = false;
    const void* tables = side_ == kSide ? static_cast<const void*>(tables_.get()) : &sideKey_;
    const bool tablesChanged = sideTablesBuilt || tables != totalsTables_;
    totalsTables_ = tables;
    totals_.Prepare(side_, summationM_, quotient_, tables_->self.data(), tablesChanged,
                    model.PopulationGrid);
    return;
  }
  if (kernels_) {
    cache_.Resize(static_cast<std::size_t>(kSide * kSide));
    SyncPopulation(model.PopulationGrid, true);
  }
}

std::uint8_t TorusImpact::CertainGreatest(const ModelState& model, int x, int y) {
  (void)model;
  return totals_.CertainGreatest(x, y);
}

void TorusImpact::RoundStarts(const ModelState& model, std::span<std::uint8_t> certain) {
  totals_.Sync(model.SnapshotGrid);
  totals_.CertainAll(certain);
}

// The quotients of a side other than 20, worked out as the shared tables'.
void TorusImpact::BuildSideQuotients(const SideKey& key) {
  sideKey_ = key;
  const auto folds = static_cast<std::size_t>(key.side / 2 + 1);
  sideQuotient_.resize(folds * folds * kStrengthValues);
  for (std::size_t a = 0; a < folds; ++a) {
    for (std::size_t b = 0; b < folds; ++b) {
      const double d = std::sqrt(static_cast<double>(a * a + b * b));
      const double g = DistanceDivisor(d, key.distance);
      double* row = &sideQuotient_[(a * folds + b) * kStrengthValues];
      for (std::size_t s = 0; s < kStrengthValues; ++s) row[s] = Strength(s, key.summationM) / g;
    }
  }
}

// The tables of one distance rule and summation, built once per process and
// shared by every model (and thread) that runs with them: a sweep starts
// thousands of runs.
std::shared_ptr<const TorusImpact::Tables> TorusImpact::SharedTables(const DistanceRule& distance,
                                                                     bool summationM) {
  static std::mutex mutex;
  static std::map<std::tuple<bool, std::uint64_t, bool>, std::shared_ptr<const Tables>> built;
  const std::lock_guard lock(mutex);
  std::shared_ptr<const Tables>& tables =
      built[{distance.Nb, BitCast<std::uint64_t>(distance.Power), summationM}];
  if (!tables) tables = BuildTables(distance, summationM);
  return tables;
}

std::shared_ptr<const TorusImpact::Tables> TorusImpact::BuildTables(const DistanceRule& distance,
                                                                    bool summationM) {
  auto t = std::make_shared<Tables>();
  const double selfDivisor = TorusSelfDivisor(distance);
  for (std::size_t s = 0; s < kStrengthValues; ++s)
    t->self[s] = Strength(s, summationM) / selfDivisor;
  for (std::size_t a = 0; a < kFolds; ++a) {
    for (std::size_t b = 0; b < kFolds; ++b) {
      const double d = std::sqrt(static_cast<double>(a * a + b * b));
      const double g = DistanceDivisor(d, distance);
      double* row = &t->quotient[(a * kFolds + b) * kStrengthValues];
      for (std::size_t s = 0; s < kStrengthValues; ++s) row[s] = Strength(s, summationM) / g;
    }
  }
  t->kernelQuotient = t->quotient;
  for (std::size_t s = 0; s < kStrengthValues; ++s) t->kernelQuotient[s] = 0.0;  // offsets (0, 0)
  // The kernels' rows: per row offset b and strength, the quotients along the
  // column offsets x - u that lanes meet, folded like any other offset.
  t->row.resize(kFolds * kStrengthValues * torus_round::kRowLength);
  for (std::size_t b = 0; b < kFolds; ++b) {
    for (std::size_t s = 0; s < kStrengthValues; ++s) {
      double* row = &t->row[(b * kStrengthValues + s) * torus_round::kRowLength];
      for (int i = 0; i < torus_round::kRowLength; ++i) {
        const int delta = ((i - (kSide - 1)) % kSide + kSide) % kSide;
        const auto a = static_cast<std::size_t>(Fold(kSide, delta));
        row[i] = a == 0 && b == 0 ? 0.0 : t->quotient[(a * kFolds + b) * kStrengthValues + s];
      }
    }
  }
  return t;
}

void TorusImpact::ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                                SourceCount& sources) {
  if (manyOpinions_) {
    Scan(model, x, y, ManyOpinionTotals(model.OpinionCount)).Finish(summationM_, impact, sources);
  } else {
    Scan(model, x, y, OpinionTotals{}).Finish(summationM_, impact, sources);
  }
}

template <class Totals>
Totals TorusImpact::Scan(const ModelState& model, int x, int y, Totals totals) {
  const Grid& grid = randomSeq_ ? model.PopulationGrid : model.SnapshotGrid;

  const Cell& target = grid.At(x, y);
  totals.Add(target.Opinion, tables_->self[target.Supportiveness]);

  // Every other cell, first index outer, second inner.
  const Cell* cells = grid.Data();
  // Per source row v: where the quotients of its folded row offset b start
  // within the quotients of one column offset.
  const int side = side_;
  std::uint32_t* rowAt = rowAt_.data();
  for (int v = 1; v <= side; ++v) {
    rowAt[v - 1] = static_cast<std::uint32_t>(fold_[U(v - y + side - 1)] * kStrengthValues);
  }
  for (int u = 1; u <= side; ++u) {
    // The quotients of the folded column offset a of source column u.
    const std::size_t a = fold_[U(u - x + side - 1)];
    const double* columnA = quotient_ + a * folds_ * kStrengthValues;
    const Cell* col = cells + (u - 1);
    auto visit = [&](int v) {
      const Cell& c = col[(v - 1) * side];
      totals.Add(c.Opinion, columnA[rowAt[v - 1] + c.Supportiveness]);
    };
    if (u != x) {
      for (int v = 1; v <= side; ++v) visit(v);
    } else {
      for (int v = 1; v < y; ++v) visit(v);
      for (int v = y + 1; v <= side; ++v) visit(v);
    }
  }
  return totals;
}

static_assert(torus_round::kSide == TorusImpact::kSide);

void TorusImpact::ComputeRound(const ModelState& model, std::span<ImpactVector> impact,
                               std::span<SourceCount> sources) {
  SyncPopulation(model.SnapshotGrid, false);
  Refresh();
  cache_.CopyAll(impact, sources);
}

int TorusImpact::TurnsAhead() const {
  return randomSeq_ && kernels_ ? kMaxLanes : 0;
}

int TorusImpact::ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                              std::int32_t turnsLikely, std::span<ImpactVector> impact,
                              std::span<SourceCount> sources) {
  // Every cell reaches every target: all are stale or none. Work all out
  // again where enough turns are likely to use them; else the next vector of
  // turns where as many are likely to pass, or this turn's alone by the
  // per-turn code.
  const auto n = static_cast<std::int32_t>(cells.size());
  if (cache_.StaleCount() == 0 || 4 * static_cast<std::size_t>(turnsLikely) >= cache_.Cells()) {
    Refresh();
  } else if (turnsLikely >= n) {
    torus_round::ComputeTargets(KernelInput(), cells.data(), n, cache_.Output());
  } else {
    impact[0][1] = 0.0;
    impact[0][2] = 0.0;
    ComputeImpact(model, cells[0] % kSide + 1, cells[0] / kSide + 1, impact[0], sources[0]);
    return 1;
  }
  cache_.CopyTo(cells, impact, sources);
  return n;
}

void TorusImpact::CellChanged(const ModelState& model, int x, int y) {
  if (certified_) {
    totals_.CellChanged(model.PopulationGrid, x, y);
    return;
  }
  if (!kernels_) return;  // nothing kept: every turn reads the population
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

void TorusImpact::Refresh() {
  if (cache_.StaleCount() == 0) return;
  torus_round::Compute(KernelInput(), cache_.Output());
  cache_.MarkAllFresh();
}

torus_round::Input TorusImpact::KernelInput() const {
  torus_round::Input in;
  in.opinion = opinion_.data();
  in.supportiveness = support_.data();
  in.mask1 = mask1_.data();
  in.mask2 = mask2_.data();
  in.count1 = count1_;
  in.count2 = count2_;
  in.fold = fold_.data();
  in.row = tables_->row.data();
  in.quotient = tables_->kernelQuotient.data();
  in.self = tables_->self.data();
  in.summationM = summationM_;
  return in;
}

std::unique_ptr<ImpactModel> MakeTorusImpact() {
  return std::make_unique<TorusImpact>();
}

}  // namespace impactsim
