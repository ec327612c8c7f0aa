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
// intervals of half-width `halfWidth` around the running totals overlap:
// where the lower end of one, finished as the per-turn code finishes a total
// (divided by the rounded root of its sources, unless plain sums), lies above
// the upper end of the other's.
inline std::uint8_t CertainGreatestByDivision(RunningImpact first, RunningImpact second,
                                              double halfWidth, bool summationM) {
  struct Ends {
    double low, high;
  };
  auto ends = [&](const RunningImpact& r) {
    if (r.sources == 0) return Ends{0.0, 0.0};
    const double root = summationM ? 1.0 : std::sqrt(static_cast<double>(r.sources));
    const double low = r.total - halfWidth;
    return Ends{(low < 0.0 ? 0.0 : low) / root, (r.total + halfWidth) / root};
  };
  const Ends a = ends(first);
  const Ends b = ends(second);
  if (a.low > b.high) return 1;
  if (b.low > a.high) return 2;
  return 0;
}

// Whether `impact`, as the per-turn code finishes it, lies in the interval
// the bound gives around a running total (for tests of the bound).
inline bool IntervalHolds(RunningImpact r, double halfWidth, bool summationM, double impact) {
  if (r.sources == 0) return impact == 0.0;
  const double root = summationM ? 1.0 : std::sqrt(static_cast<double>(r.sources));
  const double low = r.total - halfWidth;
  return (low < 0.0 ? 0.0 : low) / root <= impact && impact <= (r.total + halfWidth) / root;
}

// The same answer or 0, most turns without a division or a root and
// without branches on the totals (which way a turn goes is not predictable).
// With l = fl(low / fl(sqrt n)) >= (low / sqrt n)(1 - 3u) and
// h = fl(high / fl(sqrt n)) <= (high / sqrt n)(1 + 3u), l1 > h2 follows from
// low1^2 n2 > high2^2 n1 (1 + 13u); the products below, each rounded, and
// the factor 1 + 2^-48 (32u) leave more room than that. Values so small that
// their squares could lose bits go by division.
inline std::uint8_t CertainGreatestOfTwo(RunningImpact first, RunningImpact second,
                                         double halfWidth, bool summationM) {
  auto low = [&](const RunningImpact& r) {
    const double t = r.total - halfWidth;
    return r.sources == 0 || t < 0.0 ? 0.0 : t;
  };
  auto high = [&](const RunningImpact& r) { return r.sources == 0 ? 0.0 : r.total + halfWidth; };
  const double low1 = low(first), high1 = high(first);
  const double low2 = low(second), high2 = high(second);
  constexpr double kTiny = 0x1p-300;
  const bool tiny = (low1 > 0.0 && low1 < kTiny) || (low2 > 0.0 && low2 < kTiny) ||
                    (high1 > 0.0 && high1 < kTiny) || (high2 > 0.0 && high2 < kTiny);
  if (tiny) return CertainGreatestByDivision(first, second, halfWidth, summationM);
  int one = 0, two = 0;
  if (summationM) {
    one = low1 > high2 ? 1 : 0;
    two = low2 > high1 ? 2 : 0;
  } else {
    // An opinion without sources has both ends 0: any count but 0 serves.
    const double n1 = first.sources == 0 ? 1.0 : static_cast<double>(first.sources);
    const double n2 = second.sources == 0 ? 1.0 : static_cast<double>(second.sources);
    constexpr double kRoom = 1.0 + 0x1p-48;
    one = low1 * low1 * n2 > high2 * high2 * n1 * kRoom ? 1 : 0;
    two = low2 * low2 * n1 > high1 * high1 * n2 * kRoom ? 2 : 0;
  }
  return static_cast<std::uint8_t>(one | two);
}

// How often certified turns named the opinion, and how often they fell back
// to the per-turn code (for benchmarks and tests).
struct CertifiedCounts {
  std::int64_t certain = 0;
  std::int64_t fallback = 0;
  std::int64_t rebuilds = 0;
};

}  // namespace impactsim
