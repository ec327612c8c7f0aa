#include "model/simulation.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <utility>

#include "model/portable_math.h"
#include "model/round_recorder.h"

namespace impactsim {

namespace {

constexpr std::size_t kCountTextLimit = 10;
constexpr std::size_t kLogLineLimit = 50;

std::string CutTo(std::string text, std::size_t limit) {
  if (text.size() > limit) text.resize(limit);
  return text;
}

}  // namespace

void TakeCensus(const ModelState& model, Census& tally) {
  tally.fill(0);  // entries past OpinionCount too: an earlier run may have had more
  // Four tallies taken in turn, so that runs of like cells do not wait on
  // one another's counts.
  std::array<Census, 4> part{};
  const Cell* cells = model.PopulationGrid.Data();
  const int total = model.CellTotal();
  int i = 0;
  for (; i + 4 <= total; i += 4) {
    for (std::size_t k = 0; k < 4; ++k) ++part[k][cells[i + static_cast<int>(k)].Opinion];
  }
  for (; i < total; ++i) ++part[0][cells[i].Opinion];
  for (const Census& p : part) {
    for (std::size_t o = 0; o < tally.size(); ++o) tally[o] += p[o];
  }
}

std::string CountDisplayText(std::int32_t count) {
  return CutTo(std::to_string(count), kCountTextLimit);
}

std::string RunStartLine(std::int32_t roundNo) {
  return CutTo(std::to_string(roundNo) + " : ", kLogLineLimit);
}

std::string RoundLine(std::int32_t roundNo, std::int32_t changeCount) {
  return CutTo(RunStartLine(roundNo) + std::to_string(changeCount) + "  ", kLogLineLimit);
}

void UpdateOpinion(ModelState& model, ImpactModel& impact, RandomSource& random,
                   const TurnRule& rule, int x, int y, std::int32_t& changeCount) {
  ImpactVector totals;
  for (int o = 1; o <= model.OpinionCount; ++o) totals[U(o)] = 0.0;
  SourceCount sources;
  impact.ComputeImpact(model, x, y, totals, sources);
  ApplyImpact(model, totals, random, rule, x, y, changeCount);
}

namespace {

double GreatestTotal(const ImpactVector& totals, int opinions) {
  double greatest = totals[1];
  for (int o = 2; o <= opinions; ++o) {
    if (totals[U(o)] > greatest) greatest = totals[U(o)];
  }
  return greatest;
}

// The opinion of greatest total; where several totals equal it exactly, one
// of them, in increasing order, drawn by lot.
std::uint8_t GreatestImpact(const ImpactVector& totals, int opinions, RandomSource& random) {
  const double greatest = GreatestTotal(totals, opinions);
  std::array<std::uint8_t, kImpactCapacity> tied{};
  int k = 0;
  for (int o = 1; o <= opinions; ++o) {
    if (totals[U(o)] == greatest) tied[U(k++)] = static_cast<std::uint8_t>(o);
  }
  return k == 1 ? tied[0] : tied[U(random.RandBelow(k))];
}

// One draw r in [0, 1); the weights w_o = e^((I_o - greatest) / noise),
// summed in increasing order; the first opinion whose running sum exceeds
// r times the whole sum. PortableExp keeps the weights the same on every
// machine.
std::uint8_t NoisyImpact(const ImpactVector& totals, int opinions, double noise,
                         RandomSource& random) {
  const double r = random.RandReal();
  const double greatest = GreatestTotal(totals, opinions);
  ImpactVector weight{};
  double sum = 0.0;
  for (int o = 1; o <= opinions; ++o) {
    weight[U(o)] = PortableExp((totals[U(o)] - greatest) / noise);
    sum += weight[U(o)];
  }
  const double threshold = r * sum;
  double running = 0.0;
  for (int o = 1; o < opinions; ++o) {
    running += weight[U(o)];
    if (running > threshold) return static_cast<std::uint8_t>(o);
  }
  return static_cast<std::uint8_t>(opinions);  // its running sum is the whole sum
}

}  // namespace

void ApplyImpact(ModelState& model, const ImpactVector& totals, RandomSource& random,
                 const TurnRule& rule, int x, int y, std::int32_t& changeCount) {
  const int opinions = model.OpinionCount;
  const std::uint8_t chosen = rule.Noise > 0.0 ? NoisyImpact(totals, opinions, rule.Noise, random)
                                               : GreatestImpact(totals, opinions, random);
  ApplyChoice(model, chosen, random, rule, x, y, changeCount);
}

void ApplyChoice(ModelState& model, std::uint8_t chosen, RandomSource& random, const TurnRule& rule,
                 int x, int y, std::int32_t& changeCount) {
  Cell& cell = model.PopulationGrid.At(x, y);
  if (chosen == cell.Opinion) return;
  ++changeCount;
  cell.Opinion = chosen;
  if (rule.RedrawStrengths) {
    cell.Persuasiveness = static_cast<std::uint8_t>(random.RandBelow(kStrengthValues));
    cell.Supportiveness = static_cast<std::uint8_t>(random.RandBelow(kStrengthValues));
    // Equal strengths stay equal; the draws are taken all the same.
    if (rule.EqualStrength) cell.Persuasiveness = cell.Supportiveness = *rule.EqualStrength;
  }
}

Simulation::Simulation(const ProgramProfile& program, Clock& clock, const SettingsSource& settings,
                       RunObserver& observer)
    : program_(&program),
      settings_(&settings),
      observer_(&observer),
      model_(program.GridSide),
      random_(clock),
      impact_(program.MakeImpactModel()),
      visitOrder_(U(program.CellTotal + 1)),
      draws_(U(20 * program.CellTotal)) {}

void Simulation::DefaultValues() {
  const RunSettings settings = settings_->CurrentSettings();
  random_.ReseedFromClock();
  model_.OpinionCount = settings.Opinions;
  if (program_->HasWideScope) {
    const RingScope& scope = ScopeOf(*program_, settings);
    model_.ScopeRadius = scope.Radius;
    model_.ScopeDistance = scope.Distance;
  }
  Resize(GridSideOf(*program_, settings));
  BuildPopulation(settings, model_, random_);
  Census initial{};
  TakeCensus(model_, initial);
  for (int k = 1; k <= std::min<int>(model_.OpinionCount, kCountFields); ++k) {
    observer_->ShowInitialCount(k, CountDisplayText(initial[U(k)]));
  }
  model_.History.fill(0);
}

void Simulation::Resize(int side) {
  if (side == model_.GridSide()) return;
  model_.PopulationGrid = Grid(side);
  model_.SnapshotGrid = Grid(side);
  const int total = model_.CellTotal();
  visitOrder_.assign(U(total + 1), 0);
  draws_.assign(U(20 * total), 0);
}

RunResult Simulation::Run() {
  RunState run;
  ReadRunSettings(run);
  StartRun(run);
  do {
    StartRound(run);
    if (run.Certified && !run.Settings.RandomSeq) {
      CertifiedRound(run);
    } else {
      Turns(run);
    }
    EndRound(run);
    CloseRound(run);
  } while (!run.StopFlag);
  // A cancelled run did not end normally.
  if (!run.Result.Cancelled) FinishRun();
  return std::move(run.Result);
}

// One round, turn by turn in visit order.
void Simulation::Turns(RunState& run) {
  ShuffleVisitOrder();
  const bool randomSeq = run.Settings.RandomSeq;
  for (run.IterationNo = 1; run.IterationNo <= model_.CellTotal(); ++run.IterationNo) {
    run.CellNo = visitOrder_[U(run.IterationNo)];
    BeginTurn(run);
    if (run.Certified) {
      CertifiedTurn(run);  // sequential
    } else if (run.WholeRounds) {
      ApplyImpact(model_, roundImpact_[U(run.CellNo - 1)], random_, run.Turn, run.X, run.Y,
                  run.ChangeCount);
    } else if (run.TurnsAhead > 0 && FewChangesLikely(run)) {
      SpeculativeTurn(run);
    } else if (run.TurnsAhead > 0) {
      // Turn by turn, keeping the model's copy of the population current.
      const std::int32_t before = run.ChangeCount;
      UpdateOpinion(model_, *impact_, random_, run.Turn, run.X, run.Y, run.ChangeCount);
      if (run.ChangeCount != before) {
        impact_->CellChanged(model_, run.X, run.Y);
        run.AheadEnd = 0;
      }
    } else {
      UpdateOpinion(model_, *impact_, random_, run.Turn, run.X, run.Y, run.ChangeCount);
    }
    if (randomSeq && run.FollowsTurns) {
      observer_->DrawCell(run.X, run.Y, model_.PopulationGrid.At(run.X, run.Y).Opinion);
    }
  }
}

// A simultaneous round whose answers were named at its start: a turn whose
// cell keeps its opinion only moves the counter; the others, in visit
// order, change their cell (drawing its new strengths) or, where no answer
// is certain, take the per-turn code.
void Simulation::CertifiedRound(RunState& run) {
  const std::int32_t total = model_.CellTotal();
  const Cell* cells = model_.PopulationGrid.Data();
  const auto acts = [&](std::int32_t at) {
    return roundCertain_[U(at)] == 0 || roundCertain_[U(at)] != cells[at].Opinion;
  };
  std::int32_t first = 0;
  while (first < total && !acts(first)) ++first;
  // Where no turn changes its cell or draws, their order does not matter.
  const bool ordered = first < total;
  if (ordered) ShuffleVisitOrder();
  for (run.IterationNo = 1; run.IterationNo <= total; ++run.IterationNo) {
    if (run.FollowsTurns) observer_->ShowIteration(run.IterationNo);
    if (!ordered) continue;
    run.CellNo = visitOrder_[U(run.IterationNo)];
    if (!acts(run.CellNo - 1)) continue;
    const std::uint8_t certain = roundCertain_[U(run.CellNo - 1)];
    const GridPos pos = CellPosition(run.CellNo, model_.GridSide());
    run.X = pos.x;
    run.Y = pos.y;
    if (certain != 0) {
      ApplyChoice(model_, certain, random_, run.Turn, run.X, run.Y, run.ChangeCount);
    } else {
      UpdateOpinion(model_, *impact_, random_, run.Turn, run.X, run.Y, run.ChangeCount);
    }
  }
}

void Simulation::CertifiedTurn(RunState& run) {
  const std::int32_t before = run.ChangeCount;
  const std::uint8_t certain = impact_->CertainGreatest(model_, run.X, run.Y);
  if (certain != 0) {
    ApplyChoice(model_, certain, random_, run.Turn, run.X, run.Y, run.ChangeCount);
  } else {
    UpdateOpinion(model_, *impact_, random_, run.Turn, run.X, run.Y, run.ChangeCount);
  }
  if (run.ChangeCount != before) {
    impact_->CellChanged(model_, run.X, run.Y);
  }
}

// The impacts of the next turns are worked out together while no cell
// changes; a turn that changes its cell makes them stale, and the next turn
// starts a new batch from the population as it now is.
void Simulation::SpeculativeTurn(RunState& run) {
  if (run.IterationNo >= run.AheadEnd) {
    const std::int32_t n = std::min(run.TurnsAhead, model_.CellTotal() - run.IterationNo + 1);
    for (std::int32_t j = 0; j < n; ++j)
      aheadCells_[U(j)] = visitOrder_[U(run.IterationNo + j)] - 1;
    // The turns likely to come before the next change: the round's turns
    // left, or fewer at the rate changes come.
    const std::int32_t turnsLeft = model_.CellTotal() - run.IterationNo + 1;
    const auto [changes, turns] = ChangeRate(run);
    const auto likely =
        static_cast<std::int32_t>(std::min<std::int64_t>(turnsLeft, turns / std::max(changes, 1)));
    const int worked = impact_->ComputeTurns(model_, std::span(aheadCells_).first(U(n)), likely,
                                             std::span(aheadImpact_).first(U(n)),
                                             std::span(aheadSources_).first(U(n)));
    run.AheadStart = run.IterationNo;
    run.AheadEnd = run.IterationNo + std::clamp(worked, 1, n);
  }
  const std::int32_t before = run.ChangeCount;
  ApplyImpact(model_, aheadImpact_[U(run.IterationNo - run.AheadStart)], random_, run.Turn, run.X,
              run.Y, run.ChangeCount);
  if (run.ChangeCount != before) {
    impact_->CellChanged(model_, run.X, run.Y);
    run.AheadEnd = 0;
  }
}

// The rate at which turns change their cell, as changes per turns: this
// round's so far once it has seen enough turns, else the last round's.
std::pair<std::int32_t, std::int32_t> Simulation::ChangeRate(const RunState& run) const {
  const std::int32_t turns = run.IterationNo - 1;
  if (turns >= kRateTurns) return {run.ChangeCount, turns};
  return {run.LastRoundChanges, model_.CellTotal()};
}

// Working turns out ahead pays only when few turns change their cell: fewer
// than one in 16.
bool Simulation::FewChangesLikely(const RunState& run) const {
  const auto [changes, turns] = ChangeRate(run);
  return 16 * std::int64_t{changes} < turns;
}

void Simulation::WatchCycles(std::int32_t stopAfterRepeats) {
  cycles_.emplace();
  stopAfterRepeats_ = std::max(stopAfterRepeats, 0);
}

void Simulation::ReadRunSettings(RunState& run) {
  random_.ReseedFromClock();
  run.Rounds = settings_->CurrentSettings().Rounds;
}

void Simulation::StartRun(RunState& run) {
  DefaultValues();
  // The per-turn settings keep one value for the whole run: no input is
  // served while it lasts.
  run.Settings = settings_->CurrentSettings();
  run.FollowsTurns = observer_->FollowsTurns();
  if (GridWraps(*program_, run.Settings)) run.Settings.Edge = false;
  run.Turn = {program_->RedrawStrengthsOnChange, run.Settings.Noise, EqualStrengthOf(run.Settings)};
  observer_->StrategyMap();
  observer_->DrawMap(model_.PopulationGrid);
  observer_->ProcessFrame();
  run.StopFlag = false;
  run.RoundNo = 0;
  observer_->AppendLog(RunStartLine(run.RoundNo));
  TakeCensus(model_, model_.OpinionCensus);
  observer_->RunStarted(model_.OpinionCensus);
  observer_->RoundPopulation(run.RoundNo, model_.PopulationGrid);
  if (cycles_) cycles_->Record(run.RoundNo, model_.PopulationGrid);
  impact_->Prepare(run.Settings, model_);
  // Every turn of a simultaneous round reads its snapshot: the model may
  // work the round's impacts out together at its start.
  run.Certified = impact_->CertifiesTurns() && run.Settings.Noise == 0.0;
  run.WholeRounds = !run.Certified && !run.Settings.RandomSeq && impact_->ComputesRounds();
  run.TurnsAhead = !run.Certified && run.Settings.RandomSeq ? impact_->TurnsAhead() : 0;
  if (run.TurnsAhead > 0) {
    aheadCells_.assign(U(run.TurnsAhead), 0);
    aheadImpact_.assign(U(run.TurnsAhead), ImpactVector{});
    aheadSources_.assign(U(run.TurnsAhead), SourceCount{});
  }
  if (run.WholeRounds) {
    roundImpact_.assign(U(model_.CellTotal()), ImpactVector{});
    roundSources_.assign(U(model_.CellTotal()), SourceCount{});
  }
  run.Result.StartCensus = model_.OpinionCensus;
  run.Result.Wraps = !run.Settings.Edge;
}

void Simulation::StartRound(RunState& run) {
  ++run.RoundNo;
  observer_->ShowRound(run.RoundNo);
  DrawVisitOrder();
  // Before the first round every turn may change its cell.
  run.LastRoundChanges = run.RoundNo == 1 ? model_.CellTotal() : run.ChangeCount;
  run.ChangeCount = 0;
  run.AheadEnd = 0;  // a new visit order
  if (!run.Settings.RandomSeq) model_.SnapshotGrid = model_.PopulationGrid;
  if (run.WholeRounds) impact_->ComputeRound(model_, roundImpact_, roundSources_);
  if (run.Certified && !run.Settings.RandomSeq) {
    roundCertain_.resize(U(model_.CellTotal()));
    impact_->RoundStarts(model_, roundCertain_);
  }
}

// The draws first, in the order the swaps take them; the swaps then in
// order: the same permutation as drawing at each swap. The turns' own draws
// come after all of them either way.
void Simulation::DrawVisitOrder() {
  random_.FillBelow(model_.CellTotal(), draws_.data(), draws_.size());
  orderShuffled_ = false;
}

void Simulation::ShuffleVisitOrder() {
  if (orderShuffled_) return;
  orderShuffled_ = true;
  const std::int32_t total = model_.CellTotal();
  for (std::int32_t i = 1; i <= total; ++i) visitOrder_[U(i)] = i;
  std::int32_t* const order = visitOrder_.data() + 1;  // draw d swaps entry d + 1
  const std::int32_t* const draw = draws_.data();
  for (std::size_t swap = 0; swap < draws_.size(); swap += 2) {
    std::swap(order[static_cast<std::uint32_t>(draw[swap])],
              order[static_cast<std::uint32_t>(draw[swap + 1])]);
  }
}

void Simulation::BeginTurn(RunState& run) {
  if (run.FollowsTurns) observer_->ShowIteration(run.IterationNo);
  const GridPos pos = CellPosition(run.CellNo, model_.GridSide());
  run.X = pos.x;
  run.Y = pos.y;
}

void Simulation::EndRound(RunState& run) {
  if (!run.Settings.RandomSeq && run.FollowsTurns) {
    ShuffleVisitOrder();
    for (std::int32_t i = 1; i <= model_.CellTotal(); ++i) {
      const GridPos pos = CellPosition(visitOrder_[U(i)], model_.GridSide());
      observer_->DrawCell(pos.x, pos.y, model_.PopulationGrid.At(pos.x, pos.y).Opinion);
    }
  }
  model_.PreviousCensus = model_.OpinionCensus;
  TakeCensus(model_, model_.OpinionCensus);
  observer_->DrawProcess(run.RoundNo, model_.OpinionCensus, model_.PreviousCensus);
  for (int k = 1; k <= std::min<int>(model_.OpinionCount, kCountFields); ++k) {
    observer_->ShowRoundCount(k, CountDisplayText(model_.OpinionCensus[U(k)]));
  }
}

// The round's log line, then the three stop tests: the round limit, two
// rounds without change (one in round 1, the history being clear before it),
// and one opinion holding every cell.
void Simulation::CloseRound(RunState& run) {
  StopReasons& stop = run.Result.Stop;
  stop.Rounds = run.RoundNo >= run.Rounds;
  observer_->AppendLog(RoundLine(run.RoundNo, run.ChangeCount));
  observer_->RoundClosed(run.RoundNo, run.ChangeCount, model_.OpinionCensus);
  ChangeHistory& history = model_.History;
  for (int i = 5; i >= 2; --i) history[U(i)] = history[U(i - 1)];
  history[1] = run.ChangeCount;
  stop.Quiet = history[1] + history[2] == 0;
  stop.Unanimity = false;
  for (int k = 1; k <= kCensusCapacity; ++k) {
    if (model_.OpinionCensus[U(k)] == model_.CellTotal()) stop.Unanimity = true;
  }
  run.StopFlag = stop.Any();
  observer_->RoundPopulation(run.RoundNo, model_.PopulationGrid);
  if (cycles_) WatchRound(run);
  if (!run.StopFlag && cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
    run.Result.Cancelled = true;
    run.StopFlag = true;
  }

  RunResult& result = run.Result;
  result.RoundsRun = run.RoundNo;
  result.TotalChanges += run.ChangeCount;
  if (run.ChangeCount != 0) result.LastChangeRound = run.RoundNo;
  result.EndCensus = model_.OpinionCensus;
}

// A cycle of period 2 or more ends a watched run once it has come round the
// asked number of times, and is named among the reasons when the round limit
// ends the run inside one.
void Simulation::WatchRound(RunState& run) {
  cycles_->Record(run.RoundNo, model_.PopulationGrid);
  const PatternCycle cycle = cycles_->Latest();
  const bool cycling = cycle.Period >= 2;
  StopReasons& stop = run.Result.Stop;
  stop.Cycle = cycling &&
               (stop.Rounds || (stopAfterRepeats_ > 0 && cycles_->Repeats() >= stopAfterRepeats_));
  run.StopFlag = stop.Any();
  run.Result.Repetition = cycle;
}

void Simulation::FinishRun() {
  observer_->AppendLog(kEndOfJobLine);
}

}  // namespace impactsim
