#pragma once
// The settings no run can have, refused before anything runs: each value a
// setting takes is valid alone, but some combinations are not.

#include <string>

#include "model/program_profile.h"
#include "model/run_settings.h"
#include "sweep/sweep_plan.h"

namespace impactsim {

// Throws InputError for settings the program cannot run: more cells of
// opinion 2 than the grid has, a count of them with more than two opinions,
// initial shares other than one per opinion, a start population holding an
// opinion above the run's (under "start", naming `startFile`, the quoted
// path the population was read from, with the line and column of the first
// such cell; empty: the opinions' array, with its index), strengths taken
// from a start population the settings do not hold, or a ring
// neighbourhood that reaches half-way round a torus (where a source would
// be met from both sides).
void CheckRunSettings(const ProgramProfile& program, const RunSettings& settings,
                      const std::string& startFile = {});

// The same for every task of the plan. Also refuses a scope list given with
// a wide-scope list, and writes a scope list that holds only the programs'
// own scopes as the wide-scope list it stands for, so that the sweep is the
// one the windows' settings make.
void ResolveScopes(SweepPlan& plan);

// Refuses an initial share of opinion 2 given with initial shares or with
// more than two opinions (in a plan: a list of them), and writes two
// shares at two opinions as the share of opinion 2 they stand for, so that
// such a run (a sweep: every setting list) is the one --initial-dist gives.
void ResolveShares(RunSettings& settings, bool initialDistGiven);
void ResolveShares(SweepPlan& plan);
void CheckSettingCombinations(const SweepPlan& plan);

}  // namespace impactsim
