#include "impact/torus_totals.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <span>

#include "impact/certified_batch.h"
#include "impact/round_lanes.h"
#include "impact/totals_kernel.h"

namespace impactsim {

namespace {

// A single-precision rounding in units of the double's.
constexpr std::int64_t kSingleStep = std::int64_t{1} << 29;

std::size_t Z(std::int64_t v) {
  return static_cast<std::size_t>(v);
}

std::size_t Folds(int side) {
  return U(side / 2 + 1);
}

}  // namespace

bool TorusTotals::Fits(int side) {
  return kStrengthValues * Folds(side) * U(side) * sizeof(double) <= kMaxRowBytes;
}

void TorusTotals::Prepare(int side, bool summationM, const double* quotient, const double* self,
                          bool tablesChanged, const Grid& sources) {
  summationM_ = summationM;
  if (tablesChanged || side != side_ || rows_.empty()) {
    side_ = side;
    folds_ = Folds(side);
    fold_.resize(U(2 * side - 1));
    for (int delta = -(side - 1); delta <= side - 1; ++delta) {
      const int a = std::min(std::abs(delta), side - std::abs(delta));
      fold_[U(delta + side - 1)] = static_cast<std::uint8_t>(a);
    }
    rows_.resize(kStrengthValues * folds_ * U(side));
    for (std::size_t s = 0; s < kStrengthValues; ++s) {
      for (std::size_t b = 0; b < folds_; ++b) {
        for (int d = 0; d < side; ++d) {
          const std::size_t a = fold_[U(d + side - 1)];
          rows_[(s * folds_ + b) * U(side) + U(d)] =
              a == 0 && b == 0 ? self[s] : quotient[(a * folds_ + b) * kStrengthValues + s];
        }
      }
    }
    greatest_ = 0.0;
    for (int dy = 0; dy < side; ++dy) {
      const double* row =
          &rows_[((kStrengthValues - 1) * folds_ + fold_[U(dy + side - 1)]) * U(side)];
      for (int d = 0; d < side; ++d) greatest_ += row[d];
    }
    terms_ = static_cast<std::int64_t>(side) * side;
    // The build (see Rebuild).
    ledger_.Describe(kSingleStep * (2 * terms_ + 3), terms_, greatest_);
    // The build's positions: every offset once (each axis -side/2 ..
    // side - side/2 - 1), weighted by the quotient of strength 1, fl(1 / g).
    const int half = side / 2;
    const std::int64_t stride = 2 * side + totals_kernel::kConvolveOverread;
    offsets_.clear();
    weights_.clear();
    for (int dy = -half; dy < side - half; ++dy) {
      for (int dx = -half; dx < side - half; ++dx) {
        offsets_.push_back(dy * stride + dx);
        weights_.push_back(static_cast<float>(
            rows_[(folds_ + fold_[U(dy + side - 1)]) * U(side) + U((dx + side) % side)]));
      }
    }
  }
  spans_.resize(2 * U(side));
  totals_[0].resize(Z(terms_));
  totals_[1].resize(Z(terms_));
  Rebuild(sources);
}

// Every total anew, as a weighted sum over every offset of fields of the
// strengths of each opinion's cells (squared for plain sums), padded by half
// a side of wrapped cells all round, in single precision: as for the ring
// model's build (impact/ring_totals.cpp), the bound counts (2 m + 3) 2^29
// steps for it. Squared strengths, at most 10^4, are exact in a float.
void TorusTotals::Rebuild(const Grid& sources) {
  const int side = side_, half = side / 2;
  const std::int64_t stride = 2 * side + totals_kernel::kConvolveOverread;
  const auto size = static_cast<std::size_t>(2 * side * stride);
  fields_[0].assign(size, 0.0f);
  fields_[1].assign(size, 0.0f);
  sources_[0] = sources_[1] = 0;
  for (const Cell& c : std::span(sources.Data(), U(sources.Total()))) {
    if (c.Opinion == 1 || c.Opinion == 2) ++sources_[c.Opinion - 1];
  }
  for (int py = 0; py < 2 * side; ++py) {
    const Cell* row = sources.Data() + ((py - half + side) % side) * side;
    for (int px = 0; px < 2 * side; ++px) {
      const Cell& c = row[(px - half + side) % side];
      if (c.Opinion != 1 && c.Opinion != 2) continue;
      const float s = c.Supportiveness;
      fields_[c.Opinion - 1u][static_cast<std::size_t>(py * stride + px)] = summationM_ ? s * s : s;
    }
  }
  totals_kernel::ConvolveInput in;
  in.fields = 2;
  in.field[0] = fields_[0].data();
  in.field[1] = fields_[1].data();
  in.total[0] = totals_[0].data();
  in.total[1] = totals_[1].data();
  in.origin = half * stride + half;
  in.stride = stride;
  in.side = side;
  in.offset = offsets_.data();
  in.weight = weights_.data();
  in.positions = static_cast<int>(offsets_.size());
  totals_kernel::Convolve(in);
  ledger_.Built(sources);
}

// A round that changes many cells is synced cell by cell all the same: a
// change costs a side^2 of work, a build side^4.
void TorusTotals::Sync(const Grid& sources) {
  ledger_.Sync(sources, 0, ApplyCell(), [&] { Rebuild(sources); });
}

void TorusTotals::CellChanged(const Grid& sources, int x, int y) {
  ledger_.CellChanged(sources, x, y, ApplyCell(), [&] { Rebuild(sources); });
}

// Adds (or removes) the quotient of cell c at [x, y] on every target: target
// column tx lies d = tx - x (wrapped) columns along.
template <bool kAdd>
void TorusTotals::Apply(const Cell& c, int x, int y) {
  if (c.Opinion != 1 && c.Opinion != 2) return;
  const std::size_t o = c.Opinion - 1u;
  sources_[o] += kAdd ? 1 : -1;
  const int side = side_;
  const int x0 = x - 1;
  const auto rows = static_cast<std::int32_t>(U(c.Supportiveness) * folds_ * U(side));
  totals_kernel::Span* spans = spans_.data();
  int count = 0;
  for (int ty = 0; ty < side; ++ty) {
    const std::int32_t row = rows + fold_[U(ty - (y - 1) + side - 1)] * side;
    // Columns x0..side - 1 at d = 0.., then 0..x0 - 1 at d = side - x0..
    spans[count++] = {std::int64_t{ty} * side + x0, row, side - x0};
    if (x0 > 0) spans[count++] = {std::int64_t{ty} * side, row + side - x0, x0};
  }
  totals_kernel::Input in;
  in.plane[0] = totals_[o].data();
  in.row[0] = rows_.data();
  in.planes = 1;
  in.spans = spans;
  in.count = count;
  if constexpr (kAdd) {
    totals_kernel::Add(in);
  } else {
    totals_kernel::Subtract(in);
  }
}

std::uint8_t TorusTotals::CertainGreatest(int x, int y) {
  const auto t = U((y - 1) * side_ + (x - 1));
  const std::uint8_t certain = CertainGreatestOfTwo(
      {totals_[0][t], sources_[0]}, {totals_[1][t], sources_[1]}, ledger_.HalfWidth(), summationM_);
  ledger_.Counted(certain);
  return certain;
}

void TorusTotals::CertainAll(std::span<std::uint8_t> certain) {
  const std::size_t n = certain.size();
  counted_[0].assign(n, static_cast<double>(sources_[0]));
  counted_[1].assign(n, static_cast<double>(sources_[1]));
  CertainGreatestBatch(
      {totals_[0].data(), totals_[1].data(), counted_[0].data(), counted_[1].data()}, n,
      ledger_.HalfWidth(), summationM_, certain.data());
  std::int64_t named = 0;
  for (std::size_t t = 0; t < n; ++t) {
    if (certain[t] == kCertainByDivision) {
      certain[t] = CertainGreatestOfTwo({totals_[0][t], sources_[0]}, {totals_[1][t], sources_[1]},
                                        ledger_.HalfWidth(), summationM_);
    }
    named += certain[t] != 0 ? 1 : 0;
  }
  ledger_.Counted(named, static_cast<std::int64_t>(n));
}

}  // namespace impactsim
