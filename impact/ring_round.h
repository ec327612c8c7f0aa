#pragma once
// The ring model's impacts of many targets at once. Each target keeps its own
// totals and adds its sources' quotients in the scan order of ComputeImpact,
// so every total is bit for bit the one of the per-turn code; only the work
// of several targets overlaps, one target per lane of a vector.

#include <cstdint>

#include "impact/round_lanes.h"

namespace impactsim::ring_round {

// Targets handled together at most: the lanes of the widest vector.
inline constexpr int kLanes = kMaxLanes;

// The population the sources are read from, on a padded grid: `pad` cells of
// margin on every side (and kLanes more on the right), so every source of
// every target is a plain index step away. A margin cell holds no opinion (a
// wall: it counts nowhere) or, on a torus, is a copy of the cell it wraps to.
//
// Per distance class c (one per distinct distance of the scan) and target
// opinion o, a plane holds at every padded position the quotient the cell
// there contributes to a target of opinion o at that distance: its
// supportiveness over g(d) if it holds opinion o, else its persuasiveness
// over g(d), and +0.0 where the cell is off the grid.
//
// The planes are stored row by row, row py of every plane together, so the
// rows a row of targets reads lie close together. Within padded row py, the
// row of plane (c, o) starts (2 * c + o - 1) * stride doubles in:
//
//   position (py, px) of plane (c, o) is
//   plane[py * planeRow + (2 * c + o - 1) * stride + px]
//
// The mask holds all ones where the cell holds opinion 1, else zero: a
// quotient counts for opinion 1 there and for opinion 2 elsewhere, as every
// cell on the grid holds one of the two.
struct Input {
  int side = 0;
  int pad = 0;
  int stride = 0;             // side + 2 * pad + kLanes
  std::int64_t planeRow = 0;  // 2 * classes * stride
  const double* plane = nullptr;
  const std::uint64_t* mask1 = nullptr;
  const std::int32_t* onGrid = nullptr;  // per target: its sources on the grid
  // The targets as the population holds them at their turns (row by row,
  // side x side): their opinion decides which plane they read.
  const std::uint8_t* ownOpinion = nullptr;
  const std::uint8_t* ownSupportiveness = nullptr;
  int sources = 0;
  const std::int32_t* delta = nullptr;  // per source: index step on the padded grid
  const std::int64_t* at = nullptr;     // per source: step to its class's opinion-1 plane
  const double* self = nullptr;         // per supportiveness: the target's own voice
  bool removeSelf = false;
  bool summationM = false;
};

using Output = KernelOutput;

// Every cell's impacts, row by row, neighbouring targets of a row together.
void Compute(const Input& in, const Output& out);

// The impacts of the given targets (0-based cell numbers, row by row), each
// written at its cell number.
void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out);

}  // namespace impactsim::ring_round
