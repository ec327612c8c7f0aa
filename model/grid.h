#pragma once
// The population: cells on a square grid, the tallies kept per opinion, and
// the 1-based coordinate and cell-number conventions shared by every module.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace impactsim {

// The sides a run's grid may have (RunSettings::Side), for either program:
// the programs' own are 40 and 20.
inline constexpr int kMinGridSide = 4;
inline constexpr int kMaxGridSide = 400;

// The most opinions a run may have (RunSettings::Opinions); the programs
// have 2.
inline constexpr int kMaxOpinions = 16;

// Capacities of the tallies. Opinion numbers are 1-based; entry 0 is unused.
inline constexpr int kCensusCapacity = kMaxOpinions;
inline constexpr int kImpactCapacity = kMaxOpinions;
inline constexpr int kSourceCountCapacity = kMaxOpinions;
inline constexpr int kCountFields = 5;  // census fields per row on the window

// The values a strength may take: 0..100.
inline constexpr int kStrengthValues = 101;

// One individual: an opinion and two strengths in 0..kStrengthValues - 1.
struct Cell {
  std::uint8_t Opinion = 0;
  std::uint8_t Persuasiveness = 0;
  std::uint8_t Supportiveness = 0;
  friend bool operator==(const Cell&, const Cell&) = default;
};

// A square grid of cells addressed by [x, y], both 1-based, x the column from
// the left and y the row from the top. Storage is row by row, so the cell with
// number n (1..CellTotal) is stored at index n - 1.
class Grid {
 public:
  // An empty grid (side 0) until one is assigned.
  Grid() = default;
  explicit Grid(int side) : side_(side), cells_(static_cast<std::size_t>(side * side)) {}

  int Side() const { return side_; }
  int Total() const { return side_ * side_; }

  Cell& At(int x, int y) { return cells_[Index(x, y)]; }
  const Cell& At(int x, int y) const { return cells_[Index(x, y)]; }

  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>((y - 1) * side_ + (x - 1));
  }
  const Cell* Data() const { return cells_.data(); }

  friend bool operator==(const Grid& a, const Grid& b) = default;

 private:
  int side_ = 0;
  std::vector<Cell> cells_;
};

// A count or index the engine keeps as an int (never negative) as a
// container's subscript.
inline constexpr std::size_t U(int i) {
  return static_cast<std::size_t>(i);
}

// Grid position of a cell number: cells are numbered row by row from 1.
struct GridPos {
  int x;
  int y;
  friend bool operator==(const GridPos&, const GridPos&) = default;
};
inline GridPos CellPosition(int cellNumber, int gridSide) {
  int x = cellNumber % gridSide;
  if (x == 0) x = gridSide;
  return {x, (cellNumber - 1) / gridSide + 1};
}

// Tallies, indexed by opinion number 1..capacity; index 0 is never used.
using Census = std::array<std::int32_t, kCensusCapacity + 1>;
using ImpactVector = std::array<double, kImpactCapacity + 1>;
using SourceCount = std::array<std::int32_t, kSourceCountCapacity + 1>;
using ChangeHistory = std::array<std::int32_t, 6>;  // entries 1..5, newest first

}  // namespace impactsim
