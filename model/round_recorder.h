#pragma once
// Records, as a run goes, what a sweep row and a per-round series report of
// it: the population the run started from and, when asked, every round's
// census and spatial measures.

#include <cstdint>
#include <vector>

#include "model/grid.h"
#include "model/program_profile.h"
#include "model/run_observer.h"
#include "model/run_settings.h"

namespace impactsim {

// Whether a run of `program` with `settings` takes place on a torus: always
// for a program without walls, otherwise when "Edge" is off. The run driver
// decides by this rule too.
bool GridWraps(const ProgramProfile& program, const RunSettings& settings);

// One round of a run as a series reports it; round 0 is the run's start,
// with 0 changes.
struct RoundPoint {
  std::int32_t Round = 0;
  std::int32_t Changes = 0;
  std::int32_t Opinion1 = 0;
  std::int32_t Opinion2 = 0;
  std::int64_t Clusters = 0;
  double LikeNeighbours = 0.0;
  Census Counts{};  // the census after the round: entry k for opinion k
  friend bool operator==(const RoundPoint&, const RoundPoint&) = default;
};

// The observer of one run (a new one per run). Keeps a copy of the starting
// population; with `recordRounds`, also measures the population after every
// round (one pass over the grid per measure), the measures taken on the grid
// as the run sees it (`wrapped`: see GridWraps), and hands each round's point
// to Measured as soon as it is taken.
class RoundRecorder : public RunObserver {
 public:
  RoundRecorder(bool wrapped, bool recordRounds) : wrapped_(wrapped), recordRounds_(recordRounds) {}

  bool FollowsTurns() const override { return false; }
  void RunStarted(const Census& census) override;
  void RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) override;
  void RoundPopulation(std::int32_t roundNo, const Grid& population) override;

  const Grid& StartPopulation() const { return start_; }
  // Rounds 0 to the last, in order, as Measured keeps them; empty unless
  // rounds are recorded and Measured is left as it is.
  const std::vector<RoundPoint>& Rounds() const { return rounds_; }

 protected:
  // Takes each round's point, round 0 first, in order. Keeps it in Rounds();
  // a recorder that writes each point out as it comes overrides it and holds
  // nothing per round.
  virtual void Measured(const RoundPoint& point) { rounds_.push_back(point); }

 private:
  bool wrapped_;
  bool recordRounds_;
  Grid start_;
  RoundPoint pending_;  // census and changes of the round whose population comes next
  std::vector<RoundPoint> rounds_;
};

}  // namespace impactsim
