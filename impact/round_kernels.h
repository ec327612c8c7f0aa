#pragma once
// Which compiled version of the round kernels the impact models use. The
// kernels are compiled once per instruction set Highway targets; the widest
// this processor runs is chosen at the first call, unless a test or
// benchmark forces another so that every version can be compared on one
// machine. Every version gives the same bits.

#include <vector>

namespace impactsim {

// The versions, widest first, by lower-case name: "avx3" (AVX-512), "avx2",
// "sse4", "ssse3", "emu128" (plain code in 128-bit steps; it runs
// everywhere).
std::vector<const char*> RoundKernels();

// Whether this processor runs the named version.
bool RoundKernelRuns(const char* name);

// The name of the version in use.
const char* ChosenRoundKernel();

// Uses the named version from now on (nullptr: the widest that runs). Throws
// std::logic_error for a version this processor cannot run. Not thread-safe:
// for tests and benchmarks, before runs start.
void ForceRoundKernel(const char* name);

}  // namespace impactsim
