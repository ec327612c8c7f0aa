// The running totals' updates, compiled once for each instruction set
// Highway targets (see impact/totals_kernel.h).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "impact/totals_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// The line above includes this file again once per instruction set.
#include <hwy/highway.h>

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

template <std::size_t kFields>
HWY_INLINE void ConvolveFields(const ConvolveInput& in) {
  const D d;
  const int n = static_cast<int>(hn::Lanes(d));
  HWY_ALIGN double lanes[kMaxLanes];
  for (int ty = 0; ty < in.side; ++ty) {
    for (int tx = 0; tx < in.side; tx += n) {
      const std::int64_t at = in.origin + ty * in.stride + tx;
      hn::Vec<D> acc[kFields];
      for (std::size_t f = 0; f < kFields; ++f) acc[f] = hn::Zero(d);
      for (int p = 0; p < in.positions; ++p) {
        const auto w = hn::Set(d, in.weight[p]);
        for (std::size_t f = 0; f < kFields; ++f) {
          acc[f] = hn::MulAdd(w, hn::LoadU(d, in.field[f] + at + in.offset[p]), acc[f]);
        }
      }
      const int valid = in.side - tx < n ? in.side - tx : n;
      for (std::size_t f = 0; f < kFields; ++f) {
        double* out = in.total[f] + ty * in.side + tx;
        if (valid == n) {
          hn::StoreU(acc[f], d, out);
        } else {
          hn::Store(acc[f], d, lanes);
          for (int k = 0; k < valid; ++k) out[k] = lanes[k];
        }
      }
    }
  }
}

void ConvolveImpl(const ConvolveInput& in) {
  switch (in.fields) {
    case 1:
      return ConvolveFields<1>(in);
    case 2:
      return ConvolveFields<2>(in);
    case 3:
      return ConvolveFields<3>(in);
    default:
      return ConvolveFields<4>(in);
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
