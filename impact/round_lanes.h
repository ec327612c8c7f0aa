#pragma once
// What every round kernel shares: the totals it writes, and, inside a kernel
// compiled for one instruction set, its lanes.

#include <cstdint>
#include <span>
#include <vector>

#include "model/grid.h"

namespace impactsim {

// Per target: the totals of opinions 1 and 2 and their source counts, as a
// kernel writes them.
struct KernelOutput {
  double* first = nullptr;
  double* second = nullptr;
  std::int32_t* firstCount = nullptr;
  std::int32_t* secondCount = nullptr;
};

// Room for a kernel's totals, and their hand-over as ComputeImpact gives them.
class KernelTotals {
 public:
  void Resize(std::size_t targets) {
    first_.resize(targets);
    second_.resize(targets);
    firstCount_.resize(targets);
    secondCount_.resize(targets);
  }
  KernelOutput Output() {
    return {first_.data(), second_.data(), firstCount_.data(), secondCount_.data()};
  }
  // Entries 0..count-1 into impact[j][1..2] and sources[j][1..2].
  void CopyTo(std::size_t count, std::span<ImpactVector> impact,
              std::span<SourceCount> sources) const {
    for (std::size_t j = 0; j < count; ++j) {
      impact[j][1] = first_[j];
      impact[j][2] = second_[j];
      sources[j][1] = firstCount_[j];
      sources[j][2] = secondCount_[j];
    }
  }

 private:
  std::vector<double> first_, second_;
  std::vector<std::int32_t> firstCount_, secondCount_;
};

}  // namespace impactsim

#ifdef ROUND_TARGET
namespace impactsim::round_lanes {

// Lanes per step: as many doubles as one vector register holds.
#if defined(__AVX512F__)
inline constexpr int K = 8;
#else
inline constexpr int K = 4;
#endif

using Doubles = double __attribute__((vector_size(K * sizeof(double))));
using Integers = long long __attribute__((vector_size(K * sizeof(long long))));

}  // namespace impactsim::round_lanes
#endif
