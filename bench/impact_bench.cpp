// Cost of one turn's impact, of a round of turns and of whole runs, for the
// engine's impact models and for the plain reference models; and the cost of
// the bare chain of additions a turn must perform, as the floor a turn can
// approach.
//
//   Turn/<case>/<model>           one ComputeImpact call on a fixed cell
//   AddChain/<case>/split|merged  as many additions as that turn makes, as
//                                 two interleaved dependent chains (see
//                                 AddChain)
//   RoundTurns/<program>/<model>  every cell's turn (UpdateOpinion) in a
//                                 shuffled order; per_turn
//   Run/<case>/<model>            whole runs from a fixed set of seeds: the
//                                 reference, the engine as runs use it
//                                 (certified turns where the run allows;
//                                 fallback_rate: the share of them left to
//                                 the per-turn code), and without certified
//                                 turns on each round kernel this processor
//                                 runs (engine_<kernel>; sequential runs on
//                                 the kernel in use: uncertified); items_per_second
//                                 counts runs; halvorn_power_2.5 against
//                                 halvorn (power 2) prices a power outside
//                                 the window's items, halvorn_noise_0.25 the
//                                 noisy update rule
//   TurnsAhead/<program>          eight scattered sequential turns' impacts
//                                 together, after a change; per_turn
//   RoundKernel/<case>/<kernel>   one simultaneous round's impacts together
//                                 after every cell changed; per_turn

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "impact/ring_impact.h"
#include "impact/round_kernels.h"
#include "impact/torus_impact.h"
#include "model/process_policy.h"
#include "model/seeded_run.h"
#include "model/simulation.h"
#include "programs/programs.h"
#include "tests/reference/reference_impact.h"
#include "tests/reference/reference_programs.h"

namespace impactsim {
namespace {

using MakeModel = std::unique_ptr<ImpactModel> (*)();

constexpr std::uint32_t kPopulationSeed = 36'000'000;
constexpr std::uint32_t kRunSeeds[] = {1'000, 12'345'678, 36'000'000, 61'234'567};

// A population built from a fixed seed and prepared as a run prepares it,
// the snapshot taken, with one impact model ready to compute on it.
class Prepared {
 public:
  Prepared(const ProgramProfile& program, MakeModel make, const RunSettings& settings)
      : clock_(kPopulationSeed),
        settings_(settings),
        simulation_(program, clock_, settings_, observer_),
        impact_(make()) {
    simulation_.DefaultValues();
    RunSettings prepared = settings;
    if (!program.HasEdge) prepared.Edge = false;
    Model().SnapshotGrid = Model().PopulationGrid;
    // The kernels and the per-turn code, not certified turns.
    if (auto* ring = dynamic_cast<RingImpact*>(impact_.get())) ring->UseCertifiedTurns(false);
    if (auto* torus = dynamic_cast<TorusImpact*>(impact_.get())) torus->UseCertifiedTurns(false);
    impact_->Prepare(prepared, Model());
  }

  ModelState& Model() { return simulation_.Model(); }
  ImpactModel& Impact() { return *impact_; }
  RandomSource& Random() { return simulation_.Random(); }

 private:
  FixedClock clock_;
  FixedSettings settings_;
  RunObserver observer_;
  Simulation simulation_;
  std::unique_ptr<ImpactModel> impact_;
};

struct TurnCase {
  const char* Name;
  bool Halvorn;
  int X, Y;
  bool Edge, WideScope;
};

const ProgramProfile& EngineProgram(bool halvorn) {
  return halvorn ? HalvornProgram() : KestaneProgram();
}
MakeModel ReferenceModel(bool halvorn) {
  return halvorn ? &reference::MakeReferenceRingImpact : &reference::MakeReferenceTorusImpact;
}

RunSettings CaseSettings(const TurnCase& c) {
  RunSettings s = EngineProgram(c.Halvorn).Defaults;
  s.Edge = c.Edge;
  s.WideScope = c.WideScope;
  return s;
}

void Turn(benchmark::State& state, const TurnCase& c, MakeModel make) {
  Prepared p(EngineProgram(c.Halvorn), make, CaseSettings(c));
  const ModelState& model = p.Model();
  ImpactModel& impact = p.Impact();
  ImpactVector totals{};
  SourceCount sources{};
  for (auto _ : state) {
    totals[1] = 0.0;
    totals[2] = 0.0;
    impact.ComputeImpact(model, c.X, c.Y, totals, sources);
    benchmark::DoNotOptimize(totals);
    benchmark::DoNotOptimize(sources);
  }
  state.counters["sources"] = sources[1] + sources[2];
}

// The source counts of each opinion in a case's turn.
std::pair<int, int> CaseSplit(const TurnCase& c) {
  const ProgramProfile& program = EngineProgram(c.Halvorn);
  Prepared p(program, program.MakeImpactModel, CaseSettings(c));
  ImpactVector totals{};
  SourceCount sources{};
  p.Impact().ComputeImpact(p.Model(), c.X, c.Y, totals, sources);
  return {sources[1], sources[2]};
}

// The additions of a turn and nothing else. Split: the n1 + n2 values summed
// as two running sums interleaved, the longer one finishing alone, so the
// critical path is max(n1, n2) additions - the least a turn can get away
// with. Merged: every value added to one sum and +0.0 to the other, as a scan
// that does not branch on the opinion does, a path of n1 + n2 additions.
void AddChain(benchmark::State& state, int n1, int n2, bool merged) {
  const int n = n1 + n2;
  std::vector<double> first(U(n)), second(U(n));
  for (int i = 0; i < n; ++i) {
    const double q = 100.0 / (i + 1.5);
    const bool isFirst = merged ? i % 3 != 0 : i < n1;
    first[U(i)] = isFirst || !merged ? q : 0.0;
    second[U(i)] = !isFirst || !merged ? q : 0.0;
  }
  const int common = n1 < n2 ? n1 : n2;
  for (auto _ : state) {
    const double* a = first.data();
    const double* b = second.data();
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    benchmark::ClobberMemory();
    double t1 = 0.0;
    double t2 = 0.0;
    if (merged) {
      for (int i = 0; i < n; ++i) {
        t1 += a[i];
        t2 += b[i];
      }
    } else {
      int i = 0;
      for (; i < common; ++i) {
        t1 += a[i];
        t2 += b[i];
      }
      for (int j = i; j < n1; ++j) t1 += a[j];
      for (int j = i; j < n2; ++j) t2 += b[j];
    }
    benchmark::DoNotOptimize(t1);
    benchmark::DoNotOptimize(t2);
  }
  state.counters["chain"] = merged ? n : (n1 > n2 ? n1 : n2);
}

// One round of turns on the program's default settings, started afresh from
// the same population every iteration.
void RoundTurns(benchmark::State& state, bool halvorn, MakeModel make) {
  const ProgramProfile& program = EngineProgram(halvorn);
  const RunSettings settings = program.Defaults;
  Prepared p(program, make, settings);
  ModelState& model = p.Model();
  const Grid start = model.PopulationGrid;

  // A fixed shuffled visit order, as a round draws one.
  const int total = program.CellTotal;
  std::vector<int> order(U(total));
  for (int i = 0; i < total; ++i) order[U(i)] = i + 1;
  for (int swap = 0; swap < 10 * total; ++swap) {
    std::swap(order[U(p.Random().RandBelow(total))], order[U(p.Random().RandBelow(total))]);
  }

  std::int32_t changes = 0;
  for (auto _ : state) {
    model.PopulationGrid = start;
    if (!settings.RandomSeq) model.SnapshotGrid = start;
    for (int cell : order) {
      const GridPos pos = CellPosition(cell, program.GridSide);
      UpdateOpinion(model, p.Impact(), p.Random(), {program.RedrawStrengthsOnChange}, pos.x, pos.y,
                    changes);
    }
    benchmark::DoNotOptimize(changes);
  }
  // Seconds per turn, shown with an SI prefix ("700n" is 700 ns).
  state.counters["per_turn"] = benchmark::Counter(
      total, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Counts the rounds of the runs it watches.
class RoundCounter final : public RunObserver {
 public:
  void RoundClosed(std::int32_t, std::int32_t, const Census&) override { ++Rounds; }
  std::int64_t Rounds = 0;
};

// Whole runs, one from each seed per iteration, with the program's defaults
// changed as `change` says, on the named round kernel (nullptr: the one the
// processor would choose).
CertifiedCounts CertifiedCountsOf(const ImpactModel& model) {
  if (const auto* ring = dynamic_cast<const RingImpact*>(&model)) return ring->Certified();
  if (const auto* torus = dynamic_cast<const TorusImpact*>(&model)) return torus->Certified();
  return {};
}

void Certify(ImpactModel& model, bool on) {
  if (auto* ring = dynamic_cast<RingImpact*>(&model)) ring->UseCertifiedTurns(on);
  if (auto* torus = dynamic_cast<TorusImpact*>(&model)) torus->UseCertifiedTurns(on);
}

// kernel: nullptr for the engine as runs use it (certified turns where the
// run allows them), else the named round kernel without certified turns.
void Runs(benchmark::State& state, const ProgramProfile* program, void (*change)(RunSettings&),
          const char* kernel) {
  ForceRoundKernel(kernel);
  RunSettings settings = program->Defaults;
  if (change != nullptr) change(settings);
  RoundCounter counter;
  std::int64_t runs = 0;
  CertifiedCounts certified;
  // As a sweep's thread runs them: one engine, kept from run to run.
  FixedClock clock(0);
  FixedSettings source(settings);
  const auto simulation = std::make_unique<Simulation>(*program, clock, source, counter);
  Certify(simulation->Impact(), kernel == nullptr);
  for (auto _ : state) {
    for (std::uint32_t seed : kRunSeeds) {
      clock.Set(seed);
      benchmark::DoNotOptimize(simulation->Run().EndCensus);
      ++runs;
    }
  }
  certified = CertifiedCountsOf(simulation->Impact());
  state.SetItemsProcessed(runs);
  state.counters["rounds_per_run"] =
      static_cast<double>(counter.Rounds) / static_cast<double>(runs);
  // Certified turns that fell back to the per-turn code, of all certified
  // turns.
  const auto turns = static_cast<double>(certified.certain + certified.fallback);
  if (turns > 0) {
    state.counters["fallback_rate"] = static_cast<double>(certified.fallback) / turns;
    state.counters["rebuilds"] =
        static_cast<double>(certified.rebuilds) / static_cast<double>(runs);
  }
  ForceRoundKernel(nullptr);
}

// One simultaneous round's impacts worked out together by the named kernel,
// none of them kept from before; per_turn divides by the cells.
template <class Model>
void RoundKernel(benchmark::State& state, const ProgramProfile* program,
                 void (*change)(RunSettings&), const char* kernel) {
  ForceRoundKernel(kernel);
  RunSettings settings = program->Defaults;
  settings.RandomSeq = false;
  if (change != nullptr) change(settings);
  Prepared p(*program, program->MakeImpactModel, settings);
  auto& model = dynamic_cast<Model&>(p.Impact());
  const auto cells = static_cast<std::size_t>(program->CellTotal);
  std::vector<ImpactVector> impacts(cells);
  std::vector<SourceCount> counts(cells);
  for (auto _ : state) {
    model.ForgetImpacts();
    model.ComputeRound(p.Model(), impacts, counts);
    benchmark::DoNotOptimize(impacts.data());
  }
  state.counters["per_turn"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(cells),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  ForceRoundKernel(nullptr);
}

// The next eight sequential turns' impacts worked out together for targets
// scattered over the grid, none of them kept from before (after a change);
// per_turn divides by the turns the model worked out (it may do fewer).
template <class Model>
void TurnsAhead(benchmark::State& state, const ProgramProfile* program) {
  RunSettings settings = program->Defaults;
  settings.RandomSeq = true;
  Prepared p(*program, program->MakeImpactModel, settings);
  auto& model = dynamic_cast<Model&>(p.Impact());
  const std::vector<std::int32_t> cells = {3,   391, 77,  1203 % program->CellTotal,
                                           250, 12,  333, 160};
  std::vector<ImpactVector> impacts(cells.size());
  std::vector<SourceCount> counts(cells.size());
  for (auto _ : state) {
    model.ForgetImpacts();
    model.ComputeTurns(p.Model(), cells, 8, impacts, counts);
    benchmark::DoNotOptimize(impacts.data());
  }
  state.counters["per_turn"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(cells.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The fastest repetition: on a shared machine the least disturbed one.
double Fastest(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

template <class... Args>
benchmark::internal::Benchmark* Register(const std::string& name, Args&&... args) {
  return benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)
      ->ComputeStatistics("min", Fastest);
}

void RegisterAll() {
  static const TurnCase cases[] = {
      {"halvorn_inner", true, 20, 20, true, false},
      {"halvorn_inner_wide", true, 20, 20, true, true},
      {"halvorn_inner_torus", true, 20, 20, false, false},
      {"halvorn_corner_edge", true, 1, 1, true, false},
      {"halvorn_corner_torus", true, 1, 1, false, false},
      {"kestane", false, 10, 10, false, false},
  };
  for (const TurnCase& c : cases) {
    const std::string name = c.Name;
    Register("Turn/" + name + "/engine", Turn, c, EngineProgram(c.Halvorn).MakeImpactModel);
    Register("Turn/" + name + "/reference", Turn, c, ReferenceModel(c.Halvorn));
    const auto [n1, n2] = CaseSplit(c);
    Register("AddChain/" + name + "/split", AddChain, n1, n2, false);
    Register("AddChain/" + name + "/merged", AddChain, n1, n2, true);
  }
  for (bool halvorn : {true, false}) {
    const std::string name(EngineProgram(halvorn).Name);
    Register("RoundTurns/" + name + "/engine", RoundTurns, halvorn,
             EngineProgram(halvorn).MakeImpactModel)
        ->Unit(benchmark::kMicrosecond);
    Register("RoundTurns/" + name + "/reference", RoundTurns, halvorn, ReferenceModel(halvorn))
        ->Unit(benchmark::kMicrosecond);
  }
  using Change = void (*)(RunSettings&);
  struct RunCase {
    std::string name;
    bool halvorn;
    Change change;
    bool simultaneous;  // runs on the round kernels
  };
  const RunCase runs[] = {
      {"halvorn", true, nullptr, true},
      {"halvorn_torus", true, [](RunSettings& s) { s.Edge = false; }, true},
      {"halvorn_wide", true, [](RunSettings& s) { s.WideScope = true; }, true},
      {"halvorn_sequential", true, [](RunSettings& s) { s.RandomSeq = true; }, false},
      {"kestane", false, nullptr, false},
      {"kestane_simultaneous", false, [](RunSettings& s) { s.RandomSeq = false; }, true},
      // Runs of one or two rounds: what a run costs besides its turns.
      {"kestane_simultaneous_plain_power_1", false,
       [](RunSettings& s) {
         s.RandomSeq = false;
         s.SummationM = true;
         s.Distance = DistancePar::One;
       },
       true},
      // A power the window does not offer (its tables from the portable pow)
      // next to "halvorn" (power 2); and the noisy update rule.
      {"halvorn_power_2.5", true, [](RunSettings& s) { s.Distance = DistanceRule::OfPower(2.5); },
       false},
      {"halvorn_noise_0.25", true, [](RunSettings& s) { s.Noise = 0.25; }, false},
  };
  for (const RunCase& c : runs) {
    const ProgramProfile* engine = &EngineProgram(c.halvorn);
    const ProgramProfile* reference =
        c.halvorn ? &reference::ReferenceHalvornProgram() : &reference::ReferenceKestaneProgram();
    Register("Run/" + c.name + "/reference", Runs, reference, c.change, nullptr)
        ->Unit(benchmark::kMillisecond);
    Register("Run/" + c.name + "/engine", Runs, engine, c.change, nullptr)
        ->Unit(benchmark::kMillisecond);
    if (!c.simultaneous) {
      Register("Run/" + c.name + "/uncertified", Runs, engine, c.change, ChosenRoundKernel())
          ->Unit(benchmark::kMillisecond);
      continue;
    }
    for (const char* kernel : RoundKernels()) {
      if (!RoundKernelRuns(kernel)) continue;
      Register("Run/" + c.name + "/engine_" + kernel, Runs, engine, c.change, kernel)
          ->Unit(benchmark::kMillisecond);
    }
  }
  struct KernelCase {
    std::string name;
    bool halvorn;
    Change change;
  };
  const KernelCase kernelCases[] = {
      {"default", true, nullptr},
      {"torus", true, [](RunSettings& s) { s.Edge = false; }},
      {"wide", true, [](RunSettings& s) { s.WideScope = true; }},
      {"kestane", false, nullptr},
  };
  Register("TurnsAhead/halvorn", TurnsAhead<RingImpact>, &HalvornProgram());
  Register("TurnsAhead/kestane", TurnsAhead<TorusImpact>, &KestaneProgram());
  for (const char* kernel : RoundKernels()) {
    if (!RoundKernelRuns(kernel)) continue;
    for (const KernelCase& c : kernelCases) {
      const std::string name = "RoundKernel/" + c.name + "/" + kernel;
      if (c.halvorn) {
        Register(name, RoundKernel<RingImpact>, &HalvornProgram(), c.change, kernel);
      } else {
        Register(name, RoundKernel<TorusImpact>, &KestaneProgram(), c.change, kernel);
      }
    }
  }
}

}  // namespace
}  // namespace impactsim

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  impactsim::KeepFreedMemoryBetweenRuns();  // as the programs run
  impactsim::RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
