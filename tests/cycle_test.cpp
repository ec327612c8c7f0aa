// Repetitions of a run's opinion pattern: the watch on hand-made pattern
// sequences, and watched runs against a brute-force search of every round's
// pattern.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "model/cycle_watch.h"
#include "model/seeded_run.h"
#include "model/simulation.h"
#include "model/spatial_measures.h"
#include "programs/programs.h"
#include "tests/recording_observer.h"

namespace impactsim {
namespace {

// A 3 x 3 grid whose opinions spell the bits of `pattern` (512 patterns).
Grid PatternGrid(int pattern) {
  Grid grid(3);
  for (int i = 0; i < 9; ++i) {
    grid.At(i % 3 + 1, i / 3 + 1).Opinion = static_cast<std::uint8_t>(1 + ((pattern >> i) & 1));
  }
  return grid;
}

struct SequenceCase {
  std::string name;
  std::vector<int> patterns;  // round 0, 1, ...
  PatternCycle expected;
  std::int32_t repeats;
};

class CycleWatchTest : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(CycleWatchTest, FindsTheSmallestPeriodAndWhereItStarts) {
  const SequenceCase& c = GetParam();
  CycleWatch watch;
  for (std::size_t r = 0; r < c.patterns.size(); ++r) {
    watch.Record(static_cast<std::int32_t>(r), PatternGrid(c.patterns[r]));
  }
  EXPECT_EQ(watch.Latest().Period, c.expected.Period);
  if (c.expected.Period > 0) {
    EXPECT_EQ(watch.Latest().Start, c.expected.Start);
  }
  EXPECT_EQ(watch.Repeats(), c.repeats);
}

std::vector<int> Count(int from, int to) {  // distinct patterns from..to-1
  std::vector<int> v;
  for (int p = from; p < to; ++p) v.push_back(p);
  return v;
}

std::vector<int> With(std::vector<int> v, std::initializer_list<int> tail) {
  v.insert(v.end(), tail);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, CycleWatchTest,
    ::testing::Values(
        SequenceCase{"only_the_start", {5}, {0, 0}, 0},
        SequenceCase{"rest_from_the_start", {5, 5}, {1, 0}, 1},
        SequenceCase{"rest_after_changes", {1, 2, 3, 3, 3}, {1, 2}, 2},
        // At rest, every period repeats; the smallest is the one reported.
        SequenceCase{"rest_is_period_one_not_two", {4, 4, 4, 4, 4}, {1, 0}, 4},
        SequenceCase{"blink_from_the_start", {1, 2, 1, 2}, {2, 0}, 1},
        SequenceCase{"blink_after_a_transient", {7, 9, 1, 2, 1, 2, 1}, {2, 2}, 1},
        SequenceCase{"half_a_blink_is_not_a_whole_repeat", {7, 1, 2, 1}, {2, 1}, 0},
        SequenceCase{"period_three", {1, 2, 3, 1, 2, 3, 1}, {3, 0}, 1},
        SequenceCase{"a_broken_cycle_counts_from_the_break", {1, 2, 1, 3, 1, 3}, {2, 2}, 1},
        SequenceCase{"no_repetition", {1, 2, 3}, {0, 0}, 0},
        // A return to the pattern 64 rounds back is found, 65 is too far.
        SequenceCase{"period_sixty_four", With(Count(0, 64), {0}), {64, 0}, 0},
        SequenceCase{"period_sixty_five_is_not_seen", With(Count(0, 65), {0}), {0, 0}, 0},
        // The ring of kept patterns wraps many times in a long run.
        SequenceCase{
            "blink_after_three_hundred_rounds", With(Count(0, 300), {1, 0, 1, 0, 1}), {2, 300}, 1}),
    [](const auto& sequence) { return sequence.param.name; });

// Every round's pattern, for the brute-force search.
class PatternRecorder final : public RunObserver {
 public:
  void RoundPopulation(std::int32_t, const Grid& population) override {
    patterns.push_back(OpinionsOf(population));
  }
  std::vector<std::vector<std::uint8_t>> patterns;
};

// The smallest p <= 64 with pattern(last) == pattern(last - p), and the
// earliest round s from which pattern(t) == pattern(t - p) for all t >= s + p.
PatternCycle BruteForce(const std::vector<std::vector<std::uint8_t>>& patterns) {
  const auto last = static_cast<std::int32_t>(patterns.size()) - 1;
  for (std::int32_t p = 1; p <= 64 && p <= last; ++p) {
    const auto at = [&patterns](std::int32_t r) { return patterns[static_cast<std::size_t>(r)]; };
    if (at(last) != at(last - p)) continue;
    std::int32_t s = last - p;
    while (s > 0 && at(s - 1) == at(s - 1 + p)) --s;
    return {p, s};
  }
  return {};
}

struct RunCase {
  const char* name;
  const ProgramProfile& program;
  std::uint32_t seed;
  int initialDistIndex;  // 0: 0.4, 1: 0.3
  DistancePar distance;
  PatternCycle expected;  // what a researcher saw in these runs
};

// Runs that blink (period 2) and runs that come to rest, watched by the
// driver and searched by brute force over every round's pattern.
TEST(WatchedRuns, AgreeWithABruteForceSearch) {
  const RunCase cases[] = {
      {"halvorn_nb_blinks", HalvornProgram(), 8, 1, DistancePar::Nb, {2, 27}},
      {"kestane_blinks", KestaneProgram(), 77, 0, DistancePar::Two, {2, 4}},
      {"halvorn_default_rests", HalvornProgram(), 12345000, 1, DistancePar::Two, {1, -1}},
      {"kestane_default_rests", KestaneProgram(), 1, 1, DistancePar::Two, {1, -1}},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunSettings settings = c.program.Defaults;
    settings.InitialShare = kInitialDistItems[static_cast<std::size_t>(c.initialDistIndex)];
    settings.Distance = c.distance;
    PatternRecorder recorder;
    const SeededRun run = RunSeeded(c.program, c.seed, settings, recorder, 0);
    ASSERT_TRUE(run.Result.Repetition.has_value());
    const PatternCycle found = BruteForce(recorder.patterns);
    EXPECT_EQ(*run.Result.Repetition, found);
    EXPECT_EQ(found.Period, c.expected.Period);
    if (c.expected.Start >= 0) {
      EXPECT_EQ(found.Start, c.expected.Start);
    }
    EXPECT_EQ(run.Result.Stop.Cycle, found.Period >= 2);
  }
}

// Watching changes nothing of the run itself; asked to, it ends a blinking
// run once the cycle has come round N times, and says so.
TEST(WatchedRuns, StopOnCycleEndsABlinkingRunOnly) {
  RunSettings settings = HalvornProgram().Defaults;
  settings.InitialShare = 0.3;
  settings.Distance = DistancePar::Nb;
  testing::RecordingObserver plainRounds, watchedRounds;
  const SeededRun plain = RunSeeded(HalvornProgram(), 8, settings, plainRounds);
  const SeededRun watched = RunSeeded(HalvornProgram(), 8, settings, watchedRounds, 0);
  EXPECT_FALSE(plain.Result.Repetition.has_value());
  EXPECT_EQ(plain.Result.Stop.Text(), "rounds");
  EXPECT_EQ(watched.Result.Stop.Text(), "rounds+cycle");
  EXPECT_EQ(watchedRounds.changeCounts, plainRounds.changeCounts);
  EXPECT_EQ(watched.Population, plain.Population);

  // The cycle starts at round 27: rounds 29 and 30 repeat 27 and 28 once.
  const std::map<std::int32_t, std::int32_t> roundsFor = {{1, 30}, {3, 34}, {200, 428}};
  for (const auto& [repeats, rounds] : roundsFor) {
    testing::RecordingObserver stoppedRounds;
    const SeededRun stopped = RunSeeded(HalvornProgram(), 8, settings, stoppedRounds, repeats);
    EXPECT_EQ(stopped.Result.RoundsRun, rounds) << repeats;
    EXPECT_EQ(stopped.Result.Stop.Text(), "cycle") << repeats;
    EXPECT_EQ(stopped.Result.Repetition, (PatternCycle{2, 27}));
    const std::vector<std::int32_t> prefix(plainRounds.changeCounts.begin(),
                                           plainRounds.changeCounts.begin() + rounds);
    EXPECT_EQ(stoppedRounds.changeCounts, prefix) << repeats;
  }
  // A run that comes to rest stops as it always does, not on a "cycle".
  const RunSettings defaults = HalvornProgram().Defaults;
  testing::RecordingObserver restRounds, restWatchedRounds;
  const SeededRun rest = RunSeeded(HalvornProgram(), 12345000, defaults, restRounds);
  const SeededRun restWatched =
      RunSeeded(HalvornProgram(), 12345000, defaults, restWatchedRounds, 1);
  EXPECT_EQ(restWatchedRounds.changeCounts, restRounds.changeCounts);
  EXPECT_EQ(restWatched.Result.RoundsRun, rest.Result.RoundsRun);
  EXPECT_EQ(restWatched.Result.Stop.Text(), rest.Result.Stop.Text());
}

}  // namespace
}  // namespace impactsim
