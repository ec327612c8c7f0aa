// CertainGreatestBatch, compiled once for each instruction set Highway
// targets and chosen with the round kernels (impact/round_kernels.h). Every
// version makes the same correctly rounded operations, so all give the same
// answers.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "impact/certified_batch.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// The line above includes this file again once per instruction set.
#include <hwy/highway.h>

#include "impact/certified_batch.h"
#include "impact/round_lanes.h"

HWY_BEFORE_NAMESPACE();
namespace impactsim {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::CappedTag<double, kMaxLanes>;

// As CertainGreatestOfTwo, lane by lane.
void BatchImpl(const BatchTotals& in, std::size_t count, double halfWidth, bool summationM,
               std::uint8_t* certain) {
  const D d;
  const std::size_t n = hn::Lanes(d);
  const auto zero = hn::Zero(d), one = hn::Set(d, 1.0), two = hn::Set(d, 2.0);
  const auto h = hn::Set(d, halfWidth), tiny = hn::Set(d, 0x1p-300);
  const auto room = hn::Set(d, 1.0 + 0x1p-48), byDivision = hn::Set(d, kCertainByDivision);
  HWY_ALIGN double answer[kMaxLanes];
  HWY_ALIGN double lane[4][kMaxLanes];
  for (std::size_t t = 0; t < count; t += n) {
    const std::size_t valid = count - t < n ? count - t : n;
    // The last vector from a copy, padded with zeros.
    const double* from[4] = {in.first + t, in.second + t, in.firstSources + t,
                             in.secondSources + t};
    if (valid < n) {
      for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t i = 0; i < n; ++i) lane[k][i] = i < valid ? from[k][i] : 0.0;
        from[k] = lane[k];
      }
    }
    const auto r1 = hn::LoadU(d, from[0]), r2 = hn::LoadU(d, from[1]);
    const auto n1 = hn::LoadU(d, from[2]), n2 = hn::LoadU(d, from[3]);
    const auto none1 = hn::Eq(n1, zero), none2 = hn::Eq(n2, zero);
    const auto t1 = hn::Sub(r1, h), t2 = hn::Sub(r2, h);
    const auto low1 = hn::IfThenZeroElse(hn::Or(none1, hn::Lt(t1, zero)), t1);
    const auto low2 = hn::IfThenZeroElse(hn::Or(none2, hn::Lt(t2, zero)), t2);
    const auto high1 = hn::IfThenZeroElse(none1, hn::Add(r1, h));
    const auto high2 = hn::IfThenZeroElse(none2, hn::Add(r2, h));
    auto small = [&](const hn::Vec<D>& v) { return hn::And(hn::Gt(v, zero), hn::Lt(v, tiny)); };
    const auto tooSmall =
        hn::Or(hn::Or(small(low1), small(low2)), hn::Or(small(high1), small(high2)));
    hn::Vec<D> a1 = low1, b2 = high2, a2 = low2, b1 = high1;
    if (!summationM) {
      const auto m1 = hn::IfThenElse(none1, one, n1), m2 = hn::IfThenElse(none2, one, n2);
      a1 = hn::Mul(hn::Mul(low1, low1), m2);
      b2 = hn::Mul(hn::Mul(hn::Mul(high2, high2), m1), room);
      a2 = hn::Mul(hn::Mul(low2, low2), m1);
      b1 = hn::Mul(hn::Mul(hn::Mul(high1, high1), m2), room);
    }
    const auto named =
        hn::Add(hn::IfThenElseZero(hn::Gt(a1, b2), one), hn::IfThenElseZero(hn::Gt(a2, b1), two));
    hn::Store(hn::IfThenElse(tooSmall, byDivision, named), d, answer);
    for (std::size_t i = 0; i < valid; ++i) certain[t + i] = static_cast<std::uint8_t>(answer[i]);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace impactsim
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "impact/kernel_dispatch.h"

namespace impactsim {

void CertainGreatestBatch(const BatchTotals& in, std::size_t count, double halfWidth,
                          bool summationM, std::uint8_t* certain) {
  IMPACTSIM_DISPATCH(BatchImpl, in, count, halfWidth, summationM, certain)
}

}  // namespace impactsim
#endif
