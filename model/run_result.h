#pragma once
// What a run did, as the run driver decided it: how many rounds it made, which
// stop tests fired, the census at its start and end, and the changes of every
// round. Front ends report it; none of them re-derives it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
  Census StartCensus{};               // when the run started (round 0)
  Census EndCensus{};                 // after the last round
  std::vector<std::int32_t> Changes;  // Changes[r - 1]: opinion changes in round r
  bool Wraps = false;                 // the grid was a torus (no walls)
  // Where the run's pattern was watched: its repetition after the last round.
  std::optional<PatternCycle> Repetition;

  std::int32_t RoundsRun() const { return static_cast<std::int32_t>(Changes.size()); }
  // The last round in which a cell changed its opinion; 0 if none did.
  std::int32_t LastChangeRound() const;
  // Opinion changes over the whole run.
  std::int64_t TotalChanges() const;
};

}  // namespace impactsim
