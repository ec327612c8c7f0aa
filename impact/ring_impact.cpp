#include "impact/ring_impact.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "impact/ring_round.h"
#include "impact/round_kernels.h"

namespace impactsim {

std::vector<RingOffset> RingScanOrder(int radius) {
  struct Side {
    int startX, startY, stepX, stepY;
  };
  std::vector<RingOffset> order;
  order.reserve(static_cast<std::size_t>(2 * radius * (radius + 1)));
  for (int i = 1; i <= radius; ++i) {
    const Side sides[4] = {{-i, 0, +1, +1}, {0, +i, +1, -1}, {+i, 0, -1, -1}, {0, -i, -1, +1}};
    for (const Side& s : sides) {
      for (int k = 0; k < i; ++k) {
        const int dx = s.startX + k * s.stepX;
        const int dy = s.startY + k * s.stepY;
        const int ax = std::abs(dx) + 1;
        const int ay = std::abs(dy) + 1;
        order.push_back(
            {static_cast<std::int8_t>(dx), static_cast<std::int8_t>(dy), ax * ax + ay * ay});
      }
    }
  }
  return order;
}

double RingSelfDivisor(DistancePar distance) {
  return DistancePower(std::sqrt(2.0), DistanceExponent(distance));
}

void RingImpact::Prepare(const RunSettings& settings, ModelState& model) {
  if (model.OpinionCount != 2) throw std::logic_error("ring impact handles two opinions");
  if (settings.Distance == DistancePar::Nb) model.ScopeRadius = 1;
  torus_ = !settings.Edge;
  removeSelf_ = settings.RemoveSelf;
  plainSums_ = settings.SummationM;
  sequential_ = settings.RandomSeq;
  side_ = model.GridSide();

  wrap_.resize(static_cast<std::size_t>(3 * side_));
  for (int c = -side_ + 1; c <= 2 * side_; ++c) {
    int w = c;
    if (w <= 0) w += side_;
    if (w > side_) w -= side_;
    wrap_[static_cast<std::size_t>(c + side_ - 1)] = static_cast<std::int8_t>(w);
  }

  const double selfDivisor = RingSelfDivisor(settings.Distance);
  for (std::size_t s = 0; s < kStrengths; ++s) self_[s] = static_cast<double>(s) / selfDivisor;

  // The neighbourhood tables depend only on the scope, the distance rule and
  // the grid; most runs reuse the previous run's.
  const Key key{side_, model.ScopeRadius, model.ScopeDistance, settings.Distance};
  if (key != key_) BuildTables(key);
  if (!sequential_ || TurnsAhead() > 0) PrepareRounds();
  // Sequential turns worked out ahead read a padded copy of the population,
  // made here and kept current by CellChanged.
  if (TurnsAhead() > 0) FillPadded(model.PopulationGrid, model.PopulationGrid);
}

void RingImpact::BuildTables(const Key& key) {
  key_ = key;
  const int exponent = DistanceExponent(key.distance);

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
      const double g = DistancePower(d, exponent);
      for (std::size_t s = 0; s < kStrengths; ++s) quotient_.push_back(static_cast<double>(s) / g);
    }
    offsets_.push_back(o);
    sources_.push_back({it->second, o.dy * side_ + o.dx, o.dx, o.dy});
    reach_ = std::max({reach_, std::abs(int{o.dx}), std::abs(int{o.dy})});
  }
}

void RingImpact::PrepareRounds() {
  stride_ = side_ + 2 * reach_ + ring_round::kLanes;
  const auto padded = static_cast<std::size_t>((side_ + 2 * reach_) * stride_);
  padOpinion_.resize(padded);
  padFor1_.resize(padded);
  padFor2_.resize(padded);
  const auto cells = static_cast<std::size_t>(side_ * side_);
  ownOpinion_.resize(cells);
  ownSupport_.resize(cells);
  totals_.Resize(cells);
  padDelta_.clear();
  rows_.clear();
  for (const Source& s : sources_) {
    padDelta_.push_back(s.dy * stride_ + s.dx);
    rows_.push_back(s.row);
  }
}

// A grid's cell on the padded grid: a wall's margin counts nowhere; a
// torus's margin repeats the cells it wraps to.
void RingImpact::PadCell(const Cell& c, bool onGrid, std::size_t at) {
  padOpinion_[at] = onGrid || torus_ ? c.Opinion : std::uint8_t{0};
  padFor1_[at] = c.Opinion == 1 ? c.Supportiveness : c.Persuasiveness;
  padFor2_[at] = c.Opinion == 2 ? c.Supportiveness : c.Persuasiveness;
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
      PadCell(sources.Data()[gy * side_ + gx], on, static_cast<std::size_t>(py * stride_ + px));
    }
  }
  const Cell* live = targets.Data();
  for (std::size_t i = 0; i < ownOpinion_.size(); ++i) {
    ownOpinion_[i] = live[i].Opinion;
    ownSupport_[i] = live[i].Supportiveness;
  }
}

void RingImpact::CellChanged(const ModelState& model, int x, int y) {
  if (TurnsAhead() == 0) return;
  const Cell& c = model.PopulationGrid.At(x, y);
  const auto cell = static_cast<std::size_t>((y - 1) * side_ + (x - 1));
  ownOpinion_[cell] = c.Opinion;
  ownSupport_[cell] = c.Supportiveness;
  // Every padded position that shows the cell: the cell itself and, on the
  // margins, its copies (FillPadded maps every position to a cell).
  const int padded = side_ + 2 * reach_;
  for (int py = (y - 1 + reach_) % side_; py < padded; py += side_) {
    for (int px = (x - 1 + reach_) % side_; px < stride_; px += side_) {
      const bool on = py - reach_ == y - 1 && px - reach_ == x - 1;
      PadCell(c, on, static_cast<std::size_t>(py * stride_ + px));
    }
  }
}

ring_round::Input RingImpact::KernelInput() const {
  ring_round::Input in;
  in.side = side_;
  in.pad = reach_;
  in.stride = stride_;
  in.opinion = padOpinion_.data();
  in.strengthFor1 = padFor1_.data();
  in.strengthFor2 = padFor2_.data();
  in.ownOpinion = ownOpinion_.data();
  in.ownSupportiveness = ownSupport_.data();
  in.sources = static_cast<int>(sources_.size());
  in.delta = padDelta_.data();
  in.row = rows_.data();
  in.quotient = quotient_.data();
  in.self = self_.data();
  in.removeSelf = removeSelf_;
  in.plainSums = plainSums_;
  return in;
}

void RingImpact::ComputeRound(const ModelState& model, std::span<ImpactVector> impact,
                              std::span<SourceCount> sources) {
  const RoundKernel kernel = ChosenRoundKernel();
  if (kernel == RoundKernel::Scalar) {
    RoundTurnByTurn(*this, model, impact, sources);
    return;
  }
  FillPadded(model.SnapshotGrid, model.PopulationGrid);
  const ring_round::Input in = KernelInput();
  if (kernel == RoundKernel::Avx512) {
    ring_round::avx512::Compute(in, totals_.Output());
  } else {
    ring_round::avx2::Compute(in, totals_.Output());
  }
  totals_.CopyTo(impact.size(), impact, sources);
}

int RingImpact::TurnsAhead() const {
  return sequential_ && ChosenRoundKernel() != RoundKernel::Scalar ? ring_round::kLanes : 0;
}

void RingImpact::ComputeTurns(const ModelState& model, std::span<const std::int32_t> cells,
                              std::span<ImpactVector> impact, std::span<SourceCount> sources) {
  (void)model;  // the padded copy is kept current by CellChanged
  const ring_round::Input in = KernelInput();
  const auto count = static_cast<int>(cells.size());
  if (ChosenRoundKernel() == RoundKernel::Avx512) {
    ring_round::avx512::ComputeTargets(in, cells.data(), count, totals_.Output());
  } else {
    ring_round::avx2::ComputeTargets(in, cells.data(), count, totals_.Output());
  }
  totals_.CopyTo(cells.size(), impact, sources);
}

void RingImpact::ComputeImpact(const ModelState& model, int x, int y, ImpactVector& impact,
                               SourceCount& sources) {
  const Grid& grid = sequential_ ? model.PopulationGrid : model.SnapshotGrid;
  const Cell* cells = grid.Data();
  const Cell& target = model.PopulationGrid.At(x, y);
  const std::uint8_t own = target.Opinion;

  OpinionTotals totals;
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
    // Each coordinate wraps once; the distance stays that of the unwrapped offset.
    const std::int8_t* wrap = wrap_.data() + side_ - 1;
    // Per turn, where each wrapped row starts and each wrapped column lies.
    std::array<std::int32_t, 2 * kMaxGridSide + 1> rowStart, column;
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
    // position reads the target instead and contributes to no opinion.
    const auto side = static_cast<unsigned>(side_);
    for (std::size_t i = 0; i < n; ++i) {
      const int u = x + src[i].dx;
      const int v = y + src[i].dy;
      const bool onGrid =
          static_cast<unsigned>(u - 1) < side && static_cast<unsigned>(v - 1) < side;
      const Cell& c = onGrid ? cells[grid.Index(u, v)] : target;
      visit(src[i], c, onGrid ? c.Opinion : std::uint8_t{0});
    }
  }
  totals.Finish(plainSums_, impact, sources);
}

std::unique_ptr<ImpactModel> MakeRingImpact() {
  return std::make_unique<RingImpact>();
}

}  // namespace impactsim
