#pragma once
// The torus model's impacts of a whole simultaneous round, computed for
// several neighbouring targets of a row at once. Each target keeps its own
// totals and adds every other cell's quotient in the order of ComputeImpact
// (columns outer, rows inner), so every total is bit for bit the per-turn
// one.

#include <cstdint>

#include "impact/round_lanes.h"

namespace impactsim::torus_round {

inline constexpr int kSide = 20;
inline constexpr int kFolds = kSide / 2 + 1;
inline constexpr int kStrengths = 101;

struct Input {
  const std::uint8_t* opinion = nullptr;         // the snapshot, row by row
  const std::uint8_t* supportiveness = nullptr;  // the snapshot, row by row
  const std::uint8_t* fold = nullptr;            // u - x + kSide - 1 -> folded offset
  const double* quotient = nullptr;              // [(a * kFolds + b) * kStrengths + supportiveness]
  const double* self = nullptr;                  // per supportiveness: the target's own voice
  bool plainSums = false;
};

using Output = KernelOutput;

// The impacts of the given targets (0-based cell numbers, row by row), all
// from the population in.opinion and in.supportiveness hold: a simultaneous
// round's snapshot for every cell, or the next sequential turns' targets and
// the population as it is now. Output entry j is targets[j]'s.
namespace avx2 {
void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out);
}  // namespace avx2
namespace avx512 {
void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out);
}  // namespace avx512

}  // namespace impactsim::torus_round
