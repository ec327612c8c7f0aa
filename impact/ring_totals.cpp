#include "impact/ring_totals.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "impact/certified_batch.h"
#include "impact/round_lanes.h"
#include "impact/totals_kernel.h"

namespace impactsim {

namespace {

// A single-precision rounding in units of the double's.
constexpr std::int64_t kSingleStep = std::int64_t{1} << 29;
// A round that changed at least one cell in this many is synced by a build.
constexpr std::size_t kRebuildShare = 16;

}  // namespace

void RingTotals::Prepare(const Shape& shape, std::span<const Position> positions,
                         const double* self, bool tablesChanged, const Grid& sources) {
  shape_ = shape;
  self_ = self;
  if (tablesChanged) {
    width_ = 2 * shape.reach + 1;
    // Window rows padded with zeros to whole vectors: the build adds whole
    // rows, and adding +0.0 leaves a total as it is.
    rowWidth_ = (width_ + kMaxLanes - 1) / kMaxLanes * kMaxLanes;
    const auto area = U(width_ * rowWidth_);
    window_.assign(kStrengthValues * area, 0.0);
    inScope_.assign(area, 0.0);
    spans_.resize(2 * U(width_));
    greatest_ = self[kStrengthValues - 1];
    for (const Position& p : positions) {
      const auto at = U((shape.reach - p.dy) * rowWidth_ + (shape.reach - p.dx));
      inScope_[at] = 1.0;
      for (std::size_t s = 0; s < kStrengthValues; ++s) window_[s * area + at] = p.quotient[s];
      greatest_ += p.quotient[kStrengthValues - 1];
    }
    terms_ = static_cast<std::int64_t>(positions.size()) + 1;
    // The build (see Rebuild).
    ledger_.Describe(kSingleStep * (2 * terms_ + 3), terms_, greatest_);
    // The build's positions: fl(1 / g) is a quotient of strength 1.
    offsets_.clear();
    weights_.clear();
    const std::int64_t stride = shape.side + 2 * shape.reach + totals_kernel::kConvolveOverread;
    for (const Position& p : positions) {
      offsets_.push_back(p.dy * stride + p.dx);
      weights_.push_back(static_cast<float>(p.quotient[1]));
    }
    // The positions as runs along window rows, for the counts.
    std::vector<std::pair<int, int>> places;
    for (const Position& p : positions) places.emplace_back(p.dy, p.dx);
    std::sort(places.begin(), places.end());
    runs_.clear();
    for (const auto& [dy, dx] : places) {
      // A place met twice counts twice: it starts a run of its own.
      if (!runs_.empty() && runs_.back().dy == dy && runs_.back().last + 1 == dx) {
        runs_.back().last = dx;
      } else {
        runs_.push_back({dy, dx, dx});
      }
    }
  }
  const auto cells = U(shape.side * shape.side);
  for (int o = 0; o < 2; ++o) {
    persuasive_[o].resize(cells);
    supportive_[o].resize(cells);
    sources_[o].resize(cells);
  }
  Rebuild(sources);
}

// Every total anew, as a weighted sum over the positions around each
// target of fields padded by the reach (zeros beyond walls, the wrapped
// cells on a torus): persuasiveness and supportiveness of each opinion's
// cells weighted by fl(1 / g), then the cells of each opinion weighted by 1,
// in single precision (unit roundoff u' = 2^-24 = 2^29 u): each weight
// lies within 2u' of 1 / g, so the exact sum of the products within 2u' M of
// the exact sum of strength / g, itself within u M of the per-turn
// quotients' exact sum; each of the m multiply-adds rounds its sum once,
// by at most u' M, and without fused multiply-adds each product rounds too,
// by at most u' times itself (u' M over all). So the build stands within
// (m + 4) u' M of the exact sum, and the bound counts (2 m + 3) 2^29 steps
// for it. The counts are whole numbers below 2^24: exact.
void RingTotals::Rebuild(const Grid& sources) {
  const int side = shape_.side, reach = shape_.reach;
  const std::int64_t stride = side + 2 * reach + totals_kernel::kConvolveOverread;
  const int rows = side + 2 * reach;
  for (auto& field : fields_) field.assign(U(rows) * static_cast<std::size_t>(stride), 0.0f);
  // Every cell on the grid stands for 1 in the last field, to count the
  // sources each target has whatever their opinions: once per shape.
  const bool countAll = allSources_.empty() || !(allFor_ == shape_);
  bool others = false;  // a cell of neither opinion
  for (int py = 0; py < rows; ++py) {
    const int gy = py - reach;
    if (!shape_.torus && (gy < 0 || gy >= side)) continue;
    const int y = (gy + side) % side;
    for (int px = 0; px < rows; ++px) {
      const int gx = px - reach;
      if (!shape_.torus && (gx < 0 || gx >= side)) continue;
      const Cell& c = sources.Data()[y * side + (gx + side) % side];
      const std::size_t at = U(py) * static_cast<std::size_t>(stride) + U(px);
      fields_[5][at] = 1.0f;
      if (c.Opinion != 1 && c.Opinion != 2) {
        others = true;
        continue;
      }
      const std::size_t o = c.Opinion - 1u;
      fields_[o][at] = c.Persuasiveness;
      fields_[2 + o][at] = c.Supportiveness;
      if (o == 0) fields_[4][at] = 1.0f;
    }
  }
  totals_kernel::ConvolveInput in;
  in.origin = std::int64_t{reach} * stride + reach;
  in.stride = stride;
  in.side = side;
  in.offset = offsets_.data();
  in.positions = static_cast<int>(offsets_.size());
  in.fields = 4;
  in.weight = weights_.data();
  for (int k = 0; k < 4; ++k) in.field[k] = fields_[U(k)].data();
  in.total[0] = persuasive_[0].data();
  in.total[1] = persuasive_[1].data();
  in.total[2] = supportive_[0].data();
  in.total[3] = supportive_[1].data();
  totals_kernel::Convolve(in);
  // The sources of opinion 1 counted; those of 2 the rest (whole numbers:
  // exact), unless some cell holds neither.
  allSources_.resize(sources_[1].size());
  CountByRuns(fields_[4], sources_[0].data());
  if (countAll) CountByRuns(fields_[5], allSources_.data());
  allFor_ = shape_;
  for (std::size_t t = 0; t < sources_[1].size(); ++t) {
    sources_[1][t] = allSources_[t] - sources_[0][t];
  }
  if (others) {
    // Some cell holds neither opinion: count opinion 2 by itself.
    for (std::size_t at = 0; at < fields_[5].size(); ++at) fields_[5][at] = 0.0f;
    for (int py = 0; py < rows; ++py) {
      const int gy = py - reach;
      if (!shape_.torus && (gy < 0 || gy >= side)) continue;
      for (int px = 0; px < rows; ++px) {
        const int gx = px - reach;
        if (!shape_.torus && (gx < 0 || gx >= side)) continue;
        const Cell& c = sources.Data()[(gy + side) % side * side + (gx + side) % side];
        if (c.Opinion == 2) fields_[5][U(py) * static_cast<std::size_t>(stride) + U(px)] = 1.0f;
      }
    }
    CountByRuns(fields_[5], sources_[1].data());
  }
  ledger_.Built(sources);
}

// The cells of a field that mark 1 around each target, by runs: per padded
// row, the marks left of each column (whole numbers, exact); each run of
// positions then adds the difference at its two ends.
void RingTotals::CountByRuns(const std::vector<float>& field, double* total) {
  const int side = shape_.side, reach = shape_.reach;
  const auto stride = U(side + 2 * reach + totals_kernel::kConvolveOverread);
  const auto rows = U(side + 2 * reach);
  const std::size_t width = stride + 1;
  prefix_.resize(rows * width);
  for (std::size_t py = 0; py < rows; ++py) {
    std::int32_t* left = prefix_.data() + py * width;
    const float* mark = field.data() + py * stride;
    left[0] = 0;
    for (std::size_t px = 0; px < stride; ++px) {
      left[px + 1] = left[px] + static_cast<std::int32_t>(mark[px]);
    }
  }
  rowCount_.resize(U(side));
  for (int ty = 0; ty < side; ++ty) {
    std::fill(rowCount_.begin(), rowCount_.end(), 0);
    std::int32_t* count = rowCount_.data();
    for (const Run& run : runs_) {
      const std::int32_t* left = prefix_.data() + U(reach + ty + run.dy) * width + U(reach);
      const std::int32_t* end = left + run.last + 1;
      const std::int32_t* begin = left + run.first;
      for (int tx = 0; tx < side; ++tx) count[tx] += end[tx] - begin[tx];
    }
    for (int tx = 0; tx < side; ++tx) total[ty * side + tx] = count[tx];
  }
}

void RingTotals::Sync(const Grid& sources) {
  ledger_.Sync(sources, kRebuildShare, ApplyCell(), [&] { Rebuild(sources); });
}

void RingTotals::CellChanged(const Grid& sources, int x, int y) {
  ledger_.CellChanged(sources, x, y, ApplyCell(), [&] { Rebuild(sources); });
}

// Adds (or removes) the quotients of source c at [x, y] to every target it
// reaches: window row wy holds the targets of row y - reach + wy, columns
// x - reach .. x + reach, wrapped on a torus, cut at the walls otherwise.
template <bool kAdd>
void RingTotals::Apply(const Cell& c, int x, int y) {
  if (c.Opinion != 1 && c.Opinion != 2) return;
  const std::size_t o = c.Opinion - 1u;
  const int side = shape_.side, reach = shape_.reach, w = width_;
  const auto area = U(w * rowWidth_);
  totals_kernel::Span* spans = spans_.data();
  int count = 0;
  const int x0 = x - 1 - reach;
  // Window places [a, b) of row wy, place wx at target column x0 + wx + shift.
  auto span = [&](int ty, int wy, int a, int b, int shift) {
    if (b > a) {
      spans[count++] = {std::int64_t{ty} * side + x0 + shift + a, wy * rowWidth_ + a, b - a};
    }
  };
  for (int wy = 0; wy < w; ++wy) {
    int ty = y - 1 - reach + wy;
    if (shape_.torus) {
      ty = (ty + side) % side;
    } else if (ty < 0 || ty >= side) {
      continue;
    }
    if (!shape_.torus) {
      span(ty, wy, std::max(0, -x0), std::min(w, side - x0), 0);
    } else if (x0 < 0) {
      span(ty, wy, 0, -x0, side);
      span(ty, wy, -x0, w, 0);
    } else if (x0 + w > side) {
      span(ty, wy, 0, side - x0, 0);
      span(ty, wy, side - x0, w, -side);
    } else {
      span(ty, wy, 0, w, 0);
    }
  }
  totals_kernel::Input in;
  in.plane[0] = persuasive_[o].data();
  in.plane[1] = supportive_[o].data();
  in.plane[2] = sources_[o].data();
  in.row[0] = window_.data() + c.Persuasiveness * area;
  in.row[1] = window_.data() + c.Supportiveness * area;
  in.row[2] = inScope_.data();
  in.planes = 3;
  in.spans = spans;
  in.count = count;
  if constexpr (kAdd) {
    totals_kernel::Add(in);
  } else {
    totals_kernel::Subtract(in);
  }
}

std::array<RunningImpact, 2> RingTotals::Reads(const Cell& own, int x, int y) const {
  return ReadsAt(own, U((y - 1) * shape_.side + (x - 1)));
}

std::array<RunningImpact, 2> RingTotals::ReadsAt(const Cell& own, std::size_t t) const {
  // Its own opinion's total by supportiveness, the other's by
  // persuasiveness, and its own voice unless removed.
  const bool ownFirst = own.Opinion == 1;
  const double voice = shape_.removeSelf ? 0.0 : self_[own.Supportiveness];
  const std::int32_t counted = shape_.removeSelf ? 0 : 1;
  const double first = ownFirst ? supportive_[0][t] + voice : persuasive_[0][t];
  const double second = ownFirst ? persuasive_[1][t] : supportive_[1][t] + voice;
  const auto firstSources = static_cast<std::int32_t>(sources_[0][t]) + (ownFirst ? counted : 0);
  const auto secondSources = static_cast<std::int32_t>(sources_[1][t]) + (ownFirst ? 0 : counted);
  return {RunningImpact{first, firstSources}, RunningImpact{second, secondSources}};
}

std::uint8_t RingTotals::Decide(const Cell& own, std::size_t t) const {
  if (own.Opinion != 1 && own.Opinion != 2) return 0;
  const auto [first, second] = ReadsAt(own, t);
  return CertainGreatestOfTwo(first, second, ledger_.HalfWidth(), shape_.summationM);
}

std::uint8_t RingTotals::CertainGreatest(const Cell& own, int x, int y) {
  const std::uint8_t certain = Decide(own, U((y - 1) * shape_.side + (x - 1)));
  ledger_.Counted(certain);
  return certain;
}

void RingTotals::CertainAll(const Grid& own, std::span<std::uint8_t> certain) {
  // What each target reads, as Decide gathers it, then every answer at once.
  const std::size_t n = certain.size();
  for (auto& v : batch_) v.resize(n);
  const bool self = !shape_.removeSelf;
  for (std::size_t t = 0; t < n; ++t) {
    const Cell& c = own.Data()[t];
    const bool ownFirst = c.Opinion == 1;
    const double voice = self ? self_[c.Supportiveness] : 0.0;
    const double counted = self ? 1.0 : 0.0;
    batch_[0][t] = ownFirst ? supportive_[0][t] + voice : persuasive_[0][t];
    batch_[1][t] = ownFirst ? persuasive_[1][t] : supportive_[1][t] + voice;
    batch_[2][t] = sources_[0][t] + (ownFirst ? counted : 0.0);
    batch_[3][t] = sources_[1][t] + (ownFirst ? 0.0 : counted);
  }
  CertainGreatestBatch({batch_[0].data(), batch_[1].data(), batch_[2].data(), batch_[3].data()}, n,
                       ledger_.HalfWidth(), shape_.summationM, certain.data());
  std::int64_t named = 0;
  for (std::size_t t = 0; t < n; ++t) {
    const Cell& c = own.Data()[t];
    if (certain[t] == kCertainByDivision || (c.Opinion != 1 && c.Opinion != 2)) {
      certain[t] = Decide(c, t);
    }
    named += certain[t] != 0 ? 1 : 0;
  }
  ledger_.Counted(named, static_cast<std::int64_t>(n));
}

}  // namespace impactsim
