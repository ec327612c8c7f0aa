#pragma once
// What a run shows: the map, the evolution chart, the counters, the census
// fields and the log. The window draws them; the headless runner records or
// ignores them.

#include <cstdint>
#include <string_view>

#include "model/grid.h"

namespace impactsim {

// Receives everything a population build and a run report, on the thread
// that runs them, in the order the run produces it.
//
// Per population build: ShowInitialCount for opinions 1..OpinionCount (at
// most five fields). Per run: StrategyMap, DrawMap, ProcessFrame, the log line
// "0 : ", RunStarted, RoundPopulation(0); per round: ShowRound, then ShowIteration once per turn
// (and DrawCell after each turn in sequential mode), then DrawCell for every
// cell in visit order (simultaneous mode), DrawProcess, ShowRoundCount, the
// round's log line, RoundClosed and RoundPopulation; finally "Normal End of Job"
// (not after a cancelled run: Simulation::CancelOn).
// ShowIteration and DrawCell run once per turn: keep them cheap. An observer
// that takes neither answers false to FollowsTurns, and the run then makes
// neither call (nor the work only they need). Every other method has an
// empty default, so an observer overrides only what it shows. No method may
// change the model.
class RunObserver {
 public:
  virtual ~RunObserver() = default;

  // Map: blank it, draw every cell (column by column), redraw one cell.
  virtual void StrategyMap() {}
  virtual void DrawMap(const Grid& population) { (void)population; }
  virtual void DrawCell(int x, int y, std::uint8_t opinion) { (void)x, (void)y, (void)opinion; }

  // Evolution chart: the empty frame; one column from this round's census and
  // the previous one.
  virtual void ProcessFrame() {}
  virtual void DrawProcess(std::int32_t round, const Census& current, const Census& previous) {
    (void)round, (void)current, (void)previous;
  }

  // Counters: the round number and the position of the turn within the round.
  virtual void ShowRound(std::int32_t roundNo) { (void)roundNo; }
  virtual void ShowIteration(std::int32_t iterationNo) { (void)iterationNo; }

  // Whether ShowIteration and DrawCell are wanted; asked once per run.
  virtual bool FollowsTurns() const { return true; }

  // Census fields, opinion 1..5: after a population build, after each round.
  virtual void ShowInitialCount(int opinion, std::string_view text) { (void)opinion, (void)text; }
  virtual void ShowRoundCount(int opinion, std::string_view text) { (void)opinion, (void)text; }

  // A line appended to the log.
  virtual void AppendLog(std::string_view line) { (void)line; }

  // Data hooks for recorders: the run-start census, and each round's change
  // count and census once the round is closed.
  virtual void RunStarted(const Census& census) { (void)census; }
  virtual void RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) {
    (void)roundNo, (void)changes, (void)census;
  }
  // The population as it stands at the start (round 0) and after each round,
  // for recorders of per-round measures. Once per round: may take a pass over
  // the grid, not much more.
  virtual void RoundPopulation(std::int32_t roundNo, const Grid& population) {
    (void)roundNo, (void)population;
  }
};

// An observer that passes what is drawn (the map, the chart, and whether
// turns are followed) on to another observer that draws them, or drops it
// where there is none: for front ends that make pictures only when asked.
class DrawingRelay : public RunObserver {
 public:
  explicit DrawingRelay(RunObserver* drawing) : drawing_(drawing) {}

  void StrategyMap() override {
    if (drawing_ != nullptr) drawing_->StrategyMap();
  }
  void DrawMap(const Grid& population) override {
    if (drawing_ != nullptr) drawing_->DrawMap(population);
  }
  void DrawCell(int x, int y, std::uint8_t opinion) override {
    if (drawing_ != nullptr) drawing_->DrawCell(x, y, opinion);
  }
  bool FollowsTurns() const override { return drawing_ != nullptr && drawing_->FollowsTurns(); }
  void ProcessFrame() override {
    if (drawing_ != nullptr) drawing_->ProcessFrame();
  }
  void DrawProcess(std::int32_t round, const Census& current, const Census& previous) override {
    if (drawing_ != nullptr) drawing_->DrawProcess(round, current, previous);
  }

 private:
  RunObserver* drawing_;
};

}  // namespace impactsim
