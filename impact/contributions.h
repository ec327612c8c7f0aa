#pragma once
// Per-turn bookkeeping shared by the impact models: a running total and a
// source count for each of the two opinions in play.

#include <bit>
#include <cmath>
#include <cstdint>

#include "grid.h"

namespace impactsim {

// The totals of one turn, kept in registers while the sources are scanned.
//
// Each source's quotient is added to the total of its opinion, in scan
// order, exactly as a plain left-to-right sum would add it. To avoid a branch
// on the source's opinion, the other total receives +0.0 at the same step;
// adding +0.0 to a total that is +0.0 or positive returns that total
// unchanged, bit for bit, so the totals are those of the plain sums. The two
// totals are independent chains of additions that the processor overlaps.
struct OpinionTotals {
  double first = 0.0;
  double second = 0.0;
  std::int32_t firstCount = 0;
  std::int32_t secondCount = 0;

  // Counts q for opinion 1 or 2; any other opinion number counts nowhere.
  void Add(std::uint8_t opinion, double q) {
    const bool isFirst = opinion == 1;
    const bool isSecond = opinion == 2;
    // Masks rather than conditionals: compilers turn a conditional into a
    // branch, which the random mix of opinions would mispredict.
    const auto bits = std::bit_cast<std::uint64_t>(q);
    first += std::bit_cast<double>(bits & (std::uint64_t{0} - isFirst));
    second += std::bit_cast<double>(bits & (std::uint64_t{0} - isSecond));
    firstCount += isFirst;
    secondCount += isSecond;
  }

  // Adds the totals onto impact[1] and impact[2] (which hold 0.0), records
  // the source counts, and divides each total by the root of its count
  // unless the totals are plain sums.
  void Finish(bool plainSums, ImpactVector& impact, SourceCount& sources) const {
    double t1 = impact[1] + first;
    double t2 = impact[2] + second;
    if (!plainSums) {
      if (firstCount > 0) t1 = t1 / std::sqrt(static_cast<double>(firstCount));
      if (secondCount > 0) t2 = t2 / std::sqrt(static_cast<double>(secondCount));
    }
    impact[1] = t1;
    impact[2] = t2;
    sources[1] = firstCount;
    sources[2] = secondCount;
  }
};

// g(d): d multiplied by itself, left to right, until it has `exponent` factors,
// each product rounded to double; 1 for exponent 0.
inline double DistancePower(double d, int exponent) {
  double g = 1.0;
  if (exponent >= 1) g = d;
  for (int e = 2; e <= exponent; ++e) g = g * d;
  return g;
}

}  // namespace impactsim
