#pragma once
// What a run did, as the run driver decided it: how many rounds it made, which
// stop tests fired, the census at its start and end, and its changes summed
// up. Front ends report it; none of them re-derives it. Its size does not
// grow with the rounds: a front end that wants every round's changes takes
// them from the observer as the rounds close.

#include <cstdint>
#include <optional>
#include <string>

#include "model/cycle_watch.h"
#include "model/grid.h"

namespace impactsim {

// The stop tests that fired after the last round; several can fire at once.
struct StopReasons {
  bool Rounds = false;     // the last round reached the rounds setting
  bool Quiet = false;      // no change in the last round nor in the one before
  bool Unanimity = false;  // one opinion holds every cell
  // Only where the run's pattern was watched: the pattern repeats with a
  // period of 2 or more, and either the run was told to stop on such a cycle
  // or the round limit ended it.
  bool Cycle = false;

  bool Any() const { return Rounds || Quiet || Unanimity || Cycle; }
  // "rounds", "quiet", "unanimity", "cycle", joined by '+' in that order.
  std::string Text() const;
  friend bool operator==(const StopReasons&, const StopReasons&) = default;
};

struct RunResult {
  StopReasons Stop;
  Census StartCensus{};  // when the run started (round 0)
  Census EndCensus{};    // after the last round
  std::int32_t RoundsRun = 0;
  // The last round in which a cell changed its opinion; 0 if none did.
  std::int32_t LastChangeRound = 0;
  std::int64_t TotalChanges = 0;  // opinion changes over the whole run
  bool Wraps = false;             // the grid was a torus (no walls)
  // The run was told to stop (RunSeeded's `cancel`) and stopped after round
  // RoundsRun, before any stop test ended it: Stop names none, and nothing
  // about it is the result of a whole run.
  bool Cancelled = false;
  // Where the run's pattern was watched: its repetition after the last round.
  std::optional<PatternCycle> Repetition;
};

}  // namespace impactsim
