#pragma once
// The round kernels against the plain reference models, bit for bit: whole
// simultaneous rounds, rounds after a few changes, sequential turns worked
// out ahead, and whole seeded runs. Each check runs on one kernel and over a
// table of setting combinations: every combination with step 1, or every
// step-th (a step coprime to 2 and 4, such as 5, still varies every
// setting). "ctest -L unit" runs a few on the kernel in use; "-L kernels"
// runs them all on every kernel this processor runs.

#include <cstdint>

#include "impact/certified_choice.h"
#include "model/program_profile.h"
#include "model/run_settings.h"

namespace impactsim::testing {

// The halvorn model's rounds in every combination of distance, edge, wide
// scope, remove self and summation.
void CheckRingRounds(const char* kernel, int step);

// Rounds after rounds that changed a few cells, in both programs.
void CheckRoundsAfterFewChanges(const char* kernel, int step);

// The kestane model's rounds for every distance, with and without summation.
void CheckTorusRounds(const char* kernel, int step);

// Sequential turns worked out ahead, after changes too.
void CheckRingTurnsAhead(const char* kernel, int step);
void CheckTorusTurnsAhead(const char* kernel, int step);

// Ring neighbourhoods of scopes of their own on grids of other sides, with
// walls and (where the side allows) wrapping edges: whole rounds, turns
// worked out ahead, and turn by turn where the kernels' planes would not fit.
void CheckRingSides(const char* kernel, int step);

// The torus of other sides, turn by turn; the 20 x 20 one on the kernels.
void CheckTorusSides(const char* kernel, int step);

// Both programs' models forced onto the per-turn path that serves more than
// two opinions, against the kernels: whole rounds and turns worked out ahead.
void CheckManyOpinionPath(const char* kernel, int step);

// One seeded run of the engine and of the reference program, event by
// event, with their final populations and random states, the run lasting at
// least `minRounds` (a run that settles within two rounds proves little of
// the kernels); what the engine's certified turns did.
CertifiedCounts ExpectSameRun(const ProgramProfile& engine, const ProgramProfile& reference,
                              const RunSettings& settings, std::uint32_t seed, int minRounds = 3);

// Runs built to tie exactly or nearly (symmetric starts, equal strengths,
// distance rules that make every source alike, corners) against the
// reference programs, each taking the per-turn code's path at some turns.
void CheckTieBuiltRuns();

// Whole seeded runs of the engine and of the reference programs, with two
// opinions and with more.
void CheckHalvornRuns(const char* kernel, int step);
void CheckKestaneRuns(const char* kernel, int step);

}  // namespace impactsim::testing
