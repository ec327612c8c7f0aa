#pragma once
// Watches a run's opinion pattern (every cell's opinion) round by round and
// tells whether the latest pattern repeats an earlier one: a run that has
// come to rest repeats the last round's pattern (period 1); one that "blinks"
// returns to a pattern every 2 or more rounds.

#include <array>
#include <cstdint>
#include <vector>

#include "model/grid.h"

namespace impactsim {

// The repetition found at the end of a run.
struct PatternCycle {
  std::int32_t Period = 0;  // 0: the last pattern repeats none of the 64 before it
  std::int32_t Start = 0;   // the first round from which every pattern repeats, if Period > 0
  friend bool operator==(const PatternCycle&, const PatternCycle&) = default;
};

// Called by the run driver once at the start of a run (round 0) and once
// after each round, in order; holds the last kLongestPeriod + 1 patterns and,
// for every period p, how many consecutive latest rounds repeat the pattern p
// rounds before them. Each call costs one pass over the grid plus a hash
// comparison per period (a full comparison only where the hashes agree).
class CycleWatch {
 public:
  static constexpr std::int32_t kLongestPeriod = 64;

  void Record(std::int32_t round, const Grid& population);

  // The smallest period p (1..64) for which the latest pattern equals the
  // one p rounds earlier, and the first round of the repetition; Period 0
  // when there is none.
  PatternCycle Latest() const;

  // How many times over the latest pattern's cycle has been gone through
  // again after it was first shown: whole periods of repeating rounds.
  std::int32_t Repeats() const;

 private:
  static constexpr std::size_t kSlots = kLongestPeriod + 1;

  std::int32_t round_ = -1;
  std::array<std::vector<std::uint8_t>, kSlots> patterns_;
  std::array<std::uint64_t, kSlots> hashes_{};
  // run_[p]: the latest rounds, counted back, whose pattern equals the one p
  // rounds before them.
  std::array<std::int32_t, kLongestPeriod + 1> run_{};
};

}  // namespace impactsim
