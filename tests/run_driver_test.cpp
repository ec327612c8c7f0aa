#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <set>

#include "model/seeded_run.h"
#include "model/simulation.h"
#include "programs/programs.h"
#include "tests/recording_observer.h"

namespace impactsim {
namespace {

using testing::RecordingObserver;

// Fake impact models with known outcomes, for testing the driver alone.
// Each favours one opinion per cell without touching the random source.
class Flipper final : public ImpactModel {  // every cell changes every turn
 public:
  void Prepare(const RunSettings&, ModelState&) override {}
  void ComputeImpact(const ModelState& m, int x, int y, ImpactVector& v, SourceCount&) override {
    v[m.PopulationGrid.At(x, y).Opinion == 1 ? 2 : 1] = 1.0;
  }
};
class Stubborn final : public ImpactModel {  // no cell ever changes
 public:
  void Prepare(const RunSettings&, ModelState&) override {}
  void ComputeImpact(const ModelState& m, int x, int y, ImpactVector& v, SourceCount&) override {
    v[m.PopulationGrid.At(x, y).Opinion] = 1.0;
  }
};
class Unanimous final : public ImpactModel {  // everyone turns to opinion 1
 public:
  void Prepare(const RunSettings&, ModelState&) override {}
  void ComputeImpact(const ModelState&, int, int, ImpactVector& v, SourceCount&) override {
    v[1] = 1.0;
  }
};
// Changes half the cells in the first round of a run, none afterwards.
class OneRoundOfChange final : public ImpactModel {
 public:
  void Prepare(const RunSettings&, ModelState&) override { calls_ = 0; }
  void ComputeImpact(const ModelState& m, int x, int y, ImpactVector& v, SourceCount&) override {
    const int total = m.CellTotal();
    const bool firstRound = calls_++ < total;
    const std::uint8_t own = m.PopulationGrid.At(x, y).Opinion;
    const bool flip = firstRound && (x + y) % 2 == 0;
    v[flip ? 3 - own : own] = 1.0;
  }

 private:
  int calls_ = 0;
};

template <class Model>
std::unique_ptr<ImpactModel> Make() {
  return std::make_unique<Model>();
}

ProgramProfile WithImpact(const ProgramProfile& base, std::unique_ptr<ImpactModel> (*make)()) {
  ProgramProfile profile = base;
  profile.MakeImpactModel = make;
  return profile;
}

struct Run {
  Run(const RunSettings& s, std::uint32_t seed) : settings(s), clock(seed) {}
  FixedSettings settings;
  FixedClock clock;
  RecordingObserver observer;
  std::unique_ptr<Simulation> sim;
  RunResult result;
};

std::unique_ptr<Run> RunOnce(const ProgramProfile& profile, RunSettings settings,
                             std::uint32_t seed, bool followTurns = true) {
  auto run = std::make_unique<Run>(settings, seed);
  run->observer.follows = followTurns;
  run->sim = std::make_unique<Simulation>(profile, run->clock, run->settings, run->observer);
  run->result = run->sim->Run();
  return run;
}

// Each case ends by its own stop tests; the log shows every round, and the
// run's result says what the driver decided: the rounds made, which tests
// fired, the changes of every round and the census at start and end.
TEST(run_driver_test, stop_tests_log_lines_and_result) {
  const ProgramProfile flipper = WithImpact(HalvornProgram(), &Make<Flipper>);
  const ProgramProfile stubborn = WithImpact(HalvornProgram(), &Make<Stubborn>);
  const ProgramProfile unanimous = WithImpact(KestaneProgram(), &Make<Unanimous>);
  const ProgramProfile oneRound = WithImpact(HalvornProgram(), &Make<OneRoundOfChange>);

  struct Case {
    const char* name;
    const ProgramProfile* profile;
    std::int32_t rounds;
    bool sequential;
    std::vector<int> changes;  // per round; the run stops after the last
    const char* stop;
  };
  const std::vector<int> fifty(50, 1600);
  const Case cases[] = {
      {"round limit: 50 rounds, 52 lines", &flipper, 50, false, fifty, "rounds"},
      {"round limit of 1", &flipper, 1, true, {1600}, "rounds"},
      {"a quiet first round ends the run", &stubborn, 500, false, {0}, "quiet"},
      {"later, two quiet rounds are needed", &oneRound, 500, false, {800, 0, 0}, "quiet"},
      {"round limit and two quiet rounds together",
       &oneRound,
       3,
       true,
       {800, 0, 0},
       "rounds+quiet"},
      {"unanimity ends the run after its round", &unanimous, 50, true, {-1}, "unanimity"},
      {"unanimity and round limit together", &unanimous, 1, false, {-1}, "rounds+unanimity"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunSettings settings = c.profile->Defaults;
    settings.Rounds = c.rounds;
    settings.RandomSeq = c.sequential;
    auto run = RunOnce(*c.profile, settings, 4242);
    std::vector<int> changes = c.changes;
    if (changes == std::vector<int>{-1}) {
      changes = {run->observer.startCensus[2]};  // every opinion-2 cell turns
    }
    std::vector<std::string> expected = {"0 : "};
    for (std::size_t r = 0; r < changes.size(); ++r) {
      expected.push_back(RoundLine(static_cast<int>(r + 1), changes[r]));
    }
    expected.emplace_back(kEndOfJobLine);
    EXPECT_EQ(run->observer.log, expected);
    EXPECT_EQ(run->observer.round, static_cast<int>(changes.size())) << "last round shown";
    EXPECT_EQ(run->observer.iteration, c.profile->CellTotal) << "last iteration shown";

    const RunResult& result = run->result;
    EXPECT_EQ(result.RoundsRun, static_cast<int>(changes.size()));
    EXPECT_EQ(result.Stop.Text(), c.stop);
    EXPECT_FALSE(result.Cancelled);
    EXPECT_EQ(run->observer.changeCounts, std::vector<std::int32_t>(changes.begin(), changes.end()))
        << "each round's changes as it closes";
    std::int64_t total = 0;
    std::int32_t last = 0;
    for (std::size_t r = 0; r < changes.size(); ++r) {
      total += changes[r];
      if (changes[r] != 0) last = static_cast<std::int32_t>(r + 1);
    }
    EXPECT_EQ(result.TotalChanges, total);
    EXPECT_EQ(result.LastChangeRound, last);
    EXPECT_EQ(result.StartCensus, run->observer.startCensus);
    EXPECT_EQ(result.EndCensus, run->sim->Model().OpinionCensus);
    EXPECT_EQ(result.Wraps, !c.profile->HasEdge);
  }
}

// Sets a cancel flag once round `at` has begun (0: before the run).
struct CancellingObserver : RecordingObserver {
  explicit CancellingObserver(std::int32_t setIn) : at(setIn), flag(setIn == 0) {}
  void ShowRound(std::int32_t r) override {
    RecordingObserver::ShowRound(r);
    if (r == at) flag = true;
  }
  std::int32_t at;
  std::atomic<bool> flag;
};

// A cancel flag ends the run after the round in which it is seen set, as a
// round limit would, but the result says it was cancelled and the log does
// not end normally; a stop test that fires in the same round wins.
TEST(run_driver_test, a_cancel_flag_stops_the_run_after_its_round) {
  const ProgramProfile flipper = WithImpact(HalvornProgram(), &Make<Flipper>);
  struct Case {
    const char* name;
    std::int32_t setInRound;  // 0: set before the run, -1: never
    std::int32_t rounds;      // the round limit
    std::int32_t roundsRun;
    bool cancelled;
    const char* stop;
  };
  const Case cases[] = {
      {"set before the run: one round", 0, 500, 1, true, ""},
      {"set during round 3", 3, 500, 3, true, ""},
      {"set in the last round: the round limit ends it", 4, 4, 4, false, "rounds"},
      {"never set", -1, 5, 5, false, "rounds"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunSettings settings = flipper.Defaults;
    settings.Rounds = c.rounds;
    FixedSettings source(settings);
    FixedClock clock(4242);
    CancellingObserver observer(c.setInRound);
    Simulation sim(flipper, clock, source, observer);
    sim.CancelOn(&observer.flag);
    const RunResult result = sim.Run();
    EXPECT_EQ(result.RoundsRun, c.roundsRun);
    EXPECT_EQ(observer.round, c.roundsRun) << "no round begun after the flag was seen";
    EXPECT_EQ(result.Cancelled, c.cancelled);
    EXPECT_EQ(result.Stop.Text(), c.stop);
    EXPECT_EQ(result.TotalChanges, std::int64_t{1600} * c.roundsRun);
    EXPECT_EQ(result.EndCensus, sim.Model().OpinionCensus);
    ASSERT_FALSE(observer.log.empty());
    EXPECT_EQ(observer.log.back(), c.cancelled ? RoundLine(c.roundsRun, 1600) : kEndOfJobLine);
  }
}

TEST(run_driver_test, stop_reasons_read_in_a_fixed_order) {
  const std::pair<StopReasons, const char*> rows[] = {
      {{}, ""},
      {{.Quiet = true}, "quiet"},
      {{.Rounds = true, .Unanimity = true}, "rounds+unanimity"},
      {{.Rounds = true, .Quiet = true, .Unanimity = true}, "rounds+quiet+unanimity"},
  };
  for (const auto& [stop, text] : rows) EXPECT_EQ(stop.Text(), text);
}

// The grid wraps when the program has no walls or "Edge" is clear.
TEST(run_driver_test, result_says_whether_the_grid_wrapped) {
  const ProgramProfile stubborn = WithImpact(HalvornProgram(), &Make<Stubborn>);
  for (const bool edge : {true, false}) {
    RunSettings settings = stubborn.Defaults;
    settings.Edge = edge;
    EXPECT_EQ(RunOnce(stubborn, settings, 7)->result.Wraps, !edge);
  }
  const ProgramProfile kestane = WithImpact(KestaneProgram(), &Make<Stubborn>);
  RunSettings settings = kestane.Defaults;
  settings.Edge = true;  // the torus has no "Edge" to tick
  EXPECT_TRUE(RunOnce(kestane, settings, 7)->result.Wraps);
}

// The headless entry point is the window's run with a clock fixed at the seed.
TEST(run_driver_test, seeded_run_is_the_run_of_a_fixed_clock) {
  for (const ProgramProfile* profile : {&HalvornProgram(), &KestaneProgram()}) {
    RunSettings settings = profile->Defaults;
    settings.Rounds = 6;
    const auto direct = RunOnce(*profile, settings, 86'399'999);
    RecordingObserver observer;
    const SeededRun seeded = RunSeeded(*profile, 86'399'999, settings, observer);
    EXPECT_EQ(observer.log, direct->observer.log);
    EXPECT_EQ(observer.events, direct->observer.events);
    EXPECT_EQ(seeded.Population, direct->sim->Model().PopulationGrid);
    EXPECT_EQ(observer.changeCounts, direct->observer.changeCounts);
    EXPECT_EQ(seeded.Result.TotalChanges, direct->result.TotalChanges);
    EXPECT_EQ(seeded.Result.EndCensus, direct->result.EndCensus);
  }
}

TEST(run_driver_test, one_round_reports_in_order) {
  const ProgramProfile flipper = WithImpact(KestaneProgram(), &Make<Flipper>);
  for (bool sequential : {false, true}) {
    SCOPED_TRACE(sequential ? "sequential" : "simultaneous");
    RunSettings settings = flipper.Defaults;
    settings.Rounds = 2;
    settings.RandomSeq = sequential;
    auto run = RunOnce(flipper, settings, 99);
    const RecordingObserver& o = run->observer;
    const std::vector<std::string> events = {"StrategyMap",  "DrawMap",       "ProcessFrame",
                                             "ShowRound 1",  "DrawProcess 1", "ShowRound 2",
                                             "DrawProcess 2"};
    EXPECT_EQ(o.events, events);
    EXPECT_EQ(o.iterationsShown, 800);
    ASSERT_EQ(o.cells.size(), 800u) << "every cell repainted once a round";
    // Sequential: each cell right after its turn. Simultaneous: all at the
    // round's end, after the last turn.
    for (std::size_t i = 0; i < o.cells.size(); ++i) {
      const int expected = sequential ? static_cast<int>(i % 400) + 1 : 400;
      EXPECT_EQ(o.cells[i].iteration, expected) << i;
    }
    std::set<std::pair<int, int>> firstRound;
    for (std::size_t i = 0; i < 400; ++i) firstRound.insert({o.cells[i].x, o.cells[i].y});
    EXPECT_EQ(firstRound.size(), 400u) << "the visit order is a permutation";
    // Flipping every cell swaps the census each round; the chart sees the
    // run-start census as the previous one in round 1.
    ASSERT_EQ(o.columns.size(), 2u);
    EXPECT_EQ(o.columns[0].second, o.startCensus);
    EXPECT_EQ(o.columns[0].first[1], o.startCensus[2]);
    EXPECT_EQ(o.columns[1].second, o.columns[0].first);
    EXPECT_EQ(o.roundCounts, (std::vector<std::string>{"1=" + std::to_string(o.startCensus[2]),
                                                       "2=" + std::to_string(o.startCensus[1]),
                                                       "1=" + std::to_string(o.startCensus[1]),
                                                       "2=" + std::to_string(o.startCensus[2])}));
    const ModelState& m = run->sim->Model();
    EXPECT_EQ(m.History[1], 400);
    EXPECT_EQ(m.History[2], 400);
    EXPECT_EQ(m.History[3], 0);
    for (int k = 3; k <= kCensusCapacity; ++k) EXPECT_EQ(m.OpinionCensus[std::size_t(k)], 0);
  }
}

// Replays the random draws of one round: the population build, then the
// visit-order shuffle, with no draw by the update rule.
TEST(run_driver_test, shuffle_makes_ten_swaps_per_cell_from_the_identity) {
  const ProgramProfile stubborn = WithImpact(HalvornProgram(), &Make<Stubborn>);
  RunSettings settings = stubborn.Defaults;
  settings.RandomSeq = true;
  auto run = RunOnce(stubborn, settings, 31337);

  FixedClock clock(31337);
  RandomSource replay(clock);
  replay.ReseedFromClock();
  for (int i = 0; i < 1600 * 3; ++i) replay.RandBelow(2);
  std::vector<int> order(1601);
  for (int i = 1; i <= 1600; ++i) order[std::size_t(i)] = i;
  for (int s = 0; s < 16000; ++s) {
    const auto a = static_cast<std::size_t>(replay.RandBelow(1600) + 1);
    const auto b = static_cast<std::size_t>(replay.RandBelow(1600) + 1);
    std::swap(order[a], order[b]);
  }
  EXPECT_EQ(run->sim->Random().RandomState, replay.RandomState);
  const auto& cells = run->observer.cells;
  ASSERT_EQ(cells.size(), 1600u);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const GridPos pos = CellPosition(order[i + 1], 40);
    EXPECT_EQ(cells[i].x, pos.x);
    EXPECT_EQ(cells[i].y, pos.y);
  }
}

TEST(run_driver_test, a_new_run_restores_the_scope_that_nb_narrowed) {
  RunSettings settings = HalvornProgram().Defaults;
  settings.Distance = DistancePar::Nb;
  settings.Rounds = 1;
  settings.WideScope = true;
  FixedSettings source(settings);
  FixedClock clock(5);
  RunObserver quiet;
  Simulation sim(HalvornProgram(), clock, source, quiet);
  sim.Run();
  EXPECT_EQ(sim.Model().ScopeRadius, 1);
  settings.Distance = DistancePar::Two;
  source.Set(settings);
  sim.DefaultValues();
  EXPECT_EQ(sim.Model().ScopeRadius, 29);
  EXPECT_EQ(sim.Model().ScopeDistance, 19.0);
}

// A run follows the grid its build made (the turns, the visit order, the
// census), its own ring scope, and equal strengths through halvorn's new
// draws on a change; the next run of the program's own side is the run a
// fresh engine makes.
TEST(run_driver_test, runs_follow_the_built_grid_scope_and_strengths) {
  const ProgramProfile* h = &HalvornProgram();
  const ProgramProfile* k = &KestaneProgram();
  struct Case {
    const ProgramProfile* program;
    int side;
    std::optional<RingScope> scope;
    StrengthRule strengths;
    bool randomSeq;
  };
  const Case cases[] = {
      {h, 0, std::nullopt, {StrengthDraw::Equal, 37}, false},
      {h, 0, RingScope{3, 2.5}, {StrengthDraw::Equal, 100}, true},
      {h, 7, RingScope{2, 9.0}, {}, false},
      {h, 53, std::nullopt, {StrengthDraw::Equal, 0}, true},
      {k, 9, std::nullopt, {StrengthDraw::Equal, 64}, false},
      {k, 4, std::nullopt, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program->Name) + " side " + std::to_string(c.side));
    RunSettings settings = c.program->Defaults;
    settings.Rounds = 6;
    settings.Side = c.side;
    settings.Scope = c.scope;
    settings.Strengths = c.strengths;
    settings.RandomSeq = c.randomSeq;
    settings.RemoveSelf = true;  // else equal strengths rarely outvoice a cell's own
    auto run = RunOnce(*c.program, settings, 9'876'543);
    const ModelState& m = run->sim->Model();
    const int cells = c.side == 0 ? c.program->CellTotal : c.side * c.side;
    ASSERT_EQ(m.CellTotal(), cells);
    EXPECT_EQ(run->observer.iteration, cells) << "last iteration shown";
    EXPECT_EQ(run->result.StartCensus[1] + run->result.StartCensus[2], cells);
    EXPECT_EQ(run->result.EndCensus[1] + run->result.EndCensus[2], cells);
    if (c.scope) {
      EXPECT_EQ(m.ScopeRadius, c.scope->Radius);
    }
    if (c.strengths.Draw == StrengthDraw::Equal) {
      if (c.program->RedrawStrengthsOnChange) {
        EXPECT_GT(run->result.TotalChanges, 0);
      }
      for (int i = 0; i < cells; ++i) {
        const Cell& cell = m.PopulationGrid.Data()[i];
        ASSERT_EQ(cell.Persuasiveness, c.strengths.Value) << "cell " << i + 1;
        ASSERT_EQ(cell.Supportiveness, c.strengths.Value) << "cell " << i + 1;
      }
    }
    RunSettings own = c.program->Defaults;
    own.Rounds = 4;
    run->settings.Set(own);
    run->observer = RecordingObserver{};
    run->sim->Run();
    const auto fresh = RunOnce(*c.program, own, 9'876'543);
    EXPECT_EQ(run->observer.log, fresh->observer.log);
    EXPECT_EQ(run->sim->Model().PopulationGrid, fresh->sim->Model().PopulationGrid);
  }
}

// The same seed gives the same run, also to an observer that follows no
// turns (and is spared every per-turn call); both simultaneous and
// sequential, to their quiet end.
TEST(run_driver_test, same_seed_same_run_in_both_programs) {
  for (const ProgramProfile* profile : {&HalvornProgram(), &KestaneProgram()}) {
    for (const bool sequential : {false, true}) {
      RunSettings settings = profile->Defaults;
      settings.RandomSeq = sequential;
      auto a = RunOnce(*profile, settings, 12'345'000);
      auto b = RunOnce(*profile, settings, 12'345'000, false);
      EXPECT_EQ(b->observer.log, a->observer.log);
      EXPECT_EQ(b->sim->Model().PopulationGrid, a->sim->Model().PopulationGrid);
      EXPECT_EQ(b->observer.iterationsShown + static_cast<long>(b->observer.cells.size()), 0);
      EXPECT_GT(a->observer.iterationsShown, 1600);
    }
    RunSettings settings = profile->Defaults;
    settings.Rounds = 8;
    auto a = RunOnce(*profile, settings, 12'345'000);
    const std::vector<std::string> log = a->observer.log;
    const Grid grid = a->sim->Model().PopulationGrid;
    auto b = RunOnce(*profile, settings, 12'345'000);
    EXPECT_EQ(b->observer.log, log);
    EXPECT_EQ(b->sim->Model().PopulationGrid, grid);
    auto c = RunOnce(*profile, settings, 12'345'001);
    EXPECT_NE(c->sim->Model().PopulationGrid, grid) << "another millisecond, another run";
  }
}

}  // namespace
}  // namespace impactsim
