// The running totals' updates, compiled once for each instruction set
// Highway targets (see impact/totals_kernel.h).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "impact/totals_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// The line above includes this file again once per instruction set.
#include <hwy/highway.h>

#include <algorithm>

#include "impact/round_lanes.h"
#include "impact/totals_kernel.h"

HWY_BEFORE_NAMESPACE();
namespace impactsim::totals_kernel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::CappedTag<double, kMaxLanes>;

template <bool kAdd, int kPlanes>
HWY_INLINE void Run(const Input& in) {
  const D d;
  const auto n = static_cast<std::int32_t>(hn::Lanes(d));
  for (int j = 0; j < in.count; ++j) {
    const Span& s = in.spans[j];
    std::int32_t i = 0;
    for (; i + n <= s.length; i += n) {
      for (int k = 0; k < kPlanes; ++k) {
        double* t = in.plane[k] + s.target + i;
        const auto v = hn::LoadU(d, in.row[k] + s.place + i);
        hn::StoreU(kAdd ? hn::Add(hn::LoadU(d, t), v) : hn::Sub(hn::LoadU(d, t), v), d, t);
      }
    }
    for (; i < s.length; ++i) {
      for (int k = 0; k < kPlanes; ++k) {
        double& t = in.plane[k][s.target + i];
        t = kAdd ? t + in.row[k][s.place + i] : t - in.row[k][s.place + i];
      }
    }
  }
}

template <bool kAdd>
HWY_INLINE void Dispatch(const Input& in) {
  switch (in.planes) {
    case 1:
      return Run<kAdd, 1>(in);
    case 2:
      return Run<kAdd, 2>(in);
    default:
      return Run<kAdd, 3>(in);
  }
}

// kBlocks vectors of neighbouring targets at once, so that enough
// independent chains of multiply-adds keep the adders busy.
using DF = hn::CappedTag<float, 2 * kMaxLanes>;

// The targets [tx, tx + kBlocks * lanes) of row ty, or those of them on the
// grid.
template <class DT, std::size_t kFields, std::size_t kBlocks>
HWY_INLINE void ConvolveAt(DT d, const ConvolveInput& in, int ty, int tx) {
  const int n = static_cast<int>(hn::Lanes(d));
  HWY_ALIGN float lanes[2 * kMaxLanes];
  const std::int64_t at = in.origin + ty * in.stride + tx;
  hn::Vec<DT> acc[kFields][kBlocks];
  for (std::size_t f = 0; f < kFields; ++f) {
    for (std::size_t b = 0; b < kBlocks; ++b) acc[f][b] = hn::Zero(d);
  }
  for (int p = 0; p < in.positions; ++p) {
    const auto w = hn::Set(d, in.weight[p]);
    const std::int64_t from = at + in.offset[p];
    for (std::size_t f = 0; f < kFields; ++f) {
      for (std::size_t b = 0; b < kBlocks; ++b) {
        const std::int64_t lane0 = from + static_cast<std::int64_t>(b) * n;
        acc[f][b] = hn::MulAdd(w, hn::LoadU(d, in.field[f] + lane0), acc[f][b]);
      }
    }
  }
  for (std::size_t b = 0; b < kBlocks; ++b) {
    const int x0 = tx + static_cast<int>(b) * n;
    const int valid = std::min(n, in.side - x0);
    if (valid <= 0) break;
    for (std::size_t f = 0; f < kFields; ++f) {
      hn::Store(acc[f][b], d, lanes);
      double* out = in.total[f] + ty * in.side + x0;
      for (int k = 0; k < valid; ++k) out[k] = static_cast<double>(lanes[k]);
    }
  }
}

// Each row in steps of kBlocks vectors; a row's last targets, where half a
// vector or one vector holds them, by that much. Every lane adds its own
// products in the positions' order, whatever the width.
template <std::size_t kFields, std::size_t kBlocks>
HWY_INLINE void ConvolveFields(const ConvolveInput& in) {
  const DF d;
  const int n = static_cast<int>(hn::Lanes(d));
  const int step = n * static_cast<int>(kBlocks);
  for (int ty = 0; ty < in.side; ++ty) {
    for (int tx = 0; tx < in.side; tx += step) {
      const int left = in.side - tx;
#if HWY_TARGET != HWY_SCALAR
      const hn::Half<DF> h;
      if (n > 1 && left <= static_cast<int>(hn::Lanes(h))) {
        ConvolveAt<hn::Half<DF>, kFields, 1>(h, in, ty, tx);
        continue;
      }
#endif
      if (kBlocks > 1 && left <= n) {
        ConvolveAt<DF, kFields, 1>(d, in, ty, tx);
      } else {
        ConvolveAt<DF, kFields, kBlocks>(d, in, ty, tx);
      }
    }
  }
}

void ConvolveImpl(const ConvolveInput& in) {
  switch (in.fields) {
    case 1:
      return ConvolveFields<1, 2>(in);
    case 2:
      return ConvolveFields<2, 2>(in);
    case 3:
      return ConvolveFields<3, 1>(in);
    default:
      return ConvolveFields<4, 1>(in);
  }
}

void AddImpl(const Input& in) {
  Dispatch<true>(in);
}
void SubtractImpl(const Input& in) {
  Dispatch<false>(in);
}

}  // namespace HWY_NAMESPACE
}  // namespace impactsim::totals_kernel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "impact/kernel_dispatch.h"

namespace impactsim::totals_kernel {

void Add(const Input& in) {
  IMPACTSIM_DISPATCH(AddImpl, in)
}

void Subtract(const Input& in) {
  IMPACTSIM_DISPATCH(SubtractImpl, in)
}

void Convolve(const ConvolveInput& in) {
  IMPACTSIM_DISPATCH(ConvolveImpl, in)
}

}  // namespace impactsim::totals_kernel
#endif
