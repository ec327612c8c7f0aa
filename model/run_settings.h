#pragma once
// The conditions of a run, as the window's controls (or the command line)
// supply them, and the item tables that turn a control's selection into a value.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "model/start_population.h"

namespace impactsim {

// "Distance Par": the item index selects the power of distance that divides a
// source's strength. "nb" also narrows the ring neighbourhood to ring 1.
enum class DistancePar : std::uint8_t { Nb = 0, Zero = 1, One = 2, Two = 3, Three = 4, Four = 5 };

// Exponent of distance for each DistancePar ("nb" and " 0" both give 0).
inline constexpr int DistanceExponent(DistancePar p) {
  return p == DistancePar::Nb ? 0 : static_cast<int>(p) - 1;
}

// Values of the "Rounds" and "Initial Dist" items, by item index.
inline constexpr std::array<std::int32_t, 4> kRoundsItems = {50, 100, 150, 500};
inline constexpr std::array<double, 4> kInitialDistItems = {0.4, 0.3, 0.2, 0.1};

// How distance divides a source's strength: by distance to a real power >= 0,
// or "nb" (power 0, and ring neighbourhoods keep to ring 1). The window's
// "Distance Par" items are the powers 0..4 and nb.
struct DistanceRule {
  bool Nb = false;
  double Power = 2.0;

  constexpr DistanceRule() = default;
  constexpr DistanceRule(DistancePar p)  // NOLINT: an item is a rule
      : Nb(p == DistancePar::Nb), Power(DistanceExponent(p)) {}
  static constexpr DistanceRule OfPower(double power) {
    DistanceRule r;
    r.Power = power;
    return r;
  }
  // The window's item for this rule, if it has one.
  std::optional<DistancePar> MenuItem() const {
    if (Nb) return DistancePar::Nb;
    for (int e = 0; e <= 4; ++e) {
      if (Power == e) return static_cast<DistancePar>(e + 1);
    }
    return std::nullopt;
  }
  friend bool operator==(const DistanceRule&, const DistanceRule&) = default;
};

// How the population's strengths are drawn: uniformly from 0..100 (the
// programs), all equal to Value, or taken from the start population
// (RunSettings::Start, which must then hold strengths).
enum class StrengthDraw : std::uint8_t { Uniform, Equal, Given };
struct StrengthRule {
  StrengthDraw Draw = StrengthDraw::Uniform;
  std::uint8_t Value = 0;  // for Equal: 0..100
  friend bool operator==(const StrengthRule&, const StrengthRule&) = default;
};

// The scope of a ring neighbourhood: the sources on rings 1..Radius around
// the target (city-block distance), and of those only the ones within the
// Euclidean Distance.
struct RingScope {
  std::uint8_t Radius = 0;
  double Distance = 0.0;
  friend bool operator==(const RingScope&, const RingScope&) = default;
};

// The "Initial Dist" item of a share, or -1 for a share the window does not offer.
inline int InitialDistItem(double share) {
  for (std::size_t i = 0; i < kInitialDistItems.size(); ++i) {
    if (kInitialDistItems[i] == share) return static_cast<int>(i);
  }
  return -1;
}

// Two start populations are the same when they hold the same cells.
inline bool SameStart(const std::shared_ptr<const StartPopulation>& a,
                      const std::shared_ptr<const StartPopulation>& b) {
  return a == b || (a && b && *a == *b);
}

struct RunSettings {
  std::int32_t Rounds = 500;  // rounds at most, >= 1
  double InitialShare = 0.3;  // chance of opinion 2 per cell, in [0, 1]
  DistanceRule Distance = DistancePar::Two;
  bool Edge = true;         // bounded grid; off: torus
  bool WideScope = false;   // the program's wide ring scope (ProgramProfile)
  bool RemoveSelf = false;  // leave the target's own voice out
  bool SummationM = false;  // plain sums instead of root-damped averages
  bool RandomSeq = false;   // sequential updating; off: simultaneous

  // Beyond the window's controls (the command line and the module); the
  // defaults are the programs' own behaviour.
  int Side = 0;                    // cells per side of the grid; 0: the program's own
  std::optional<RingScope> Scope;  // ring neighbourhoods; none: by Wide Scope
  std::int32_t InitialCount = -1;  // exactly this many cells of opinion 2; -1: by share
  StrengthRule Strengths;
  double Noise = 0.0;  // temperature of the update rule, >= 0; 0: the greatest impact wins
  // How many opinions the population holds: 2..kMaxOpinions (the programs: 2).
  std::uint8_t Opinions = 2;
  // With more than two opinions, the chance of each opinion 1..Opinions per
  // cell (entry k - 1 for opinion k), summing to 1; empty: 1 / Opinions each.
  // Two opinions take InitialShare or InitialCount instead, never these.
  std::vector<double> InitialShares;
  // The population the run starts from; none: the random source builds it.
  // Shared and never changed, so that copies of the settings stay cheap.
  std::shared_ptr<const StartPopulation> Start;
  friend bool operator==(const RunSettings& a, const RunSettings& b) {
    return a.Rounds == b.Rounds && a.InitialShare == b.InitialShare && a.Distance == b.Distance &&
           a.Edge == b.Edge && a.WideScope == b.WideScope && a.RemoveSelf == b.RemoveSelf &&
           a.SummationM == b.SummationM && a.RandomSeq == b.RandomSeq && a.Side == b.Side &&
           a.Scope == b.Scope && a.InitialCount == b.InitialCount && a.Strengths == b.Strengths &&
           a.Noise == b.Noise && a.Opinions == b.Opinions && a.InitialShares == b.InitialShares &&
           SameStart(a.Start, b.Start);
  }
};

// Where the run driver reads its settings from.
// Called by the simulation when a run starts (for Rounds) and whenever a
// population is built (for Initial Dist and Wide Scope); the run driver also
// takes the per-turn settings once at the start of a run, which is exact
// because no input is served while a run lasts. Must return a valid setting:
// InitialShare in [0, 1], Rounds >= 1, Side 0 or kMinGridSide..kMaxGridSide,
// InitialCount -1 or 0..Side^2 (-1 with a Start or more than two
// Opinions), Opinions 2..kMaxOpinions, InitialShares empty at two opinions
// and otherwise empty or Opinions entries >= 0 summing to 1 (within 1e-9),
// a Start's opinions 1..Opinions, Strengths Given only with
// a Start that holds strengths, a Start of the run's side, a Scope's Radius 1..100
// and Distance in [0, 200], and on a torus a side greater than twice the
// scope's reach (RingReach).
class SettingsSource {
 public:
  virtual ~SettingsSource() = default;
  virtual RunSettings CurrentSettings() const = 0;
};

// A settings source holding one fixed value, for the headless runner and tests.
class FixedSettings final : public SettingsSource {
 public:
  explicit FixedSettings(const RunSettings& s) : settings_(s) {}
  RunSettings CurrentSettings() const override { return settings_; }
  void Set(const RunSettings& s) { settings_ = s; }

 private:
  RunSettings settings_;
};

}  // namespace impactsim
