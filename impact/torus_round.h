#pragma once
// The torus model's impacts of many targets at once. Each target keeps its
// own totals and adds every other cell's quotient in the order of
// ComputeImpact (columns outer, rows inner), so every total is bit for bit
// the per-turn one; only the work of several targets overlaps, one target per
// lane of a vector.

#include <cstdint>

#include "impact/round_lanes.h"

namespace impactsim::torus_round {

inline constexpr int kSide = 20;
inline constexpr int kFolds = kSide / 2 + 1;
// A quotient row holds, for one row offset b and one strength, the quotient
// at every column offset t - (kSide - 1) = x - u a lane may meet, targets
// beyond the grid's right edge included.
inline constexpr int kRowLength = 2 * kSide - 1 + kMaxLanes - 1;

struct Input {
  const std::uint8_t* opinion = nullptr;         // the population read, row by row
  const std::uint8_t* supportiveness = nullptr;  // the population read, row by row
  // Per cell: all ones where it holds opinion 1 (mask1) or 2 (mask2), else 0.
  const std::uint64_t* mask1 = nullptr;
  const std::uint64_t* mask2 = nullptr;
  // Cells of opinion 1 and 2: every target counts them all, itself included.
  std::int32_t count1 = 0;
  std::int32_t count2 = 0;
  const std::uint8_t* fold = nullptr;  // v - y + kSide - 1 -> folded row offset b
  // [(b * kStrengthValues + supportiveness) * kRowLength + x - u + kSide - 1]: the
  // quotient of a source at column offset x - u and folded row offset b;
  // +0.0 at offsets (0, 0), where the target would meet itself.
  const double* row = nullptr;
  // [(a * kFolds + b) * kStrengthValues + supportiveness]: the same quotients by
  // folded column and row offsets, +0.0 at (0, 0).
  const double* quotient = nullptr;
  const double* self = nullptr;  // per supportiveness: the target's own voice
  bool summationM = false;
};

using Output = KernelOutput;

// Every cell's impacts, row by row, neighbouring targets of a row together.
void Compute(const Input& in, const Output& out);

// The impacts of the given targets (0-based cell numbers, row by row), each
// written at its cell number.
void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out);

}  // namespace impactsim::torus_round
