#include "tests/kernel_checks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "impact/ring_impact.h"
#include "impact/torus_impact.h"
#include "programs/programs.h"
#include "tests/prepared_population.h"
#include "tests/reference/reference_impact.h"
#include "tests/reference/reference_programs.h"

namespace impactsim::testing {

namespace {

bool Failed() {
  return ::testing::Test::HasFailure();
}

// Halvorn's settings from the bits of `flags`: edge, wide scope, remove
// self, summation.
RunSettings RingSettings(const DistanceRule& distance, int flags, bool randomSeq) {
  RunSettings s = HalvornProgram().Defaults;
  s.Distance = distance;
  s.Edge = (flags & 1) != 0;
  s.WideScope = (flags & 2) != 0;
  s.RemoveSelf = (flags & 4) != 0;
  s.SummationM = (flags & 8) != 0;
  s.RandomSeq = randomSeq;
  return s;
}

// Everything a run reports that depends on the impact model's results.
class RunRecorder final : public RunObserver {
 public:
  void AppendLog(std::string_view line) override { Events.emplace_back(line); }
  void RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) override {
    std::ostringstream line;
    line << "closed " << roundNo << ' ' << changes;
    for (int k = 1; k <= kCensusCapacity; ++k) line << ' ' << census[U(k)];
    Events.push_back(line.str());
  }
  void DrawCell(int x, int y, std::uint8_t opinion) override {
    // Folded into one line per round: the order and outcome of every turn.
    cellTrace_ += static_cast<char>('0' + opinion);
    (void)x, (void)y;
  }
  void DrawProcess(std::int32_t round, const Census&, const Census&) override {
    Events.push_back("cells " + std::to_string(round) + " " + cellTrace_);
    cellTrace_.clear();
  }

  std::vector<std::string> Events;

 private:
  std::string cellTrace_;
};

struct RunRecord {
  std::vector<std::string> Events;
  Grid Final;
  std::uint32_t RandomState;
  CertifiedCounts Certified;
};

RunRecord RecordRun(const ProgramProfile& program, const RunSettings& settings,
                    std::uint32_t seed) {
  FixedClock clock(seed);
  FixedSettings source(settings);
  RunRecorder recorder;
  Simulation simulation(program, clock, source, recorder);
  simulation.Run();
  CertifiedCounts certified;
  if (const auto* ring = dynamic_cast<const RingImpact*>(&simulation.Impact())) {
    certified = ring->Certified();
  } else if (const auto* torus = dynamic_cast<const TorusImpact*>(&simulation.Impact())) {
    certified = torus->Certified();
  }
  return {std::move(recorder.Events), simulation.Model().PopulationGrid,
          simulation.Random().RandomState, certified};
}

}  // namespace

CertifiedCounts ExpectSameRun(const ProgramProfile& engine, const ProgramProfile& reference,
                              const RunSettings& settings, std::uint32_t seed, int minRounds) {
  const std::string context = Describe(settings) + " seed " + std::to_string(seed);
  const RunRecord a = RecordRun(engine, settings, seed);
  const RunRecord b = RecordRun(reference, settings, seed);
  // Start and end lines, and three events per round.
  EXPECT_GE(a.Events.size(), 2u + 3u * static_cast<std::size_t>(minRounds)) << context;
  EXPECT_EQ(a.Events.size(), b.Events.size()) << context;
  for (std::size_t i = 0; i < std::min(a.Events.size(), b.Events.size()); ++i) {
    if (a.Events[i] != b.Events[i]) {
      ADD_FAILURE() << context << " event " << i << ": " << a.Events[i] << " / " << b.Events[i];
      break;
    }
  }
  EXPECT_TRUE(a.Final == b.Final) << context;
  EXPECT_EQ(a.RandomState, b.RandomState) << context;
  return a.Certified;
}

namespace {

struct RunCase {
  std::int32_t Rounds;
  DistanceRule Distance;
  bool Edge, WideScope, RemoveSelf, SummationM, RandomSeq;
  std::uint32_t Seed;
  double Noise = 0.0;
  std::uint8_t Opinions = 2;
  std::vector<double> Shares = {};
};

RunSettings Apply(RunSettings s, const RunCase& c) {
  s.Rounds = c.Rounds;
  s.Distance = c.Distance;
  s.Edge = c.Edge;
  s.WideScope = c.WideScope;
  s.RemoveSelf = c.RemoveSelf;
  s.SummationM = c.SummationM;
  s.RandomSeq = c.RandomSeq;
  s.Noise = c.Noise;
  s.Opinions = c.Opinions;
  s.InitialShares = c.Shares;
  return s;
}

// Powers of distance the window does not offer (PortablePow's), each with a
// few settings of the other controls (RingSettings' flags): walls, a torus,
// the wide scope.
struct PowerCase {
  double Power;
  int Flags;
};
constexpr PowerCase kRingPowers[] = {{0.5, 1},      {1.5, 0},     {2.75, 1 | 2},
                                     {2.75, 2 | 4}, {0.5, 2 | 8}, {1.5, 1 | 4 | 8}};
constexpr double kTorusPowers[] = {0.5, 1.5, 2.75};

// Every (distance, flags) pair of the given whole-power items, then the
// powers of kRingPowers.
std::vector<std::pair<DistanceRule, int>> RingCombinations(std::span<const DistancePar> items) {
  std::vector<std::pair<DistanceRule, int>> all;
  for (const DistancePar item : items) {
    for (int flags = 0; flags < 16; ++flags) all.emplace_back(item, flags);
  }
  for (const PowerCase& c : kRingPowers) all.emplace_back(DistanceRule::OfPower(c.Power), c.Flags);
  return all;
}

// The items, then the powers of kTorusPowers.
std::vector<DistanceRule> TorusDistances() {
  std::vector<DistanceRule> all(std::begin(kAllDistances), std::end(kAllDistances));
  for (const double p : kTorusPowers) all.push_back(DistanceRule::OfPower(p));
  return all;
}

}  // namespace

// (A check that only compared whole runs would miss two swapped additions:
// they change a few targets' totals in their last bits, rarely a run.)
void CheckRingRounds(const char* kernel, int step) {
  const KernelChoice choice(kernel);
  int next = 0;
  for (const auto& [distance, flags] : RingCombinations(kAllDistances)) {
    const int combination = next++;
    if (combination % step != 0) continue;
    RunSettings s = RingSettings(distance, flags, false);
    s.InitialShare = kInitialDistItems[static_cast<std::size_t>(combination % 4)];
    PreparedPopulation population(
        HalvornProgram(), reference::MakeReferenceRingImpact(), s,
        1'000'033u * static_cast<std::uint32_t>(combination + 1) % kMillisecondsPerDay);
    population.ExpectSameRound(std::string(kernel) + " " + Describe(s));
    if (Failed()) return;
  }
}

// The engine works out again only the targets the changed cells reach, or
// all of them where many are reached; every target still gets the
// reference's bits.
void CheckRoundsAfterFewChanges(const char* kernel, int step) {
  const std::pair<int, int> changes[] = {{20, 20}, {1, 1}, {20, 1}, {2, 19}, {11, 20}};
  const KernelChoice choice(kernel);
  for (int flags = 0; flags < 8; ++flags) {
    if (flags % step != 0) continue;
    const bool halvorn = flags < 6;
    const ProgramProfile& program = halvorn ? HalvornProgram() : KestaneProgram();
    RunSettings s = program.Defaults;
    s.Distance = flags % 3 == 0 ? DistancePar::Nb : DistancePar::Two;
    s.Edge = halvorn && flags % 2 == 0;
    s.WideScope = flags == 5;
    s.RandomSeq = false;
    PreparedPopulation population(
        program,
        halvorn ? reference::MakeReferenceRingImpact() : reference::MakeReferenceTorusImpact(), s,
        2'020'202u + 3'331u * static_cast<std::uint32_t>(flags));
    const std::string context = std::string(kernel) + " " + Describe(s);
    population.ExpectSameRound(context);
    population.ExpectSameRound(context + " unchanged");
    for (std::size_t n = 1; n <= std::size(changes); n += 2) {
      for (std::size_t i = 0; i < n; ++i) {
        population.ChangeCellForNextRound(changes[i].first, changes[i].second);
      }
      population.ExpectSameRound(context + " after " + std::to_string(n) + " changes");
    }
    if (Failed()) return;
  }
}

void CheckTorusRounds(const char* kernel, int step) {
  const KernelChoice choice(kernel);
  int combination = 0;
  for (const DistanceRule& distance : TorusDistances()) {
    for (const bool summation : {false, true}) {
      ++combination;
      if (combination % step != 0) continue;
      RunSettings s = KestaneProgram().Defaults;
      s.Distance = distance;
      s.SummationM = summation;
      s.RandomSeq = false;
      s.InitialShare = kInitialDistItems[static_cast<std::size_t>((combination - 1) % 4)];
      PreparedPopulation population(KestaneProgram(), reference::MakeReferenceTorusImpact(), s,
                                    7'654'321u + 99'989u * static_cast<std::uint32_t>(combination));
      population.ExpectSameRound(std::string(kernel) + " " + Describe(s));
      if (Failed()) return;
    }
  }
}

// Targets anywhere (corners, borders, inner cells), also after cells changed
// (corners among them, whose copies line a torus's margins).
void CheckRingTurnsAhead(const char* kernel, int step) {
  const std::vector<std::vector<std::int32_t>> batches = {{0, 39, 1560, 1599, 820, 41, 1000, 77},
                                                          {0, 1, 2, 3, 4, 5, 6, 7},
                                                          {38, 78, 118, 158, 798, 1598, 1561, 40},
                                                          {1599},
                                                          {17, 901, 399}};
  const std::pair<int, int> changes[] = {{1, 1}, {40, 40}, {1, 40}, {21, 2}, {39, 20}, {20, 20}};
  const KernelChoice choice(kernel);
  const DistancePar items[] = {DistancePar::Nb, DistancePar::Two, DistancePar::Four};
  int next = 0;
  for (const auto& [distance, flags] : RingCombinations(items)) {
    const int combination = next++;
    if (combination % step != 0) continue;
    const RunSettings s = RingSettings(distance, flags, true);
    PreparedPopulation population(HalvornProgram(), reference::MakeReferenceRingImpact(), s,
                                  4'444'444u + 55'555u * static_cast<std::uint32_t>(combination));
    const std::string context = std::string(kernel) + " " + Describe(s);
    // Only these targets, or every cell at once where many are stale.
    const std::int32_t turnsLeft = combination % 2 == 0 ? 8 : 1600;
    for (const auto& cells : batches) population.ExpectSameTurnsAhead(cells, turnsLeft, context);
    for (const auto& [x, y] : changes) {
      population.ChangeCell(x, y);
      population.ExpectSameTurnsAhead(batches[0], 1600 - x, context + " after a change");
    }
    for (const auto& cells : batches) {
      population.ExpectSameTurnsAhead(cells, turnsLeft, context + " after changes");
    }
    if (Failed()) return;
  }
}

// Eight or fewer targets at once, anywhere on the torus (corners, a row, a
// column, scattered).
void CheckTorusTurnsAhead(const char* kernel, int step) {
  const std::vector<std::vector<std::int32_t>> batches = {{0, 19, 380, 399, 210, 7, 133, 256},
                                                          {0, 1, 2, 3, 4, 5, 6, 7},
                                                          {5, 25, 45, 65, 85, 105, 125, 145},
                                                          {399},
                                                          {17, 301, 99},
                                                          {398, 0, 377, 23, 222, 111, 44, 333}};
  const KernelChoice choice(kernel);
  int combination = 0;
  for (const DistanceRule& distance : TorusDistances()) {
    for (const bool summation : {false, true}) {
      ++combination;
      if (combination % step != 0) continue;
      RunSettings s = KestaneProgram().Defaults;
      s.Distance = distance;
      s.SummationM = summation;
      s.RandomSeq = true;
      PreparedPopulation population(KestaneProgram(), reference::MakeReferenceTorusImpact(), s,
                                    1'234'567u + 77'777u * static_cast<std::uint32_t>(combination));
      const std::string context = std::string(kernel) + " " + Describe(s);
      // One target by the per-turn code, these targets, then every cell at
      // once, each after a change.
      for (const std::int32_t turnsLeft : {2, 8, 400}) {
        for (const auto& cells : batches)
          population.ExpectSameTurnsAhead(cells, turnsLeft, context);
        population.ChangeCell(3 + turnsLeft % 7, 17);
        for (const auto& cells : batches) {
          population.ExpectSameTurnsAhead(cells, turnsLeft, context + " after a change");
        }
      }
      if (Failed()) return;
    }
  }
}

namespace {

// The engine's own model of the program, made to work every turn out by the
// path that serves more than two opinions.
std::unique_ptr<ImpactModel> ManyOpinionPath(const ProgramProfile& program) {
  if (program.HasWideScope) {
    auto model = std::make_unique<RingImpact>();
    model->UseManyOpinionPath(true);
    return model;
  }
  auto model = std::make_unique<TorusImpact>();
  model->UseManyOpinionPath(true);
  return model;
}

// One population of each setting case, simultaneous then sequential.
void ExpectManyOpinionPathAgrees(const ProgramProfile& program, RunSettings s, std::uint32_t seed,
                                 const std::string& kernel) {
  const std::int32_t side = program.GridSide;  // the corners, and a few others
  const std::vector<std::int32_t> targets = {
      0, side - 1, side * (side - 1), side * side - 1, 21, 210, 133, 256};
  for (const bool randomSeq : {false, true}) {
    s.RandomSeq = randomSeq;
    PreparedPopulation population(program, ManyOpinionPath(program), s, seed);
    const std::string context = kernel + " " + Describe(s);
    if (randomSeq) {
      population.ExpectSameTurnsAhead(targets, 400, context);
    } else {
      population.ExpectSameRound(context);
    }
  }
}

}  // namespace

// With two opinions, the path that serves more gives the kernels' bits,
// for every setting combination of both programs.
void CheckManyOpinionPath(const char* kernel, int step) {
  const KernelChoice choice(kernel);
  int next = 0;
  for (const auto& [distance, flags] : RingCombinations(kAllDistances)) {
    const int combination = next++;
    if (combination % step != 0) continue;
    ExpectManyOpinionPathAgrees(HalvornProgram(), RingSettings(distance, flags, false),
                                3'000'017u * static_cast<std::uint32_t>(combination + 1), kernel);
    if (Failed()) return;
  }
  for (const DistanceRule& distance : TorusDistances()) {
    for (const bool summation : {false, true}) {
      const int combination = next++;
      if (combination % step != 0) continue;
      RunSettings s = KestaneProgram().Defaults;
      s.Distance = distance;
      s.SummationM = summation;
      ExpectManyOpinionPathAgrees(KestaneProgram(), s,
                                  5'000'011u * static_cast<std::uint32_t>(combination + 1), kernel);
      if (Failed()) return;
    }
  }
}

// Every `step`-th case run with `kernel` by the engine and by the reference.
void ExpectSameRuns(const char* kernel, int step, const ProgramProfile& engine,
                    const ProgramProfile& reference, std::span<const RunCase> cases) {
  const KernelChoice choice(kernel);
  SCOPED_TRACE(kernel);
  for (std::size_t i = 0; i < cases.size(); i += static_cast<std::size_t>(step)) {
    ExpectSameRun(engine, reference, Apply(engine.Defaults, cases[i]), cases[i].Seed);
  }
}

// Settings under which these seeds give runs of several rounds; " 0" and
// " 1" settle in one round here and are left to the single-turn checks.
void CheckHalvornRuns(const char* kernel, int step) {
  using enum DistancePar;
  const RunCase cases[] = {
      // Rounds, distance, edge, wide, remove self, summation, random seq, seed
      // (, noise).
      {30, Two, true, false, false, false, false, 12'345'678},
      {30, Two, false, false, false, false, false, 12'345'678},
      {30, Nb, true, false, false, false, true, 12'345'678},
      {30, Nb, false, false, true, false, false, 12'345'678},
      {30, Three, true, false, true, false, false, 12'345'678},
      {10, Three, true, true, false, false, true, 12'345'678},
      {30, Four, false, false, true, true, false, 12'345'678},
      {30, Four, true, false, false, true, false, 12'345'678},
      {8, Four, false, true, true, false, true, 12'345'678},
      // Powers by PortablePow; then noise, on every path a turn takes.
      {6, DistanceRule::OfPower(2.5), true, false, false, false, false, 12'345'678},
      {6, DistanceRule::OfPower(2.25), false, true, false, false, true, 12'345'678},
      {5, Two, true, false, false, false, false, 12'345'678, 2.0},
      {6, DistanceRule::OfPower(2.75), false, false, false, false, true, 12'345'678, 0.25},
      // More than two opinions: by equal shares, by given shares, with noise.
      {20, Two, true, false, false, false, false, 12'345'678, 0.0, 3},
      {20, Nb, false, false, true, false, true, 12'345'678, 0.0, 4, {0.1, 0.2, 0.3, 0.4}},
      {10, Three, true, true, false, true, false, 12'345'678, 0.0, 16},
      {6, Two, false, false, false, false, true, 12'345'678, 0.5, 5},
  };
  ExpectSameRuns(kernel, step, HalvornProgram(), reference::ReferenceHalvornProgram(), cases);
}

// Everyone hears everyone, so "nb", " 0" and " 1" settle in one round.
void CheckKestaneRuns(const char* kernel, int step) {
  using enum DistancePar;
  const RunCase cases[] = {
      {50, Two, false, false, false, false, true, 12'345'678},
      {50, Two, false, false, false, false, false, 12'345'678},
      {50, Three, false, false, false, true, false, 12'345'678},
      {50, Three, false, false, false, false, true, 12'345'678},
      {50, Four, false, false, false, true, true, 12'345'678},
      {20, DistanceRule::OfPower(2.5), false, false, false, false, true, 12'345'678},
      {20, Two, false, false, false, false, false, 12'345'678, 1.0},
      {20, DistanceRule::OfPower(3.5), false, false, false, false, false, 12'345'678},
      {20, Three, false, false, false, false, true, 12'345'678, 1.0},
      {50, Two, false, false, false, false, true, 12'345'678, 0.0, 3},
      {50,
       Three,
       false,
       false,
       false,
       true,
       false,
       12'345'678,
       0.0,
       6,
       {0.5, 0.1, 0.1, 0.1, 0.1, 0.1}},
      {20, Two, false, false, false, false, false, 12'345'678, 1.0, 16},
  };
  ExpectSameRuns(kernel, step, KestaneProgram(), reference::ReferenceKestaneProgram(), cases);
}

}  // namespace impactsim::testing
