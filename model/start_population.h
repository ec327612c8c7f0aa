#pragma once
// A population given to start a run from instead of the one the random
// source builds: the opinions of every cell and, optionally, its strengths.
// The model reads no files; the front ends make this from a start file or
// from arrays.

#include <cstdint>
#include <string>
#include <vector>

namespace impactsim {

// Cells row by row from the top, each row from the left: cell (x, y) is at
// (y - 1) * Side + (x - 1), as in Grid. Opinions 1..16 (a run takes only
// those up to its Opinions); strengths, when
// given, 0..100 and both of Side * Side entries.
struct StartPopulation {
  int Side = 0;
  std::vector<std::uint8_t> Opinions;
  std::vector<std::uint8_t> Persuasiveness;  // empty: not given
  std::vector<std::uint8_t> Supportiveness;  // empty exactly when Persuasiveness is
  // What a sweep's rows call it ("sha256:<hex>" of its file); empty where
  // nothing names it.
  std::string Name;

  bool HasStrengths() const { return !Persuasiveness.empty(); }
  friend bool operator==(const StartPopulation&, const StartPopulation&) = default;
};

}  // namespace impactsim
