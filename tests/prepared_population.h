#pragma once
// A program's population built from a fixed seed, with the engine's impact
// model and a plain reference model both prepared on it, and the checks that
// the two agree bit for bit: single turns, turns worked out ahead, and whole
// simultaneous rounds.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/simulation.h"

namespace impactsim::testing {

inline constexpr DistancePar kAllDistances[] = {DistancePar::Nb,    DistancePar::Zero,
                                                DistancePar::One,   DistancePar::Two,
                                                DistancePar::Three, DistancePar::Four};

// The settings, for failure messages.
std::string Describe(const RunSettings& s);

// Uses the named round kernel until the end of its scope, then the one the
// processor would choose.
class KernelChoice {
 public:
  explicit KernelChoice(const char* name);
  ~KernelChoice();
  KernelChoice(const KernelChoice&) = delete;
  KernelChoice& operator=(const KernelChoice&) = delete;
};

// The snapshot is the population with a scattering of cells (the corners
// among them) then changed in the population, so a model reading the wrong
// grid, or judging the target by the wrong one, shows.
class PreparedPopulation {
 public:
  PreparedPopulation(const ProgramProfile& program, std::unique_ptr<ImpactModel> reference,
                     const RunSettings& settings, std::uint32_t seed);

  const ModelState& Model() const { return simulation_.Model(); }
  int Side() const { return simulation_.Model().GridSide(); }

  // Whether the engine's model works impacts out ahead (whole rounds or
  // turns) for the prepared run, on the round kernels.
  bool EngineWorksAhead() const { return engine_->ComputesRounds() || engine_->TurnsAhead() > 0; }

  // Changes cell [x, y] of the population as a turn would, and tells the
  // engine, as the run driver does in sequential mode.
  void ChangeCell(int x, int y);

  // Changes cell [x, y] as a simultaneous round's turn would, and takes the
  // next round's snapshot.
  void ChangeCellForNextRound(int x, int y);

  // The engine's impacts of several turns' targets worked out together, as
  // the run driver asks for them in sequential mode, against the reference
  // model turn by turn on the same population. turnsLeft: the round's turns
  // still to come, which decides whether the engine works out only these
  // targets or every cell at once.
  void ExpectSameTurnsAhead(const std::vector<std::int32_t>& cells, std::int32_t turnsLeft,
                            const std::string& context);

  // A whole round's impacts from the engine, as the run driver asks for them
  // in simultaneous mode, against the reference model turn by turn: every
  // target's totals and counts, bit for bit.
  void ExpectSameRound(const std::string& context);

  // Every cell's turn as certified turns name it (where the run allows
  // them), against the reference's totals: a named opinion is the only
  // greatest. Returns how many turns were named, -1 where none can be.
  int ExpectCertainChoices(const std::string& context);

  // Computes the cell's impact with both models and expects identical bits.
  // Returns the engine's total source count.
  int ExpectSameImpact(int x, int y, const std::string& context);

 private:
  FixedClock clock_;
  FixedSettings settingsSource_;
  RunObserver observer_;
  Simulation simulation_;
  std::uint8_t ReferenceChoice(int x, int y);
  void ExpectIntervalsHold(int x, int y, const std::string& context);

  std::unique_ptr<ImpactModel> engine_;     // on the kernels
  std::unique_ptr<ImpactModel> certified_;  // certifying turns, as runs do
  std::unique_ptr<ImpactModel> reference_;
};

}  // namespace impactsim::testing
