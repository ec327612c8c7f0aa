#pragma once
// The conditions of a run, as the window's controls (or the command line)
// supply them, and the item tables that turn a control's selection into a value.

#include <array>
#include <cstdint>

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

struct RunSettings {
  std::int32_t Rounds = 500;  // rounds at most, >= 1
  int InitialDistIndex = 1;   // item of "Initial Dist": 0.4, 0.3, 0.2, 0.1
  DistancePar Distance = DistancePar::Two;
  bool Edge = true;         // bounded grid; off: torus
  bool WideScope = false;   // the program's wide ring scope (ProgramProfile)
  bool RemoveSelf = false;  // leave the target's own voice out
  bool SummationM = false;  // plain sums instead of root-damped averages
  bool RandomSeq = false;   // sequential updating; off: simultaneous

  double InitialMinority() const {
    return kInitialDistItems[static_cast<std::size_t>(InitialDistIndex)];
  }
  friend bool operator==(const RunSettings&, const RunSettings&) = default;
};

// Where the run driver reads its settings from.
// Called by the simulation when a run starts (for Rounds) and whenever a
// population is built (for Initial Dist and Wide Scope); the run driver also
// takes the per-turn settings once at the start of a run, which is exact
// because no input is served while a run lasts. Must return a valid setting:
// InitialDistIndex in 0..3 and Rounds >= 1.
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
