#pragma once
// Which compiled version of the round kernels the impact models use. The
// kernels are compiled by Highway once per instruction set; the widest this
// processor runs is chosen here, from the same instruction lists Highway
// compiles each version with, unless a program's start-up, a test or a
// benchmark chooses another so that every version can be compared on one
// machine. Every version gives the same bits. (Highway's own run-time library
// is not linked: its start-up timing costs every process several
// milliseconds, and runs an instruction valgrind does not know.)

#include <optional>
#include <string>
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

// Uses the named version from now on (nullptr: the widest that runs). Throws
// std::logic_error for a version this processor cannot run. Not thread-safe:
// for tests and benchmarks, before runs start.
void ForceRoundKernel(const char* name);

// Applies the environment's IMPACTSIM_KERNEL, if set and not empty, as
// ForceRoundKernel would: a narrower version than the processor's widest,
// for tools such as valgrind that do not know every instruction set. Returns
// the problem, as one line without a program's prefix, where the name is not
// a version this processor runs; the choice is then left as it was. The
// models never read the environment themselves: the programs and the Python
// module call this once as they start, before any run.
std::optional<std::string> ApplyKernelFromEnvironment();

}  // namespace impactsim
