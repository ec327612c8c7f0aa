#pragma once
// The ring model's impacts of a whole simultaneous round, computed for
// several neighbouring targets of a row at once. Each target keeps its own
// totals and adds its sources' quotients in the scan order of ComputeImpact,
// so every total is bit for bit the one of the per-turn code; only the work
// of neighbouring targets overlaps.

#include <cstdint>

#include "impact/round_lanes.h"

namespace impactsim::ring_round {

// Targets handled together: neighbouring cells of one row.
inline constexpr int kLanes = 8;

// The round's snapshot on a padded grid: `pad` cells of margin on every side
// (and kLanes more on the right), so every source of every target is a plain
// index step away. A margin cell has opinion 0 (a wall: it counts nowhere) or,
// on a torus, is a copy of the cell it wraps to.
struct Input {
  int side = 0;
  int pad = 0;
  int stride = 0;                         // side + 2 * pad + kLanes
  const std::uint8_t* opinion = nullptr;  // padded
  // Padded: the strength a cell acts with on a target of opinion 1 (its
  // supportiveness if it holds opinion 1, else its persuasiveness), and on
  // one of opinion 2.
  const std::uint8_t* strengthFor1 = nullptr;
  const std::uint8_t* strengthFor2 = nullptr;
  // The targets as the population holds them at their turns (row by row,
  // side x side): their opinion decides which strength a source acts with.
  const std::uint8_t* ownOpinion = nullptr;
  const std::uint8_t* ownSupportiveness = nullptr;
  int sources = 0;
  const std::int32_t* delta = nullptr;  // per source: index step on the padded grid
  const std::int32_t* row = nullptr;    // per source: first of its quotients
  const double* quotient = nullptr;
  const double* self = nullptr;  // per strength: the target's own voice
  bool removeSelf = false;
  bool plainSums = false;
};

using Output = KernelOutput;

// One version per instruction set the build compiles the kernel for.
// Sequential runs: the impacts of the given targets (0-based cell numbers,
// row by row), all from the padded grid as it is; output entry j is
// targets[j]'s.
namespace avx2 {
void Compute(const Input& in, const Output& out);
void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out);
}  // namespace avx2
namespace avx512 {
void Compute(const Input& in, const Output& out);
void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out);
}  // namespace avx512

}  // namespace impactsim::ring_round
