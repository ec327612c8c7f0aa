#include "impact/ring_impact.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "impact/ring_round.h"

namespace impactsim {

void RingImpact::Prepare(const RunSettings& settings, ModelState& model) {
  if (model.OpinionCount < 2 || model.OpinionCount > kMaxOpinions) {
    throw std::logic_error("ring impact: opinions past 2..16");
  }
  manyOpinions_ = model.OpinionCount > 2 || manyOpinionPath_;
  if (model.ScopeRadius > kMaxRingRadius) throw std::logic_error("ring impact: radius past 100");
  if (settings.Distance.Nb) model.ScopeRadius = 1;
  torus_ = !settings.Edge;
  removeSelf_ = settings.RemoveSelf;
  summationM_ = settings.SummationM;
  randomSeq_ = settings.RandomSeq;
  side_ = model.GridSide();

  wrap_.resize(static_cast<std::size_t>(3 * side_));
  for (int c = -side_ + 1; c <= 2 * side_; ++c) {
    int w = c;
    if (w <= 0) w += side_;
    if (w > side_) w -= side_;
    wrap_[static_cast<std::size_t>(c + side_ - 1)] = static_cast<std::int16_t>(w);
  }

  const double selfDivisor = RingSelfDivisor(settings.Distance);
  for (std::size_t s = 0; s < kStrengthValues; ++s) self_[s] = static_cast<double>(s) / selfDivisor;

  // The neighbourhood tables depend only on the scope, the distance rule and
  // the grid; most runs reuse the previous run's.
  const Key key{side_, model.ScopeRadius, model.ScopeDistance, settings.Distance};
  const bool tablesChanged = key != key_ || offsets_.empty();
  if (tablesChanged) BuildTables(key);
  if (torus_ && !RingTorusFits(side_, reach_)) {
    throw std::logic_error("ring impact: a torus's side must exceed twice the reach");
  }
  certified_ = certify_ && !manyOpinions_ && settings.Noise == 0.0;
  if (certified_) {
    kernels_ = false;
    PrepareTotals(model, tablesChanged);
    return;
  }
  // The kernels' planes: one pair per distance class over the padded grid.
  const auto padded = static_cast<std::size_t>(side_ + 2 * reach_) *
                      static_cast<std::size_t>(side_ + 2 * reach_ + ring_round::kLanes);
  const std::size_t classes = quotient_.size() / kStrengthValues;
  kernels_ = !manyOpinions_ && classes * 2 * padded * sizeof(double) <= kMaxPlaneBytes;
  if (!kernels_) return;
  PrepareRounds();
  // The kernels read a padded copy of the population, made here and kept
  // current by CellChanged (sequential runs) or at each round's start.
  FillPadded(model.PopulationGrid, model.PopulationGrid);
}

void RingImpact::PrepareTotals(const ModelState& model, bool tablesChanged) {
  std::vector<RingTotals::Position> positions;
  if (tablesChanged) {
    positions.reserve(sources_.size());
    for (const Source& s : sources_) positions.push_back({s.dx, s.dy, &quotient_[U(s.row)]});
  }
  totals_.Prepare({side_, reach_, torus_, removeSelf_, summationM_}, positions, self_.data(),
                  tablesChanged, model.PopulationGrid);
}

std::uint8_t RingImpact::CertainGreatest(const ModelState& model, int x, int y) {
  return totals_.CertainGreatest(model.PopulationGrid.At(x, y), x, y);
}

void RingImpact::RoundStarts(const ModelState& model, std::span<std::uint8_t> certain) {
  totals_.Sync(model.SnapshotGrid);
  totals_.CertainAll(model.SnapshotGrid, certain);
}

void RingImpact::BuildTables(const Key& key) {
  key_ = key;

  offsets_.clear();
  sources_.clear();
  quotient_.clear();
  reach_ = 0;
  std::map<std::int32_t, std::int32_t> rowOfDistance;
  for (const RingOffset& o : RingScanOrder(key.radius)) {
    const double d = std::sqrt(static_cast<double>(o.sumOfSquares));
    if (d > key.cutoff) continue;
    auto [it, added] =
        rowOfDistance.try_emplace(o.sumOfSquares, static_cast<std::int32_t>(quotient_.size()));
    if (added) {
      const double g = DistanceDivisor(d, key.distance);
      for (std::size_t s = 0; s < kStrengthValues; ++s)
        quotient_.push_back(static_cast<double>(s) / g);
    }
    offsets_.push_back(o);
    sources_.push_back({it->second, o.dy * side_ + o.dx, o.dx, o.dy});
    reach_ = std::max({reach_, std::abs(int{o.dx}), std::abs(int{o.dy})});
  }
}

// Per target, its sources on the grid: all of them on a torus. By a table of
// how many sources lie at or before each offset (dx, dy), summed over both
// axes, so that the sources within any rectangle of offsets are four reads.
void RingImpact::CountSourcesOnGrid() {
  if (onGridFor_ == key_ && onGridTorus_ == torus_ && !onGrid_.empty()) return;
  onGridFor_ = key_;
  onGridTorus_ = torus_;
  const auto cells = static_cast<std::size_t>(side_ * side_);
  if (torus_) {
    onGrid_.assign(cells, static_cast<std::int32_t>(sources_.size()));
    return;
  }
  const int span = 2 * reach_ + 1;
  // atOrBefore[(dy + reach + 1) * (span + 1) + dx + reach + 1]: sources with
  // offsets dx' <= dx and dy' <= dy.
  std::vector<std::int32_t> atOrBefore(static_cast<std::size_t>((span + 1) * (span + 1)), 0);
  auto at = [&](int dx, int dy) -> std::int32_t& {
    return atOrBefore[static_cast<std::size_t>((dy + reach_ + 1) * (span + 1) + dx + reach_ + 1)];
  };
  for (const Source& s : sources_) ++at(s.dx, s.dy);
  for (int dy = -reach_; dy <= reach_; ++dy) {
    for (int dx = -reach_; dx <= reach_; ++dx) {
      at(dx, dy) += at(dx - 1, dy) + at(dx, dy - 1) - at(dx - 1, dy - 1);
    }
  }
  onGrid_.resize(cells);
  for (int y = 0; y < side_; ++y) {
    for (int x = 0; x < side_; ++x) {
      // Offsets that stay on the grid: -x .. side-1-x, clipped to the reach.
      const int x0 = std::max(-x, -reach_) - 1, x1 = std::min(side_ - 1 - x, reach_);
      const int y0 = std::max(-y, -reach_) - 1, y1 = std::min(side_ - 1 - y, reach_);
      onGrid_[static_cast<std::size_t>(y * side_ + x)] =
          at(x1, y1) - at(x0, y1) - at(x1, y0) + at(x0, y0);
    }
  }
}

void RingImpact::PrepareRounds() {
  stride_ = side_ + 2 * reach_ + ring_round::kLanes;
  padded_ = static_cast<std::size_t>((side_ + 2 * reach_) * stride_);
  classes_ = quotient_.size() / kStrengthValues;
  planes_.Resize(classes_ * 2 * padded_);
  mask1_.resize(padded_);
  padOpinion_.resize(padded_);
  padFor1_.resize(padded_);
  padFor2_.resize(padded_);
  const auto cells = static_cast<std::size_t>(side_ * side_);
  ownOpinion_.resize(cells);
  ownSupport_.resize(cells);
  cache_.Resize(cells);
  seen_.resize(cells);
  everyCell_.resize(cells);
  for (std::size_t i = 0; i < cells; ++i) everyCell_[i] = static_cast<std::int32_t>(i);
  CountSourcesOnGrid();
  padDelta_.clear();
  planeAt_.clear();
  for (const Source& s : sources_) {
    const std::int32_t delta = s.dy * stride_ + s.dx;
    padDelta_.push_back(delta);
    const auto plane = static_cast<std::int64_t>(static_cast<std::size_t>(s.row) / kStrengthValues);
    planeAt_.push_back(s.dy * PlaneRow() + 2 * plane * stride_ + s.dx);
  }
}

// A grid's cell on the padded grid: a wall's margin counts nowhere; a
// torus's margin repeats the cells it wraps to. Only a position whose cell
// differs from what it held is written anew, on every plane.
void RingImpact::PadCell(const Cell& c, bool onGrid, std::size_t at) {
  if (SetPadded(c, onGrid, at)) WritePlanes(at);
}

bool RingImpact::SetPadded(const Cell& c, bool onGrid, std::size_t at) {
  const bool counts = onGrid || torus_;
  const std::uint8_t opinion = counts ? c.Opinion : std::uint8_t{0};
  const std::uint8_t for1 = !counts ? 0 : c.Opinion == 1 ? c.Supportiveness : c.Persuasiveness;
  const std::uint8_t for2 = !counts ? 0 : c.Opinion == 2 ? c.Supportiveness : c.Persuasiveness;
  if (padOpinion_[at] == opinion && padFor1_[at] == for1 && padFor2_[at] == for2) return false;
  padOpinion_[at] = opinion;
  padFor1_[at] = for1;
  padFor2_[at] = for2;
  mask1_[at] = opinion == 1 ? ~std::uint64_t{0} : 0;
  return true;
}

void RingImpact::WritePlanes(std::size_t at) {
  const auto stride = static_cast<std::size_t>(stride_);
  double* plane = planes_.Data() + at / stride * static_cast<std::size_t>(PlaneRow()) + at % stride;
  const double* q = quotient_.data();
  const bool counts = padOpinion_[at] != 0;
  for (std::size_t k = 0; k < classes_; ++k, q += kStrengthValues, plane += 2 * stride) {
    plane[0] = counts ? q[padFor1_[at]] : 0.0;
    plane[stride] = counts ? q[padFor2_[at]] : 0.0;
  }
}

// Every plane anew from the padded bytes, row after row of each plane.
void RingImpact::WriteAllPlanes() {
  const auto stride = static_cast<std::size_t>(stride_);
  double* plane = planes_.Data();
  for (std::size_t row = 0; row < padded_; row += stride) {
    const std::uint8_t* opinion = padOpinion_.data() + row;
    const double* q = quotient_.data();
    for (std::size_t k = 0; k < classes_; ++k, q += kStrengthValues) {
      for (const std::uint8_t* strength : {padFor1_.data() + row, padFor2_.data() + row}) {
        for (std::size_t px = 0; px < stride; ++px) {
          *plane++ = opinion[px] != 0 ? q[strength[px]] : 0.0;
        }
      }
    }
  }
}

void RingImpact::FillPadded(const Grid& sources, const Grid& targets) {
  const int padded = side_ + 2 * reach_;
  for (int py = 0; py < padded; ++py) {
    int gy = py - reach_;
    const bool rowOn = gy >= 0 && gy < side_;
    gy = ((gy % side_) + side_) % side_;
    for (int px = 0; px < stride_; ++px) {
      int gx = px - reach_;
      const bool on = rowOn && gx >= 0 && gx < side_;
      gx = ((gx % side_) + side_) % side_;
      SetPadded(sources.Data()[gy * side_ + gx], on, static_cast<std::size_t>(py * stride_ + px));
    }
  }
  WriteAllPlanes();
  const Cell* live = targets.Data();
  for (std::size_t i = 0; i < ownOpinion_.size(); ++i) {
    ownOpinion_[i] = live[i].Opinion;
    ownSupport_[i] = live[i].Supportiveness;
    seen_[i] = sources.Data()[i];
  }
  cache_.MarkAllStale();
}

void RingImpact::UpdateSource(const Cell& c, int x, int y, bool markReached) {
  seen_[static_cast<std::size_t>((y - 1) * side_ + (x - 1))] = c;
  // Every padded position that shows the cell: the cell itself and, on the
  // margins, its copies (FillPadded maps every position to a cell).
  const int padded = side_ + 2 * reach_;
  for (int py = (y - 1 + reach_) % side_; py < padded; py += side_) {
    for (int px = (x - 1 + reach_) % side_; px < stride_; px += side_) {
      const bool on = py - reach_ == y - 1 && px - reach_ == x - 1;
      PadCell(c, on, static_cast<std::size_t>(py * stride_ + px));
    }
  }
  // Every target within reach has it among its sources, or is the cell.
  if (!markReached) return;
  for (int dy = -reach_; dy <= reach_; ++dy) {
    int ty = y - 1 + dy;
    if (torus_) ty = (ty + side_) % side_;
    if (ty < 0 || ty >= side_) continue;
    for (int dx = -reach_; dx <= reach_; ++dx) {
      int tx = x - 1 + dx;
      if (torus_) tx = (tx + side_) % side_;
      if (tx < 0 || tx >= side_) continue;
      cache_.MarkStale(static_cast<std::size_t>(ty * side_ + tx));
    }
  }
}

// A target's own opinion decides the strength its sources act with, its own
// supportiveness its own voice.
void RingImpact::UpdateTarget(const Cell& c, std::size_t cell) {
  if (ownOpinion_[cell] == c.Opinion && ownSupport_[cell] == c.Supportiveness) return;
  ownOpinion_[cell] = c.Opinion;
  ownSupport_[cell] = c.Supportiveness;
  cache_.MarkStale(cell);
}

void RingImpact::CellChanged(const ModelState& model, int x, int y) {
  if (certified_) {
    totals_.CellChanged(model.PopulationGrid, x, y);
    return;
  }
  if (!kernels_) return;  // nothing kept: every turn reads the population
  const Cell& c = model.PopulationGrid.At(x, y);
  UpdateSource(c, x, y, true);
  UpdateTarget(c, static_cast<std::size_t>((y - 1) * side_ + (x - 1)));
}

ring_round::Input RingImpact::KernelInput() const {
  ring_round::Input in;
  in.side = side_;
  in.pad = reach_;
  in.stride = stride_;
  in.planeRow = PlaneRow();
  in.plane = planes_.Data();
  in.mask1 = mask1_.data();
  in.onGrid = onGrid_.data();
  in.ownOpinion = ownOpinion_.data();
  in.ownSupportiveness = ownSupport_.data();
  in.sources = static_cast<int>(sources_.size());
  in.delta = padDelta_.data();
  in.at = planeAt_.data();
  in.self = self_.data();
  in.removeSelf = removeSelf_;
  in.summationM = summationM_;
  return in;
}

void RingImpact::ComputeRound(const ModelState& model, std::span<ImpactVector> impact,
                              std::span<SourceCount> sources) {
  // The copy brought up to date with the cells the last round changed: the
  // sources from the snapshot, the targets from the population. Where the
  // changed cells reach most targets, all are worked out again.
  const Cell* snapshot = model.SnapshotGrid.Data();
  const Cell* live = model.PopulationGrid.Data();
  changed_.clear();
  for (std::int32_t i = 0; i < side_ * side_; ++i) {
    const Cell& c = snapshot[i];
    const Cell& before = seen_[static_cast<std::size_t>(i)];
    if (c.Opinion != before.Opinion || c.Supportiveness != before.Supportiveness ||
        c.Persuasiveness != before.Persuasiveness) {
      changed_.push_back(i);
    }
  }
  const auto window = static_cast<std::size_t>((2 * reach_ + 1) * (2 * reach_ + 1));
  const bool many = 4 * changed_.size() * window >= cache_.Cells();
  if (many) cache_.MarkAllStale();
  for (const std::int32_t i : changed_) {
    UpdateSource(snapshot[i], i % side_ + 1, i / side_ + 1, !many);
  }
  for (std::int32_t i = 0; i < side_ * side_; ++i) {
    UpdateTarget(live[i], static_cast<std::size_t>(i));
  }
  Refresh(cache_.StaleCount(), everyCell_);
  cache_.CopyAll(impact, sources);
}

void RingImpact::Refresh(std::size_t expected, std::span<const std::int32_t> wanted) {
  const ring_round::Input in = KernelInput();
  cache_.Refresh(
      expected, wanted, [&] { ring_round::Compute(in, cache_.Output()); },
      [&](const std::int32_t* cells, int count) {
        ring_round::ComputeTargets(in, cells, count, cache_.Output());
      });
}

int RingImpact::TurnsAhead() const {
  return randomSeq_ && kernels_ ? ring_round::kLanes : 0;
}

int RingImpact::ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                             std::int32_t turnsLikely, std::span<ImpactVector> impact,
                             std::span<SourceCount> sources) {
  (void)model;  // the padded copy is kept current by CellChanged
  // As many of the round's remaining turns as are stale will want working out.
  const std::size_t expected =
      cache_.StaleCount() * static_cast<std::size_t>(turnsLikely) / cache_.Cells();
  Refresh(expected, cells);
  cache_.CopyTo(cells, impact, sources);
  return static_cast<int>(cells.size());
}

void RingImpact::ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                               SourceCount& sources) {
  if (manyOpinions_) {
    Scan(model, x, y, ManyOpinionTotals(model.OpinionCount)).Finish(summationM_, impact, sources);
  } else {
    Scan(model, x, y, OpinionTotals{}).Finish(summationM_, impact, sources);
  }
}

template <class Totals>
Totals RingImpact::Scan(const ModelState& model, int x, int y, Totals totals) const {
  const Grid& grid = randomSeq_ ? model.PopulationGrid : model.SnapshotGrid;
  const Cell* cells = grid.Data();
  const Cell& target = model.PopulationGrid.At(x, y);
  const std::uint8_t own = target.Opinion;

  if (!removeSelf_) totals.Add(own, self_[target.Supportiveness]);

  const Source* src = sources_.data();
  const std::size_t n = sources_.size();
  const double* q = quotient_.data();
  // A source of the target's opinion acts with its supportiveness, one of the
  // other opinion with its persuasiveness. Opinion 0 contributes nowhere.
  auto visit = [&](const Source& s, const Cell& c, std::uint8_t opinion) {
    const std::uint8_t strength = c.Opinion == own ? c.Supportiveness : c.Persuasiveness;
    totals.Add(opinion, q[s.row + strength]);
  };

  const bool inner =
      x - reach_ >= 1 && x + reach_ <= side_ && y - reach_ >= 1 && y + reach_ <= side_;
  if (inner) {
    // Every source lies on the grid: no border test, no wrapping.
    const Cell* centre = cells + grid.Index(x, y);
    for (std::size_t i = 0; i < n; ++i) {
      const Cell& c = centre[src[i].delta];
      visit(src[i], c, c.Opinion);
    }
  } else if (torus_) {
    // Each coordinate wraps once; the distance stays that of the unwrapped
    // offset. Past the side - 1 entries below coordinate 1: wrap[c] is c's.
    const std::int16_t* wrap = wrap_.data() + side_ - 1;
    // Per turn, where each wrapped row starts and each wrapped column lies.
    std::array<std::int32_t, 2 * kMaxRingRadius + 1> rowStart, column;
    for (int d = -reach_; d <= reach_; ++d) {
      rowStart[static_cast<std::size_t>(d + reach_)] = (wrap[y + d] - 1) * side_;
      column[static_cast<std::size_t>(d + reach_)] = wrap[x + d] - 1;
    }
    const std::int32_t* rows = rowStart.data() + reach_;
    const std::int32_t* cols = column.data() + reach_;
    for (std::size_t i = 0; i < n; ++i) {
      const Cell& c = cells[rows[src[i].dy] + cols[src[i].dx]];
      visit(src[i], c, c.Opinion);
    }
  } else {
    // Positions off the grid are skipped. Without a branch: an off-grid
    // position reads the target's cell instead and contributes to no
    // opinion (its opinion masked to 0).
    const auto side = static_cast<unsigned>(side_);
    const std::size_t self = grid.Index(x, y);
    for (std::size_t i = 0; i < n; ++i) {
      const int u = x + src[i].dx;
      const int v = y + src[i].dy;
      const bool onGrid =
          static_cast<unsigned>(u - 1) < side && static_cast<unsigned>(v - 1) < side;
      const Cell& c = cells[onGrid ? grid.Index(u, v) : self];
      const auto keep = static_cast<std::uint8_t>(-static_cast<int>(onGrid));
      visit(src[i], c, static_cast<std::uint8_t>(c.Opinion & keep));
    }
  }
  return totals;
}

std::unique_ptr<ImpactModel> MakeRingImpact() {
  return std::make_unique<RingImpact>();
}

}  // namespace impactsim
