#pragma once
// Which compiled version of the round kernels the impact models use. The
// kernels are compiled by Highway once per instruction set; the widest this
// processor runs is chosen here, from the same instruction lists Highway
// compiles each version with, unless a test or benchmark forces another so
// that every version can be compared on one machine. Every version gives the
// same bits. (Highway's own run-time library is not linked: its start-up
// timing costs every process several milliseconds, and runs an instruction
// valgrind does not know.)

#include <vector>

namespace impactsim {

// The versions, widest first, by Highway's target names in lower case: on
// x86-64 "avx3" (AVX-512), "avx2", "sse4", "ssse3" and "scalar" (plain code,
// one lane; it runs everywhere).
std::vector<const char*> RoundKernels();

// Whether this processor runs the named version.
bool RoundKernelRuns(const char* name);

// The name of the version in use.
const char* ChosenRoundKernel();

// Called by the impact models as they prepare a run: the first call applies
// the environment's IMPACTSIM_KERNEL, if set, as ForceRoundKernel would (a
// narrower version than the processor's widest, for tools such as valgrind
// that do not know every instruction set); it throws std::runtime_error for
// a version this processor cannot run.
void ChooseRoundKernel();

// Uses the named version from now on (nullptr: the widest that runs). Throws
// std::logic_error for a version this processor cannot run. Not thread-safe:
// for tests and benchmarks, before runs start.
void ForceRoundKernel(const char* name);

}  // namespace impactsim
