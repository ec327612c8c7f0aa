#pragma once
// Calls, from a kernel file compiled once per instruction set through
// Highway's foreach_target.h, the version of a kernel function for the
// instruction set in use (impact/round_kernels.h). Include after the
// kernels, where HWY_ONCE holds.

#include <hwy/highway.h>

#include <cstdint>

namespace impactsim {
// The Highway target bit of the instruction set in use.
std::int64_t RoundKernelTarget();
}  // namespace impactsim

#if HWY_TARGETS & HWY_AVX3
#define IMPACTSIM_CASE_AVX3(FUNC, ...) \
  case HWY_AVX3:                       \
    return N_AVX3::FUNC(__VA_ARGS__);
#else
#define IMPACTSIM_CASE_AVX3(FUNC, ...)
#endif
#if HWY_TARGETS & HWY_AVX2
#define IMPACTSIM_CASE_AVX2(FUNC, ...) \
  case HWY_AVX2:                       \
    return N_AVX2::FUNC(__VA_ARGS__);
#else
#define IMPACTSIM_CASE_AVX2(FUNC, ...)
#endif
#if HWY_TARGETS & HWY_SSE4
#define IMPACTSIM_CASE_SSE4(FUNC, ...) \
  case HWY_SSE4:                       \
    return N_SSE4::FUNC(__VA_ARGS__);
#else
#define IMPACTSIM_CASE_SSE4(FUNC, ...)
#endif
#if HWY_TARGETS & HWY_SSSE3
#define IMPACTSIM_CASE_SSSE3(FUNC, ...) \
  case HWY_SSSE3:                       \
    return N_SSSE3::FUNC(__VA_ARGS__);
#else
#define IMPACTSIM_CASE_SSSE3(FUNC, ...)
#endif
#if HWY_TARGETS & HWY_EMU128
#define IMPACTSIM_CASE_EMU128(FUNC, ...) \
  case HWY_EMU128:                       \
    return N_EMU128::FUNC(__VA_ARGS__);
#else
#define IMPACTSIM_CASE_EMU128(FUNC, ...)
#endif

// The fallback, plain code, is the static target: it runs everywhere.
#define IMPACTSIM_DISPATCH(FUNC, ...)                \
  switch (::impactsim::RoundKernelTarget()) {        \
    IMPACTSIM_CASE_AVX3(FUNC, __VA_ARGS__)           \
    IMPACTSIM_CASE_AVX2(FUNC, __VA_ARGS__)           \
    IMPACTSIM_CASE_SSE4(FUNC, __VA_ARGS__)           \
    IMPACTSIM_CASE_SSSE3(FUNC, __VA_ARGS__)          \
    IMPACTSIM_CASE_EMU128(FUNC, __VA_ARGS__)         \
    default:                                         \
      return HWY_STATIC_DISPATCH(FUNC)(__VA_ARGS__); \
  }
