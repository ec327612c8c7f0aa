#include "model/cycle_watch.h"

#include <algorithm>
#include <cstring>

namespace impactsim {

namespace {

std::size_t SlotOf(std::int32_t round, std::size_t slots) {
  return static_cast<std::size_t>(round) % slots;
}

}  // namespace

void CycleWatch::Record(std::int32_t round, const Grid& population) {
  round_ = round;
  const std::size_t slot = SlotOf(round, kSlots);
  std::vector<std::uint8_t>& pattern = patterns_[slot];
  pattern.resize(static_cast<std::size_t>(population.Total()));
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = population.Data()[i].Opinion;
  // FNV-1a over the opinions eight at a time: equal patterns hash alike, so
  // only a hash match needs the full comparison.
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  std::size_t i = 0;
  for (; i + 8 <= pattern.size(); i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, pattern.data() + i, 8);
    hash = (hash ^ word) * 0x100000001b3ULL;
  }
  for (; i < pattern.size(); ++i) hash = (hash ^ pattern[i]) * 0x100000001b3ULL;
  hashes_[slot] = hash;
  for (std::int32_t p = 1; p <= kLongestPeriod; ++p) {
    const auto pi = static_cast<std::size_t>(p);
    if (p > round) {
      run_[pi] = 0;
      continue;
    }
    const std::size_t earlier = SlotOf(round - p, kSlots);
    const bool same = hashes_[earlier] == hash && patterns_[earlier] == pattern;
    run_[pi] = same ? run_[pi] + 1 : 0;
  }
}

PatternCycle CycleWatch::Latest() const {
  for (std::int32_t p = 1; p <= kLongestPeriod; ++p) {
    const std::int32_t run = run_[static_cast<std::size_t>(p)];
    // Rounds round_ - run + 1 .. round_ each repeat the pattern p rounds
    // earlier, so the repetition starts p rounds before the first of them.
    if (run > 0) return {p, round_ - run - p + 1};
  }
  return {};
}

std::int32_t CycleWatch::Repeats() const {
  const PatternCycle cycle = Latest();
  return cycle.Period == 0 ? 0 : run_[static_cast<std::size_t>(cycle.Period)] / cycle.Period;
}

}  // namespace impactsim
