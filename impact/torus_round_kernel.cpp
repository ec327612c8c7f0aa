// The kernels of the torus model, compiled once for each instruction set
// Highway targets; the widest one this processor runs is chosen at run time
// (impact/round_kernels.h).
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

// At most kMaxLanes lanes, whatever the instruction set: the kernels' lane
// buffers and the quotient rows (kRowLength) hold that many.
using D = hn::CappedTag<double, kMaxLanes>;
using DU = hn::RebindToUnsigned<D>;

// One vector of targets: their cells (the last repeated in unused lanes).
struct Group {
  std::int32_t cells[kMaxLanes];
  int lanes;
};

// Runs the sources of kGroups vectors of targets, and writes their totals at
// their cells. load(j, u, v, s): group j's quotients of source [u, v] of
// supportiveness s, as one vector. Each group's totals are chains of
// dependent additions; several chains keep the adder busy.
template <std::size_t kGroups, class Load>
HWY_INLINE void RunGroups(const Input& in, const Group* g, const Load& load, const Output& out) {
  const D d;
  const DU du;
  hn::Vec<D> first[kGroups];
  hn::Vec<D> second[kGroups];
  for (std::size_t j = 0; j < kGroups; ++j) {
    HWY_ALIGN double first0[kMaxLanes] = {};
    HWY_ALIGN double second0[kMaxLanes] = {};
    for (int k = 0; k < g[j].lanes; ++k) {
      // The target's own voice first; each total starts at +0.0, so adding
      // it or +0.0 is exact.
      const std::uint8_t own = in.opinion[g[j].cells[k]];
      const double v = in.self[in.supportiveness[g[j].cells[k]]];
      first0[k] = 0.0 + (own == 1 ? v : 0.0);
      second0[k] = 0.0 + (own == 2 ? v : 0.0);
    }
    first[j] = hn::Load(d, first0);
    second[j] = hn::Load(d, second0);
  }
  for (int u = 1; u <= kSide; ++u) {
    for (int v = 1; v <= kSide; ++v) {
      const int cell = (v - 1) * kSide + (u - 1);
      const int s = in.supportiveness[cell];
      const auto m1 = hn::BitCast(d, hn::Set(du, in.mask1[cell]));
      const auto m2 = hn::BitCast(d, hn::Set(du, in.mask2[cell]));
      for (std::size_t j = 0; j < kGroups; ++j) {
        // A masked-off quotient adds +0.0: a total of +0.0 or more stays as
        // it is.
        const auto q = load(j, u, v, s);
        first[j] = hn::Add(first[j], hn::And(q, m1));
        second[j] = hn::Add(second[j], hn::And(q, m2));
      }
    }
  }
  for (std::size_t j = 0; j < kGroups; ++j) {
    HWY_ALIGN double first1[kMaxLanes] = {};
    HWY_ALIGN double second1[kMaxLanes] = {};
    hn::Store(first[j], d, first1);
    hn::Store(second[j], d, second1);
    for (int k = 0; k < g[j].lanes; ++k) {
      double t1 = 0.0 + first1[k];
      double t2 = 0.0 + second1[k];
      if (!in.summationM) {
        if (in.count1 > 0) t1 = t1 / std::sqrt(static_cast<double>(in.count1));
        if (in.count2 > 0) t2 = t2 / std::sqrt(static_cast<double>(in.count2));
      }
      const std::int32_t cell = g[j].cells[k];
      out.first[cell] = t1;
      out.second[cell] = t2;
      out.firstCount[cell] = in.count1;
      out.secondCount[cell] = in.count2;
    }
  }
}

// Neighbouring targets of a row: one row offset for all lanes, and column
// offsets that step by one from lane to lane, so one load serves all lanes.
// Four rows at a time, which share each source's opinion masks.
void ComputeRows(const Input& in, const Output& out) {
  constexpr std::size_t kRows = 4;
  static_assert(kSide % kRows == 0);
  const D d;
  const int n = static_cast<int>(hn::Lanes(d));
  Group g[kRows];
  std::int32_t rowAt[kRows][kSide];
  for (int y0 = 1; y0 <= kSide; y0 += static_cast<int>(kRows)) {
    for (std::size_t j = 0; j < kRows; ++j) {
      const int y = y0 + static_cast<int>(j);
      for (int v = 1; v <= kSide; ++v) {
        rowAt[j][v - 1] = in.fold[v - y + kSide - 1] * kStrengthValues * kRowLength;
      }
    }
    for (int x0 = 1; x0 <= kSide; x0 += n) {
      for (std::size_t j = 0; j < kRows; ++j) {
        g[j].lanes = std::min(n, kSide + 1 - x0);
        for (int k = 0; k < n; ++k) {
          g[j].cells[k] =
              (y0 + static_cast<int>(j) - 1) * kSide + x0 - 1 + std::min(k, g[j].lanes - 1);
        }
      }
      auto load = [&](std::size_t j, int u, int v, int s) {
        return hn::LoadU(d, in.row + rowAt[j][v - 1] + s * kRowLength + x0 - u + kSide - 1);
      };
      RunGroups<kRows>(in, g, load, out);
    }
  }
}

// Targets anywhere: each lane reads its own quotient from the compact table
// of axis offsets. The lanes are filled one by one in registers (GCC's
// vector types, as wide as this instruction set's vectors): on the processors
// measured, faster than a gather instruction or than a vector loaded from
// lanes just stored.
void ComputeTargetsImpl(const Input& in, const std::int32_t* targets, int count,
                        const Output& out) {
  constexpr int kLanes = HWY_MAX_BYTES / sizeof(double);
  using Doubles = double __attribute__((vector_size(HWY_MAX_BYTES)));
  for (int j0 = 0; j0 < count; j0 += kLanes) {
    const int lanes = std::min(kLanes, count - j0);
    std::int32_t cells[kLanes];
    std::int32_t x[kLanes];
    // Per source row v and lane: where the row offset's quotients start.
    std::int32_t rowAt[kSide][kLanes];
    Doubles first = {}, second = {};
    for (int k = 0; k < kLanes; ++k) {
      cells[k] = targets[j0 + std::min(k, lanes - 1)];
      x[k] = cells[k] % kSide + 1;
      const int y = cells[k] / kSide + 1;
      for (int v = 1; v <= kSide; ++v)
        rowAt[v - 1][k] = in.fold[v - y + kSide - 1] * kStrengthValues;
      // The target's own voice first; each total starts at +0.0.
      const std::uint8_t own = in.opinion[cells[k]];
      const double voice = in.self[in.supportiveness[cells[k]]];
      first[k] = 0.0 + (own == 1 ? voice : 0.0);
      second[k] = 0.0 + (own == 2 ? voice : 0.0);
    }
    for (int u = 1; u <= kSide; ++u) {
      std::int32_t columnAt[kLanes];
      for (int k = 0; k < kLanes; ++k) {
        columnAt[k] = in.fold[u - x[k] + kSide - 1] * kFolds * kStrengthValues;
      }
      for (int v = 1; v <= kSide; ++v) {
        const int cell = (v - 1) * kSide + (u - 1);
        const int s = in.supportiveness[cell];
        Doubles q;
        for (int k = 0; k < kLanes; ++k) q[k] = in.quotient[columnAt[k] + rowAt[v - 1][k] + s];
        // Times 1.0 or 0.0: exactly q or +0.0, and adding +0.0 leaves a
        // total of +0.0 or more unchanged.
        first += q * (in.mask1[cell] != 0 ? 1.0 : 0.0);
        second += q * (in.mask2[cell] != 0 ? 1.0 : 0.0);
      }
    }
    for (int k = 0; k < lanes; ++k) {
      double t1 = 0.0 + first[k];
      double t2 = 0.0 + second[k];
      if (!in.summationM) {
        if (in.count1 > 0) t1 = t1 / std::sqrt(static_cast<double>(in.count1));
        if (in.count2 > 0) t2 = t2 / std::sqrt(static_cast<double>(in.count2));
      }
      out.first[cells[k]] = t1;
      out.second[cells[k]] = t2;
      out.firstCount[cells[k]] = in.count1;
      out.secondCount[cells[k]] = in.count2;
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace impactsim::torus_round
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "impact/kernel_dispatch.h"

namespace impactsim::torus_round {

void Compute(const Input& in, const Output& out) {
  IMPACTSIM_DISPATCH(ComputeRows, in, out)
}

void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out) {
  IMPACTSIM_DISPATCH(ComputeTargetsImpl, in, targets, count, out)
}

}  // namespace impactsim::torus_round
#endif
