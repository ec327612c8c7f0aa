#pragma once
// The running totals' arithmetic (impact/ring_totals.h,
// impact/torus_totals.h), compiled once per instruction set like the round
// kernels and chosen with them (impact/round_kernels.h): the updates, where a
// changed source adds its values to, or removes them from, runs of
// neighbouring targets on up to three planes (one addition or subtraction
// per target, the same bits on every instruction set); and the builds, sums
// over every target's neighbourhood (whose last bits may differ from one
// instruction set to another: fused or separate multiply-adds). Either way
// the totals stand within the bound the certified turns allow for, so every
// turn is decided as the per-turn code decides it.

#include <cstdint>

namespace impactsim::totals_kernel {

inline constexpr int kMaxPlanes = 3;

// `length` neighbouring targets from plane index `target`, taking the
// values from index `place` of each plane's row on.
struct Span {
  std::int64_t target = 0;
  std::int32_t place = 0;
  std::int32_t length = 0;
};

struct Input {
  double* plane[kMaxPlanes] = {};
  const double* row[kMaxPlanes] = {};
  int planes = 0;
  const Span* spans = nullptr;
  int count = 0;
};

// plane[k][target + i] += row[k][place + i] (Add) or -= (Subtract) for every
// span, i < length, and k < planes.
void Add(const Input& in);
void Subtract(const Input& in);

inline constexpr int kMaxFields = 4;
// How far past a target row's last target the fields must reach: a
// convolution reads several vectors of targets at once.
inline constexpr int kConvolveOverread = 32;

// Every target's weighted sum over the positions around it, in single
// precision: total[f][ty * side + tx] = sum over positions p of
// weight[p] * field[f][origin + ty * stride + tx + offset[p]], in any order
// (fused multiply-adds where the instruction set has them), each widened to
// double as it is stored. The fields are padded so that every position of
// every target, and kConvolveOverread more to the right, lie inside them.
struct ConvolveInput {
  const float* field[kMaxFields] = {};
  double* total[kMaxFields] = {};
  int fields = 0;
  std::int64_t origin = 0;
  std::int64_t stride = 0;
  int side = 0;
  const std::int64_t* offset = nullptr;
  const float* weight = nullptr;
  int positions = 0;
};
void Convolve(const ConvolveInput& in);

}  // namespace impactsim::totals_kernel
