#include "impact/ring_totals.h"

#include <algorithm>
#include <cstddef>

namespace impactsim {

namespace {

// Rebuilding every total costs about as much as this many changes of one
// cell each; between builds the bound grows by two roundings per change.
constexpr std::int64_t kChangesPerBuild = 64;

}  // namespace

void RingTotals::Prepare(const Shape& shape, std::span<const Position> positions,
                         const double* self, bool tablesChanged, const Grid& sources) {
  shape_ = shape;
  self_ = self;
  if (tablesChanged) {
    width_ = 2 * shape.reach + 1;
    const auto area = U(width_ * width_);
    window_.assign(kStrengthValues * area, 0.0);
    inScope_.assign(area, 0);
    greatest_ = self[kStrengthValues - 1];
    for (const Position& p : positions) {
      const auto at = U((shape.reach - p.dy) * width_ + (shape.reach - p.dx));
      inScope_[at] = 1;
      for (std::size_t s = 0; s < kStrengthValues; ++s) window_[s * area + at] = p.quotient[s];
      greatest_ += p.quotient[kStrengthValues - 1];
    }
    terms_ = static_cast<std::int64_t>(positions.size()) + 1;
  }
  const auto cells = U(shape.side * shape.side);
  for (int o = 0; o < 2; ++o) {
    persuasive_[o].resize(cells);
    supportive_[o].resize(cells);
    sources_[o].resize(cells);
  }
  Rebuild(sources);
}

void RingTotals::Rebuild(const Grid& sources) {
  for (int o = 0; o < 2; ++o) {
    std::fill(persuasive_[o].begin(), persuasive_[o].end(), 0.0);
    std::fill(supportive_[o].begin(), supportive_[o].end(), 0.0);
    std::fill(sources_[o].begin(), sources_[o].end(), 0);
  }
  seen_.assign(sources.Data(), sources.Data() + sources.Total());
  for (int y = 1; y <= shape_.side; ++y) {
    for (int x = 1; x <= shape_.side; ++x) Apply<true>(sources.At(x, y), x, y);
  }
  changes_ = 0;
  ++counts_.rebuilds;
  halfWidth_ = CertifiedHalfWidth(terms_, terms_, greatest_);
}

void RingTotals::Sync(const Grid& sources) {
  const Cell* live = sources.Data();
  for (int i = 0; i < sources.Total(); ++i) {
    if (live[i] == seen_[U(i)]) continue;
    Apply<false>(seen_[U(i)], i % shape_.side + 1, i / shape_.side + 1);
    Apply<true>(live[i], i % shape_.side + 1, i / shape_.side + 1);
    seen_[U(i)] = live[i];
    ++changes_;
  }
  Changed();
  if (changes_ > kChangesPerBuild * terms_) Rebuild(sources);
}

void RingTotals::CellChanged(const Grid& sources, int x, int y) {
  const std::size_t i = sources.Index(x, y);
  Apply<false>(seen_[i], x, y);
  Apply<true>(sources.At(x, y), x, y);
  seen_[i] = sources.At(x, y);
  ++changes_;
  Changed();
  if (changes_ > kChangesPerBuild * terms_) Rebuild(sources);
}

void RingTotals::Changed() {
  // Each change adds to or removes from a total at most twice.
  halfWidth_ = CertifiedHalfWidth(terms_ + 2 * changes_, terms_, greatest_);
}

// Adds (or removes) the quotients of source c at [x, y] to every target it
// reaches: window row wy holds the targets of row y - reach + wy, columns
// x - reach .. x + reach, wrapped on a torus, cut at the walls otherwise.
template <bool kAdd>
void RingTotals::Apply(const Cell& c, int x, int y) {
  if (c.Opinion != 1 && c.Opinion != 2) return;
  const std::size_t o = c.Opinion - 1u;
  const int side = shape_.side, reach = shape_.reach, w = width_;
  const auto area = U(w * w);
  const double* qp = window_.data() + c.Persuasiveness * area;
  const double* qs = window_.data() + c.Supportiveness * area;
  // Distinct arrays: the loops below may work several places at once.
  double* __restrict__ p = persuasive_[o].data();
  double* __restrict__ s = supportive_[o].data();
  std::int32_t* __restrict__ n = sources_[o].data();
  const std::int32_t* __restrict__ in = inScope_.data();
  // Window places [a, b) of the row at `row`, place wx at target column
  // x0 + wx + shift.
  auto span = [&](std::size_t row, int ty, int x0, int a, int b, int shift) {
    const auto base = static_cast<std::ptrdiff_t>(ty * side + x0 + shift);
    for (int wx = a; wx < b; ++wx) {
      const std::size_t k = row + U(wx);
      const auto t = static_cast<std::size_t>(base + wx);
      if constexpr (kAdd) {
        p[t] += qp[k];
        s[t] += qs[k];
        n[t] += in[k];
      } else {
        p[t] -= qp[k];
        s[t] -= qs[k];
        n[t] -= in[k];
      }
    }
  };
  const int x0 = x - 1 - reach;
  for (int wy = 0; wy < w; ++wy) {
    int ty = y - 1 - reach + wy;
    if (shape_.torus) {
      ty = (ty + side) % side;
    } else if (ty < 0 || ty >= side) {
      continue;
    }
    const std::size_t row = U(wy * w);
    if (!shape_.torus) {
      span(row, ty, x0, std::max(0, -x0), std::min(w, side - x0), 0);
    } else if (x0 < 0) {
      span(row, ty, x0, 0, -x0, side);
      span(row, ty, x0, -x0, w, 0);
    } else if (x0 + w > side) {
      span(row, ty, x0, 0, side - x0, 0);
      span(row, ty, x0, side - x0, w, -side);
    } else {
      span(row, ty, x0, 0, w, 0);
    }
  }
}

std::uint8_t RingTotals::CertainGreatest(const Cell& own, int x, int y) {
  const auto t = U((y - 1) * shape_.side + (x - 1));
  RunningImpact first{own.Opinion == 1 ? supportive_[0][t] : persuasive_[0][t], sources_[0][t]};
  RunningImpact second{own.Opinion == 2 ? supportive_[1][t] : persuasive_[1][t], sources_[1][t]};
  if (!shape_.removeSelf) {
    RunningImpact& mine = own.Opinion == 1 ? first : second;
    mine.total += self_[own.Supportiveness];
    ++mine.sources;
  }
  const std::uint8_t certain =
      own.Opinion == 1 || own.Opinion == 2
          ? CertainGreatestOfTwo(first, second, halfWidth_, shape_.summationM)
          : std::uint8_t{0};
  ++(certain != 0 ? counts_.certain : counts_.fallback);
  return certain;
}

}  // namespace impactsim
