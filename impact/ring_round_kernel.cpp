// The kernels of the ring model, compiled once for each instruction set
// Highway targets (AVX-512, AVX2, SSE4, SSSE3 and plain code); the widest one
// this processor runs is chosen at run time (impact/round_kernels.h). Each lane is one
// target and adds its quotients in scan order whatever the lane count, and
// floating-point additions are never reordered (no fast-math, no
// contraction), so every instruction set gives the same bits.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "impact/ring_round_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// The line above includes this file again once per instruction set.
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>

#include "impact/ring_round.h"

HWY_BEFORE_NAMESPACE();
namespace impactsim::ring_round {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// At most kMaxLanes lanes, whatever the instruction set: the kernels' lane
// buffers and the padded grid's right margin hold that many.
using D = hn::CappedTag<double, kMaxLanes>;
using DU = hn::RebindToUnsigned<D>;
using DI = hn::RebindToSigned<D>;

// The running totals of one vector of targets, and how many of their
// sources hold opinion 1.
struct Totals {
  hn::Vec<D> first, second;
  hn::Vec<DI> count1;
};

// The totals before the first source: the target's own voice, unless it is
// removed. Each total starts at +0.0, so adding the voice or +0.0 to it is
// exact. cells[k]: lane k's target.
inline Totals StartTotals(const Input& in, const std::int32_t* cells, int lanes) {
  const D d;
  const DI di;
  HWY_ALIGN double first[kMaxLanes] = {};
  HWY_ALIGN double second[kMaxLanes] = {};
  if (!in.removeSelf) {
    for (int k = 0; k < lanes; ++k) {
      const std::uint8_t own = in.ownOpinion[cells[k]];
      const double v = in.self[in.ownSupportiveness[cells[k]]];
      first[k] = 0.0 + (own == 1 ? v : 0.0);
      second[k] = 0.0 + (own == 2 ? v : 0.0);
    }
  }
  return {hn::Load(d, first), hn::Load(d, second), hn::Zero(di)};
}

// One source for every lane: v is the quotient each lane's source gives its
// target (+0.0 off the grid), m1 the mask of the sources that hold opinion
// 1; every other source on the grid holds opinion 2. A masked-off quotient
// adds +0.0, which leaves a total of +0.0 or more unchanged, bit for bit.
HWY_INLINE void AddSource(Totals& t, hn::Vec<D> v, hn::Vec<DU> m1) {
  const D d;
  const DI di;
  const auto mask = hn::BitCast(d, m1);
  t.first = hn::Add(t.first, hn::And(v, mask));
  t.second = hn::Add(t.second, hn::AndNot(mask, v));
  t.count1 = hn::Sub(t.count1, hn::BitCast(di, m1));
}

// Writes lanes 0..lanes-1 at their cells cells[0..lanes-1], each total divided
// by the root of its count unless the totals are plain sums. The counts
// include the target's own voice where it is heard.
inline void FinishTotals(const Input& in, const Totals& t, const std::int32_t* cells, int lanes,
                         const Output& out) {
  const D d;
  const DI di;
  HWY_ALIGN double first[kMaxLanes] = {};
  HWY_ALIGN double second[kMaxLanes] = {};
  HWY_ALIGN std::int64_t sources1[kMaxLanes] = {};
  hn::Store(t.first, d, first);
  hn::Store(t.second, d, second);
  hn::Store(t.count1, di, sources1);
  for (int k = 0; k < lanes; ++k) {
    const std::int32_t cell = cells[k];
    const std::uint8_t own = in.removeSelf ? 0 : in.ownOpinion[cell];
    const auto count1 = static_cast<std::int32_t>(sources1[k]) + (own == 1 ? 1 : 0);
    const auto count2 =
        in.onGrid[cell] - static_cast<std::int32_t>(sources1[k]) + (own == 2 ? 1 : 0);
    double t1 = 0.0 + first[k];
    double t2 = 0.0 + second[k];
    if (!in.summationM) {
      if (count1 > 0) t1 = t1 / std::sqrt(static_cast<double>(count1));
      if (count2 > 0) t2 = t2 / std::sqrt(static_cast<double>(count2));
    }
    out.first[cell] = t1;
    out.second[cell] = t2;
    out.firstCount[cell] = count1;
    out.secondCount[cell] = count2;
  }
}

// Neighbouring targets of a row, one vector of them.
struct RowGroup {
  std::int32_t cells[kMaxLanes];
  int lanes;
  std::int64_t base;       // the first target's padded position
  std::int64_t planeBase;  // and its position on the planes
  bool same;               // all targets hold one opinion
  const double* plane;     // the plane they read then, else opinion 1's
};

inline RowGroup MakeRowGroup(const Input& in, int n, int y, int x0) {
  RowGroup g;
  g.lanes = std::min(n, in.side - x0);
  for (int k = 0; k < n; ++k) g.cells[k] = y * in.side + x0 + std::min(k, g.lanes - 1);
  g.base = std::int64_t{y + in.pad} * in.stride + x0 + in.pad;
  g.planeBase = std::int64_t{y + in.pad} * in.planeRow + x0 + in.pad;
  const std::uint8_t* own = in.ownOpinion + g.cells[0];
  g.same = std::all_of(own, own + g.lanes, [&](std::uint8_t o) { return o == own[0]; });
  g.plane = in.plane + g.planeBase + (g.same && own[0] != 1 ? in.stride : 0);
  return g;
}

// kGroups vectors of targets at once: each vector's totals are chains of
// dependent additions, and several chains keep the adder busy. Where every
// vector's targets hold one opinion each reads one plane; else each lane
// picks its opinion's.
template <std::size_t kGroups>
HWY_INLINE void RunRowGroups(const Input& in, const RowGroup* g, const Output& out) {
  const D d;
  const DU du;
  Totals t[kGroups];
  for (std::size_t j = 0; j < kGroups; ++j) t[j] = StartTotals(in, g[j].cells, g[j].lanes);
  const bool same = std::all_of(g, g + kGroups, [](const RowGroup& x) { return x.same; });
  if (same) {
    for (int i = 0; i < in.sources; ++i) {
      for (std::size_t j = 0; j < kGroups; ++j) {
        AddSource(t[j], hn::LoadU(d, g[j].plane + in.at[i]),
                  hn::LoadU(du, in.mask1 + g[j].base + in.delta[i]));
      }
    }
  } else {
    hn::Mask<D> own1[kGroups];
    for (std::size_t j = 0; j < kGroups; ++j) {
      HWY_ALIGN std::uint64_t isOne[kMaxLanes] = {};
      for (int k = 0; k < g[j].lanes; ++k) {
        isOne[k] = in.ownOpinion[g[j].cells[k]] == 1 ? ~std::uint64_t{0} : 0;
      }
      own1[j] = hn::MaskFromVec(hn::BitCast(d, hn::Load(du, isOne)));
    }
    for (int i = 0; i < in.sources; ++i) {
      for (std::size_t j = 0; j < kGroups; ++j) {
        const double* plane1 = in.plane + g[j].planeBase + in.at[i];
        const auto v =
            hn::IfThenElse(own1[j], hn::LoadU(d, plane1), hn::LoadU(d, plane1 + in.stride));
        AddSource(t[j], v, hn::LoadU(du, in.mask1 + g[j].base + in.delta[i]));
      }
    }
  }
  for (std::size_t j = 0; j < kGroups; ++j) FinishTotals(in, t[j], g[j].cells, g[j].lanes, out);
}

// Neighbouring targets of a row: each source of theirs lies side by side on
// every plane, so one load serves all lanes. Two rows at a time.
void ComputeRows(const Input& in, const Output& out) {
  const int n = static_cast<int>(hn::Lanes(D()));
  RowGroup g[4];
  for (int y = 0; y < in.side; y += 2) {
    for (int x0 = 0; x0 < in.side; x0 += 2 * n) {
      int count = 0;
      for (int dy = 0; dy < 2 && y + dy < in.side; ++dy) {
        for (int dx = 0; dx < 2 * n && x0 + dx < in.side; dx += n) {
          g[count++] = MakeRowGroup(in, n, y + dy, x0 + dx);
        }
      }
      if (count == 4) {
        RunRowGroups<4>(in, g, out);
      } else if (count == 2) {
        RunRowGroups<2>(in, g, out);
      } else {
        for (int j = 0; j < count; ++j) RunRowGroups<1>(in, g + j, out);
      }
    }
  }
}

// Targets anywhere: each lane reads its own positions, one plain load each
// (on the processors measured, faster than a gather instruction).
void ComputeTargetsImpl(const Input& in, const std::int32_t* targets, int count,
                        const Output& out) {
  const D d;
  const DU du;
  const int n = static_cast<int>(hn::Lanes(d));
  std::int32_t cells[kMaxLanes];
  std::int64_t base[kMaxLanes];
  std::int64_t plane[kMaxLanes];
  HWY_ALIGN double v[kMaxLanes];
  HWY_ALIGN std::uint64_t m1[kMaxLanes];
  for (int j0 = 0; j0 < count; j0 += n) {
    const int lanes = std::min(n, count - j0);
    for (int k = 0; k < n; ++k) {
      cells[k] = targets[j0 + std::min(k, lanes - 1)];
      const int row = cells[k] / in.side + in.pad;
      const int column = cells[k] % in.side + in.pad;
      base[k] = std::int64_t{row} * in.stride + column;
      plane[k] =
          std::int64_t{row} * in.planeRow + column + (in.ownOpinion[cells[k]] == 1 ? 0 : in.stride);
    }
    Totals t = StartTotals(in, cells, lanes);
    for (int i = 0; i < in.sources; ++i) {
      for (int k = 0; k < n; ++k) {
        v[k] = in.plane[plane[k] + in.at[i]];
        m1[k] = in.mask1[base[k] + in.delta[i]];
      }
      AddSource(t, hn::Load(d, v), hn::Load(du, m1));
    }
    FinishTotals(in, t, cells, lanes, out);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace impactsim::ring_round
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "impact/kernel_dispatch.h"

namespace impactsim::ring_round {

void Compute(const Input& in, const Output& out) {
  IMPACTSIM_DISPATCH(ComputeRows, in, out)
}

void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out) {
  IMPACTSIM_DISPATCH(ComputeTargetsImpl, in, targets, count, out)
}

}  // namespace impactsim::ring_round
#endif
