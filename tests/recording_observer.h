#pragma once
// An observer that records what a run reports, for tests.

#include <string>
#include <vector>

#include "model/run_observer.h"

namespace impactsim::testing {

struct RecordingObserver : RunObserver {
  struct CellDraw {
    int x, y;
    std::uint8_t opinion;
    int round;
    int iteration;  // the last iteration shown before the draw
  };

  void StrategyMap() override { events.push_back("StrategyMap"); }
  void DrawMap(const Grid&) override { events.push_back("DrawMap"); }
  void DrawCell(int x, int y, std::uint8_t opinion) override {
    cells.push_back({x, y, opinion, round, iteration});
  }
  void ProcessFrame() override { events.push_back("ProcessFrame"); }
  void DrawProcess(std::int32_t r, const Census& current, const Census& previous) override {
    events.push_back("DrawProcess " + std::to_string(r));
    columns.push_back({current, previous});
  }
  void ShowRound(std::int32_t r) override {
    round = r;
    events.push_back("ShowRound " + std::to_string(r));
  }
  void ShowIteration(std::int32_t i) override {
    iteration = i;
    ++iterationsShown;
  }
  void ShowInitialCount(int opinion, std::string_view text) override {
    initialCounts.push_back(std::to_string(opinion) + "=" + std::string(text));
  }
  void ShowRoundCount(int opinion, std::string_view text) override {
    roundCounts.push_back(std::to_string(opinion) + "=" + std::string(text));
  }
  bool FollowsTurns() const override { return follows; }
  void AppendLog(std::string_view line) override { log.emplace_back(line); }
  void RunStarted(const Census& census) override { startCensus = census; }
  void RoundClosed(std::int32_t, std::int32_t changes, const Census&) override {
    changeCounts.push_back(changes);
  }

  std::vector<std::string> events;
  std::vector<CellDraw> cells;
  std::vector<std::pair<Census, Census>> columns;
  std::vector<std::string> initialCounts;
  std::vector<std::string> roundCounts;
  std::vector<std::string> log;
  std::vector<std::int32_t> changeCounts;
  Census startCensus{};
  int round = 0;
  int iteration = 0;
  long iterationsShown = 0;
  bool follows = true;  // FollowsTurns' answer
};

}  // namespace impactsim::testing
