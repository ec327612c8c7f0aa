#pragma once
// One headless run: the log on stdout, the census and the final grid in files.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "model/grid.h"
#include "model/random_source.h"
#include "sweep/run_options.h"

namespace impactsim::cli {

// Lines of the census file: the round, its changes and the cells of each
// opinion 1..opinions (2..kMaxOpinions), so two opinions give
// "round,changes,opinion1,opinion2".
std::string CensusHeader(int opinions);
std::string CensusRow(std::int32_t round, std::int32_t changes, const Census& census, int opinions);

// The final opinions: one line per row, row 1 first, x from the left, one
// character per cell as a start file holds it (OpinionChar).
std::string GridText(const Grid& population);

// Carries out a checked request. Creates the output files' temporary files
// first and throws InputError if one cannot be created, before anything is
// written. Then reads the seed (from the request, or from systemClock once),
// writes "seed: N" to err, runs, streams the log lines to out (and the census
// and series lines to their temporary files) round by round and finally
// puts the output files in place. Pictures are drawn by the picture part,
// loaded before the seed is read. Returns kExitOk, or kExitFailed after
// reporting a picture part that could not be loaded (nothing written) or an
// output that could not be written. A signal that asks the runs to stop
// (StopRunsOnSignal, in force meanwhile) ends the run after its round:
// nothing is put in place, and kExitFailed is returned without a report, for
// the caller to end as the signal demands (EndIfStopRequested).
int ExecuteRun(const RunRequest& request, Clock& systemClock, std::ostream& out, std::ostream& err);

}  // namespace impactsim::cli
