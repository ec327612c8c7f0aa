// The kernels of the torus model, compiled once for each instruction set
// Highway targets; the widest one this processor runs is chosen at run time.
// Every source is the same cell for all lanes, only its distance differs;
// each lane adds its quotients in the per-turn order whatever the lane count,
// so every instruction set gives the same bits.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "impact/torus_round_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// The line above includes this file again once per instruction set.
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>

#include "impact/torus_round.h"

HWY_BEFORE_NAMESPACE();
namespace impactsim::torus_round {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using DU = hn::RebindToUnsigned<D>;

// Runs the sources of the targets cells[0..lanes-1] and writes their totals
// at those cells. load(u, v, s): lane k's quotient of source [u, v] of
// supportiveness s, as one vector.
template <class Load>
HWY_INLINE void RunTargets(const Input& in, const std::int32_t* cells, int lanes, const Load& load,
                           const Output& out) {
  const D d;
  const DU du;
  HWY_ALIGN double first0[kMaxLanes] = {};
  HWY_ALIGN double second0[kMaxLanes] = {};
  for (int k = 0; k < lanes; ++k) {
    // The target's own voice first; each total starts at +0.0, so adding it
    // or +0.0 is exact.
    const std::uint8_t own = in.opinion[cells[k]];
    const double v = in.self[in.supportiveness[cells[k]]];
    first0[k] = 0.0 + (own == 1 ? v : 0.0);
    second0[k] = 0.0 + (own == 2 ? v : 0.0);
  }
  auto first = hn::Load(d, first0);
  auto second = hn::Load(d, second0);
  for (int u = 1; u <= kSide; ++u) {
    for (int v = 1; v <= kSide; ++v) {
      const int cell = (v - 1) * kSide + (u - 1);
      const auto q = load(u, v, in.supportiveness[cell]);
      // A masked-off quotient adds +0.0: a total of +0.0 or more stays as it is.
      first = hn::Add(first, hn::And(q, hn::BitCast(d, hn::Set(du, in.mask1[cell]))));
      second = hn::Add(second, hn::And(q, hn::BitCast(d, hn::Set(du, in.mask2[cell]))));
    }
  }
  HWY_ALIGN double first1[kMaxLanes];
  HWY_ALIGN double second1[kMaxLanes];
  hn::Store(first, d, first1);
  hn::Store(second, d, second1);
  for (int k = 0; k < lanes; ++k) {
    double t1 = 0.0 + first1[k];
    double t2 = 0.0 + second1[k];
    if (!in.plainSums) {
      if (in.count1 > 0) t1 = t1 / std::sqrt(static_cast<double>(in.count1));
      if (in.count2 > 0) t2 = t2 / std::sqrt(static_cast<double>(in.count2));
    }
    out.first[cells[k]] = t1;
    out.second[cells[k]] = t2;
    out.firstCount[cells[k]] = in.count1;
    out.secondCount[cells[k]] = in.count2;
  }
}

// Neighbouring targets of a row: one row offset for all lanes, and column
// offsets that step by one from lane to lane, so one load serves all lanes.
void ComputeRows(const Input& in, const Output& out) {
  const D d;
  const int n = static_cast<int>(hn::Lanes(d));
  std::int32_t cells[kMaxLanes];
  std::int32_t rowAt[kSide];
  for (int y = 1; y <= kSide; ++y) {
    for (int v = 1; v <= kSide; ++v) {
      rowAt[v - 1] = in.fold[v - y + kSide - 1] * kStrengths * kRowLength;
    }
    for (int x0 = 1; x0 <= kSide; x0 += n) {
      const int lanes = std::min(n, kSide + 1 - x0);
      for (int k = 0; k < n; ++k) cells[k] = (y - 1) * kSide + x0 - 1 + std::min(k, lanes - 1);
      auto load = [&](int u, int v, int s) {
        return hn::LoadU(d, in.row + rowAt[v - 1] + s * kRowLength + x0 - u + kSide - 1);
      };
      RunTargets(in, cells, lanes, load, out);
    }
  }
}

// Targets anywhere: each lane reads its own quotient, one plain load each.
void ComputeTargetsImpl(const Input& in, const std::int32_t* targets, int count,
                        const Output& out) {
  const D d;
  const int n = static_cast<int>(hn::Lanes(d));
  std::int32_t cells[kMaxLanes];
  std::int32_t x[kMaxLanes];
  std::int32_t y[kMaxLanes];
  HWY_ALIGN double q[kMaxLanes];
  for (int j0 = 0; j0 < count; j0 += n) {
    const int lanes = std::min(n, count - j0);
    for (int k = 0; k < n; ++k) {
      cells[k] = targets[j0 + std::min(k, lanes - 1)];
      x[k] = cells[k] % kSide + 1;
      y[k] = cells[k] / kSide + 1;
    }
    auto load = [&](int u, int v, int s) {
      for (int k = 0; k < n; ++k) {
        const int b = in.fold[v - y[k] + kSide - 1];
        q[k] = in.row[(b * kStrengths + s) * kRowLength + x[k] - u + kSide - 1];
      }
      return hn::Load(d, q);
    };
    RunTargets(in, cells, lanes, load, out);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace impactsim::torus_round
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace impactsim::torus_round {

HWY_EXPORT(ComputeRows);
HWY_EXPORT(ComputeTargetsImpl);

void Compute(const Input& in, const Output& out) {
  HWY_DYNAMIC_DISPATCH(ComputeRows)(in, out);
}

void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out) {
  HWY_DYNAMIC_DISPATCH(ComputeTargetsImpl)(in, targets, count, out);
}

}  // namespace impactsim::torus_round
#endif
