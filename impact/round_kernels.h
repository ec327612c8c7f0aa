#pragma once
// Which compiled version of the round kernels the impact models use: the
// widest instruction set this processor runs, chosen once, or the one a test
// or benchmark forces so that every version can be compared on one machine.
// Every version gives the same bits.

#include <span>
#include <vector>

#include "model/impact_model.h"

namespace impactsim {

enum class RoundKernel { Avx512, Avx2, Scalar };

// The versions, widest first: "avx512", "avx2", and "scalar" (the per-turn
// code, turn after turn; it runs everywhere).
std::vector<const char*> RoundKernels();

// Whether this processor runs the named version.
bool RoundKernelRuns(const char* name);

// The version in use.
RoundKernel ChosenRoundKernel();

// Uses the named version from now on (nullptr: the widest that runs). Throws
// std::logic_error for a version this processor cannot run. Not thread-safe:
// for tests and benchmarks, before runs start.
void ForceRoundKernel(const char* name);

// A round's impacts cell by cell through ComputeImpact: what the round
// kernels stand for where the processor has none.
void RoundTurnByTurn(ImpactModel& impact, const ModelState& model, std::span<ImpactVector> impacts,
                     std::span<SourceCount> sources);

}  // namespace impactsim
