#pragma once
// Start files: a population written as text, for a run to start from
// ("impactsim run --start", impactsim.run(start=...)) and as a run writes
// its start or final population ("--start-out", "--population-out").
//
// The format: one line per row of the grid from the top, one character per
// cell from the left, the opinion (OpinionChar: '1'..'9', then 'a'..'g' for
// 10..16); then, optionally, a blank
// line and one line per row of space-separated "P/S" pairs, each cell's
// persuasiveness and supportiveness (0..100). Every line ends with '\n'
// (the last one may go without). The opinion lines are what "--grid-out"
// writes.

#include <cstdint>
#include <memory>
#include <string>

#include "model/grid.h"
#include "model/program_profile.h"
#include "model/run_settings.h"
#include "model/start_population.h"

namespace impactsim {

// Far more than a start file of the largest grid with strengths (about
// 1.5 MB).
inline constexpr std::uint64_t kStartFileLimit = std::uint64_t{8} << 20;

struct StartFile {
  std::shared_ptr<const StartPopulation> Population;
  std::string Sha256;  // of the file's bytes, 64 lower-case hex digits
};

// Reads the start file at `path`. Throws InputError under `key` naming the
// file, and for a fault in its text the line, for a file that cannot be
// read (missing, not a regular file, too large) or does not hold a
// population in the format above: rows of unequal length, not as many rows
// as cells in a row, a character that is no opinion 1..16, a malformed pair or a
// strength above 100, a strengths block of other than one row per row of
// opinions and one pair per cell.
StartFile ReadStartFile(const std::string& path, const std::string& key = "start");

// Makes `start` the population of the run: throws InputError (under `key`,
// naming the population as `source` does: a quoted path, "the arrays")
// when its side is not the run's grid side, when the settings ask for an
// initial count (the opinions are given), or when the strengths are to be
// taken from it (Given) and it holds none.
void SetStart(const ProgramProfile& program, std::shared_ptr<const StartPopulation> start,
              const std::string& source, const std::string& key, RunSettings& settings);

// The character of opinion 1..16 in a start file: '1'..'9', then 'a'..'g'.
char OpinionChar(std::uint8_t opinion);

// The population as a start file holds it: the opinions, and with
// `strengths` a blank line and the "P/S" pairs.
std::string PopulationText(const Grid& population, bool strengths);

}  // namespace impactsim
