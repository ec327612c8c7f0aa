#pragma once
// Per-turn bookkeeping shared by the impact models: contributions collected
// per opinion in the order they are made, then summed in exactly that order,
// so that each total is rounded as a plain left-to-right sum.

#include <array>
#include <cmath>
#include <cstdint>

#include "grid.h"

namespace impactsim {

// Buffers for the contributions of one turn, for the two opinions in play.
// Filled without branches: every contribution is stored in both buffers and
// only the cursor of its opinion advances.
template <std::size_t Capacity>
class ContributionBuffers {
 public:
  double* First() { return first_.data(); }
  double* Second() { return second_.data(); }

  // Adds each opinion's contributions, in order, onto impact[1] and impact[2],
  // records the source counts and scales by the root of the count unless the
  // totals are plain sums. The two running sums are independent chains and
  // are interleaved so the processor can overlap them.
  void Finish(const double* firstEnd, const double* secondEnd, bool plainSums, ImpactVector& impact,
              SourceCount& sources) const {
    const auto n1 = static_cast<std::int32_t>(firstEnd - first_.data());
    const auto n2 = static_cast<std::int32_t>(secondEnd - second_.data());
    double t1 = impact[1];
    double t2 = impact[2];
    const std::int32_t common = n1 < n2 ? n1 : n2;
    std::int32_t i = 0;
    for (; i < common; ++i) {
      t1 += first_[static_cast<std::size_t>(i)];
      t2 += second_[static_cast<std::size_t>(i)];
    }
    for (std::int32_t j = i; j < n1; ++j) t1 += first_[static_cast<std::size_t>(j)];
    for (std::int32_t j = i; j < n2; ++j) t2 += second_[static_cast<std::size_t>(j)];
    if (!plainSums) {
      if (n1 > 0) t1 = t1 / std::sqrt(static_cast<double>(n1));
      if (n2 > 0) t2 = t2 / std::sqrt(static_cast<double>(n2));
    }
    impact[1] = t1;
    impact[2] = t2;
    sources[1] = n1;
    sources[2] = n2;
  }

 private:
  std::array<double, Capacity> first_;
  std::array<double, Capacity> second_;
};

// Appends q to the buffer of opinion 1 or 2 without a branch.
inline void Contribute(double*& first, double*& second, std::uint8_t opinion, double q) {
  *first = q;
  *second = q;
  const bool isFirst = opinion == 1;
  first += static_cast<std::ptrdiff_t>(isFirst);
  second += static_cast<std::ptrdiff_t>(!isFirst);
}

// g(d): d multiplied by itself, left to right, until it has `exponent` factors,
// each product rounded to double; 1 for exponent 0.
inline double DistancePower(double d, int exponent) {
  double g = 1.0;
  if (exponent >= 1) g = d;
  for (int e = 2; e <= exponent; ++e) g = g * d;
  return g;
}

}  // namespace impactsim
