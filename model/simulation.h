#pragma once
// One program's engine: the model state, its random source and impact model,
// the population build and the run driver.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/cycle_watch.h"
#include "model/impact_model.h"
#include "model/model_state.h"
#include "model/program_profile.h"
#include "model/random_source.h"
#include "model/run_observer.h"
#include "model/run_result.h"
#include "model/run_settings.h"

namespace impactsim {

// Text shown in a count field: plain decimal digits, cut to 10 characters.
std::string CountDisplayText(std::int32_t count);

// The log line that opens a run (round 0) and the line of a finished round.
std::string RunStartLine(std::int32_t roundNo);
std::string RoundLine(std::int32_t roundNo, std::int32_t changeCount);
inline constexpr std::string_view kEndOfJobLine = "Normal End of Job";

// How a turn picks the cell's opinion from the totals, and what a change
// does. Noise 0: the opinion of greatest total, ties drawn by lot (one
// RandBelow, on a tie only). Noise T > 0: opinion o with probability
// e^(I_o / T) / sum_j e^(I_j / T), by exactly one RandReal. Either way a
// change then draws new strengths (persuasiveness, then supportiveness)
// where RedrawStrengths says so, and under equal strengths gives both
// EqualStrength after drawing them.
struct TurnRule {
  bool RedrawStrengths = false;
  double Noise = 0.0;  // >= 0
  std::optional<std::uint8_t> EqualStrength = std::nullopt;
};

// The value every strength keeps under the settings' strengths rule, if
// they are all equal.
inline std::optional<std::uint8_t> EqualStrengthOf(const RunSettings& settings) {
  if (settings.Strengths.Draw != StrengthDraw::Equal) return std::nullopt;
  return settings.Strengths.Value;
}

// One cell's turn: asks the impact model for the impact of every opinion,
// gives the cell the opinion the rule picks, and on a change counts it.
void UpdateOpinion(ModelState& model, ImpactModel& impact, RandomSource& random,
                   const TurnRule& rule, int x, int y, std::int32_t& changeCount);

// The same turn with the impacts already worked out (`totals`, opinions
// 1..OpinionCount): what UpdateOpinion does after asking the impact model.
void ApplyImpact(ModelState& model, const ImpactVector& totals, RandomSource& random,
                 const TurnRule& rule, int x, int y, std::int32_t& changeCount);

// The end of a turn whose opinion is chosen: gives the cell `chosen` and, on
// a change, counts it and draws new strengths as the rule says.
void ApplyChoice(ModelState& model, std::uint8_t chosen, RandomSource& random, const TurnRule& rule,
                 int x, int y, std::int32_t& changeCount);

// The chance of each opinion 1..Opinions per cell (entry k - 1 for opinion
// k) that a population built by share has: 1 - InitialShare and
// InitialShare for two opinions, else InitialShares or 1 / Opinions each.
std::vector<double> InitialSharesOf(const RunSettings& settings);

// The opinion a draw r in [0, 1) gives by shares: the first k of 2, 3, ...
// whose running sum shares[1] + ... + shares[k - 1], added in that order,
// exceeds r; otherwise 1. For two opinions that is 2 exactly when
// r < shares[1].
std::uint8_t OpinionOfDraw(double r, std::span<const double> shares);

// Fills the model's population (its grid already of the run's side) from
// `random`, column by column, each column from the top, taking exactly three
// draws per cell whatever the rules (opinion, persuasiveness,
// supportiveness), so what is drawn after the build does not depend on them.
// Opinion: by share, 2 where a RandReal() falls below InitialShare (with
// more than two opinions, OpinionOfDraw of a RandReal()); by count
// (InitialCount >= 0, at most CellTotal), exactly InitialCount cells of 2 by
// selection sampling, one RandBelow per cell. Strengths: Uniform draws each
// from 0..100; Equal draws them and gives both Value (a run's TurnRule
// gives Value to strengths drawn anew later too).
// With a Start (of the grid's side), every cell takes its opinion from it,
// and under Given its two strengths too; the three draws per cell are taken
// and dropped all the same, so that the random state after the build is the
// one the same settings without a Start leave. Given strengths are not
// equal ones: in halvorn a cell that changes its opinion draws two new
// strengths from 0..100, as under Uniform.
// Sets only the cells.
void BuildPopulation(const RunSettings& settings, ModelState& model, RandomSource& random);

class Simulation {
 public:
  Simulation(const ProgramProfile& program, Clock& clock, const SettingsSource& settings,
             RunObserver& observer);

  // Builds a new random population from the current settings (BuildPopulation)
  // on a grid of their side (0: the program's own), with the ring scope of
  // their Scope or else of "Wide Scope", reseeding from the clock first;
  // shows its census in the initial count fields and clears the change
  // history. Draws nothing. From here on the run's sizes follow the model's
  // grid, not the program's.
  void DefaultValues();

  // One complete run, from the settings to "Normal End of Job". Returns when
  // the run is over, with what it did.
  RunResult Run();

  // From the next run on, watch the opinion pattern for repetitions and
  // report them in RunResult::Repetition (and Stop.Cycle). With
  // stopAfterRepeats > 0, a run also ends once its pattern has gone through
  // a cycle of period 2 or more that many times again. Runs that are not
  // watched stop exactly as they always do.
  void WatchCycles(std::int32_t stopAfterRepeats);
  // From the next run on, watch no more.
  void StopWatchingCycles() {
    cycles_.reset();
    stopAfterRepeats_ = 0;
  }

  // From the next run on, report to `observer` instead.
  void ReportTo(RunObserver& observer) { observer_ = &observer; }

  // From the next run on, read `flag` (if not null) after every round: a run
  // whose round ends with it set and no stop test fired stops there, with
  // RunResult::Cancelled and without the "Normal End of Job" line. The flag
  // may be set from any thread, or from a signal handler; it must outlive
  // the runs.
  void CancelOn(const std::atomic<bool>* flag) { cancel_ = flag; }

  const ProgramProfile& Program() const { return *program_; }
  ModelState& Model() { return model_; }
  const ModelState& Model() const { return model_; }
  RandomSource& Random() { return random_; }
  ImpactModel& Impact() { return *impact_; }
  const ImpactModel& Impact() const { return *impact_; }

 private:
  // The run state, alive for one call of Run().
  struct RunState {
    std::int32_t Rounds = 0;
    bool StopFlag = false;
    std::int32_t RoundNo = 0;
    std::int32_t ChangeCount = 0;
    std::int32_t IterationNo = 0;
    std::int32_t CellNo = 0;
    int X = 0, Y = 0;
    RunSettings Settings;
    TurnRule Turn;
    RunResult Result;
    bool WholeRounds = false;     // the impact model computes each round's impacts at its start
    bool Certified = false;       // the impact model certifies turns (see ImpactModel)
    std::int32_t TurnsAhead = 0;  // sequential: turns whose impacts are worked out together
    std::int32_t AheadStart = 0;  // the turns IterationNo AheadStart..AheadEnd-1 have impacts
    std::int32_t AheadEnd = 0;
    std::int32_t LastRoundChanges = 0;
    bool FollowsTurns = true;  // the observer's answer
  };

  // One turn named by the impact model where it can, else by the per-turn
  // code; a change reported back in sequential runs.
  void Turns(RunState& run);
  void CertifiedRound(RunState& run);
  void CertifiedTurn(RunState& run);
  // Sizes the grids and the visit order for a grid of `side`.
  void Resize(int side);
  void ReadRunSettings(RunState& run);
  void StartRun(RunState& run);
  void StartRound(RunState& run);
  // The round's visit order: its draws at the round's start, its swaps
  // when a turn or the observer first needs the order.
  void DrawVisitOrder();
  void ShuffleVisitOrder();
  void BeginTurn(RunState& run);
  void EndRound(RunState& run);
  void CloseRound(RunState& run);
  void WatchRound(RunState& run);
  void SpeculativeTurn(RunState& run);
  // Turns a round must have seen before its own rate of changes counts.
  static constexpr std::int32_t kRateTurns = 64;
  std::pair<std::int32_t, std::int32_t> ChangeRate(const RunState& run) const;
  bool FewChangesLikely(const RunState& run) const;
  void FinishRun();

  const ProgramProfile* program_;
  const SettingsSource* settings_;
  RunObserver* observer_;
  ModelState model_;
  RandomSource random_;
  std::unique_ptr<ImpactModel> impact_;
  bool orderShuffled_ = false;            // visitOrder_ holds this round's order
  std::vector<std::int32_t> visitOrder_;  // 1-based: entry 0 unused
  std::vector<std::int32_t> draws_;       // a shuffle's draws: two per swap, ten swaps per cell
  std::optional<CycleWatch> cycles_;
  std::vector<std::uint8_t> roundCertain_;  // simultaneous certified rounds: per cell
  std::vector<ImpactVector> roundImpact_;   // per cell, for whole rounds
  std::vector<SourceCount> roundSources_;
  std::vector<std::int32_t> aheadCells_;  // sequential: the next turns' cells, 0-based
  std::vector<ImpactVector> aheadImpact_;
  std::vector<SourceCount> aheadSources_;
  std::int32_t stopAfterRepeats_ = 0;
  const std::atomic<bool>* cancel_ = nullptr;
};

}  // namespace impactsim
