#pragma once
// Certified turns: naming the opinion of greatest impact from running totals
// kept in any order, with a proof that the per-turn code's totals, added in
// scan order, would name the same opinion and could not tie.
//
// The bound. Let u = 2^-53 (the unit roundoff of double) and
// gamma(n) = n u / (1 - n u). All quotients are non-negative and every total
// of a target, exact or partial, is at most M (the target's own voice plus
// every source position at the greatest strength).
// - The per-turn code adds at most m quotients left to right from +0.0.
//   Recursive summation of non-negative terms lies within gamma(m - 1) times
//   their exact sum of it, so within gamma(m - 1) M.
// - A running total is built and then kept by adding or removing one
//   quotient at a time, in any order. Each such step rounds once, by at most
//   u times its result's magnitude; its exact result is a sum of non-negative
//   quotients (at most M), so after N steps the running total lies within
//   gamma(N) M of the exact sum of the quotients it stands for.
// - Adding the target's own voice to a running total, and subtracting or
//   adding the half-width below, round a few more times, each by at most
//   u (M + half-width).
// So |running - scan order| <= gamma(N + m + 8) M, and the half-width takes a
// further factor 1 + 2^-20 for its own rounding. The impact the per-turn code
// finishes is t / fl(sqrt(n)) (or t with plain sums); rounding division by a
// positive number is monotone, so the lower and upper ends of the interval,
// divided the same way, bound the per-turn impact. Where one opinion's lower
// end lies above the other's upper end, the per-turn code names that opinion
// and no tie (no draw) is possible; otherwise the turn is worked out in scan
// order. An opinion with no source has impact exactly +0.0 in the per-turn
// code, whatever residue its running total holds.

#include <cmath>
#include <cstdint>

namespace impactsim {

inline constexpr double kUnitRoundoff = 0x1p-53;

// The half-width of the interval around a running total, kept by `steps`
// roundings, that holds the per-turn code's sum of at most `terms`
// quotients of the same sources, every total being at most `greatest`.
inline double CertifiedHalfWidth(std::int64_t steps, std::int64_t terms, double greatest) {
  const double nu = static_cast<double>(steps + terms + 8) * kUnitRoundoff;
  return nu / (1.0 - nu) * greatest * (1.0 + 0x1p-20);
}

// One opinion's side of the comparison: its running total and its number of
// sources as the per-turn code counts them.
struct RunningImpact {
  double total = 0.0;
  std::int32_t sources = 0;
};

// The opinion (1 or 2) of certainly greatest impact, or 0 where the
// intervals of half-width `halfWidth` around the running totals overlap.
inline std::uint8_t CertainGreatestOfTwo(RunningImpact first, RunningImpact second,
                                         double halfWidth, bool summationM) {
  auto low = [&](const RunningImpact& r) {
    if (r.sources == 0) return 0.0;
    double t = r.total - halfWidth;
    if (t < 0.0) t = 0.0;
    return summationM ? t : t / std::sqrt(static_cast<double>(r.sources));
  };
  auto high = [&](const RunningImpact& r) {
    if (r.sources == 0) return 0.0;
    const double t = r.total + halfWidth;
    return summationM ? t : t / std::sqrt(static_cast<double>(r.sources));
  };
  if (low(first) > high(second)) return 1;
  if (low(second) > high(first)) return 2;
  return 0;
}

// How often certified turns named the opinion, and how often they fell back
// to the per-turn code (for benchmarks and tests).
struct CertifiedCounts {
  std::int64_t certain = 0;
  std::int64_t fallback = 0;
  std::int64_t rebuilds = 0;
};

}  // namespace impactsim
