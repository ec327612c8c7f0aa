// Seeds spread over the day: the seeds a spread stands for, which sweep
// descriptions record by their text, and the start populations they build.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "model/simulation.h"
#include "programs/programs.h"
#include "sweep/spread_seeds.h"
#include "sweep/sweep_description.h"
#include "sweep/sweep_plan.h"

namespace impactsim {
namespace {

SeedList SeedsOf(const std::string& spread) {
  SeedList seeds;
  seeds.Append(ParseSpread(spread).value());
  return seeds;
}

// Stored once: recorded command lines rebuild their seeds from these texts.
TEST(SeedSpread, GivesTheSeedsItAlwaysGave) {
  struct Row {
    const char* text;
    std::uint32_t index, seed;
  };
  const Row rows[] = {
      {"spread:1", 0, 64778248},
      {"spread:10", 0, 958913},
      {"spread:10", 9, 78660896},
      {"spread:10:0", 9, 78660896},
      {"spread:5:7", 0, 4731290},
      {"spread:5:7", 4, 83200315},
      {"spread:1000", 0, 83022},
      {"spread:1000", 999, 86371024},
      {"spread:1000:4294967295", 500, 43258981},
      {"spread:86400000", 12345, 12345},
      {"spread:86400000", 86399999, 86399999},
      {"spread:86399999", 86399998, 86399999},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(SeedsOf(r.text).At(r.index), r.seed) << r.text << " seed " << r.index;
  }
}

// A spread's seeds ascend, one in each part of the day, so that runs of
// consecutive seeds are what they are when the seeds are listed one by one:
// the sweep's identity does not tell them apart.
TEST(SeedSpread, SeedsAscendAndHashAsTheSameSeedsListed) {
  for (const char* text : {"spread:1", "spread:7:3", "spread:1000", "spread:100000"}) {
    const SeedList spread = SeedsOf(text);
    SeedList listed;
    std::int64_t before = -1;
    for (std::uint64_t i = 0; i < spread.Count(); ++i) {
      const std::uint32_t seed = spread.At(i);
      ASSERT_GT(std::int64_t{seed}, before) << text << " seed " << i;
      before = seed;
      listed.Append(seed, seed);
    }
    EXPECT_LT(before, std::int64_t{kMillisecondsPerDay}) << text;
    SweepPlan a, b;
    a.Programs = b.Programs = {&HalvornProgram()};
    a.Seeds = spread;
    b.Seeds = listed;
    EXPECT_EQ(SweepIdentity(a, RowFormat::Csv, {}), SweepIdentity(b, RowFormat::Csv, {})) << text;
  }
  // Every seed of the day: one run, as 0-86399999 is.
  std::vector<SeedList::Range> runs;
  SeedsOf("spread:86400000").ForEachRun([&runs](const SeedList::Range& r) { runs.push_back(r); });
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].First, 0u);
  EXPECT_EQ(runs[0].Last, kMillisecondsPerDay - 1);
}

// The largest distance, in standard deviations, of a cell's share of
// minority starts from the share the builds draw: halvorn at its default
// share 0.3, one build per seed.
double WorstCellDeviation(const SeedList& seeds) {
  const ProgramProfile& program = HalvornProgram();
  FixedSettings settings(program.Defaults);
  std::vector<int> minority(static_cast<std::size_t>(program.CellTotal), 0);
  for (std::uint64_t i = 0; i < seeds.Count(); ++i) {
    FixedClock clock(seeds.At(i));
    RunObserver quiet;
    Simulation sim(program, clock, settings, quiet);
    sim.DefaultValues();
    const Grid& grid = sim.Model().PopulationGrid;
    for (int y = 1; y <= program.GridSide; ++y) {
      for (int x = 1; x <= program.GridSide; ++x) {
        minority[grid.Index(x, y)] += grid.At(x, y).Opinion == 2 ? 1 : 0;
      }
    }
  }
  const double n = static_cast<double>(seeds.Count());
  const double share = 0.3;
  const double sigma = std::sqrt(share * (1 - share) / n);
  double worst = 0;
  for (const int count : minority) worst = std::max(worst, std::abs(count / n - share) / sigma);
  return worst;
}

// A thousand seeds evenly spaced start their runs' draws a fixed step
// apart: some cells of their start populations are far more or less often
// in the minority than the share says. Spread seeds stay within the
// binomial spread.
TEST(SeedSpread, StartPopulationsHaveNoPatternEvenlySpacedSeedsGive) {
  struct Row {
    const char* spread;         // or nullptr: 1000 seeds from first, step apart
    std::uint32_t first, step;  //
    bool patterned;
  };
  const Row rows[] = {{nullptr, 0, 1, true},
                      {nullptr, 5'000'000, 86'400, true},
                      {"spread:1000", 0, 0, false},
                      {"spread:1000:1", 0, 0, false}};
  for (const Row& r : rows) {
    SeedList seeds;
    if (r.spread != nullptr) {
      seeds = SeedsOf(r.spread);
    } else {
      for (std::uint32_t i = 0; i < 1000; ++i) {
        const std::uint32_t seed = (r.first + i * r.step) % kMillisecondsPerDay;
        seeds.Append(seed, seed);
      }
    }
    EXPECT_EQ(WorstCellDeviation(seeds) > 5.5, r.patterned)
        << (r.spread != nullptr
                ? r.spread
                : "seeds " + std::to_string(r.first) + " step " + std::to_string(r.step));
  }
}

}  // namespace
}  // namespace impactsim
