#pragma once
// What every round kernel shares: the widest vector it may use, the totals
// it writes, and the cache of them the models keep.

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "model/grid.h"

namespace impactsim {

// The most doubles a kernel's vector holds: 512 bits, the widest vectors of
// the instruction sets the kernels are compiled for. The kernels cap their
// vectors at this many lanes (hn::CappedTag), so a wider instruction set
// cannot outgrow their lane buffers; padded grids leave this much room on the
// right.
inline constexpr int kMaxLanes = 8;

// Per target: the totals of opinions 1 and 2 and their source counts, as a
// kernel writes them.
struct KernelOutput {
  double* first = nullptr;
  double* second = nullptr;
  std::int32_t* firstCount = nullptr;
  std::int32_t* secondCount = nullptr;
};

// Every cell's impacts as the kernels last worked them out (a kernel writes
// a target's totals at its cell number), and which of them still hold: a
// model marks stale every cell whose sources changed since, and works out
// again only those, or all cells at once where that is cheaper.
class ImpactCache {
 public:
  void Resize(std::size_t cells) {
    first_.resize(cells);
    second_.resize(cells);
    firstCount_.resize(cells);
    secondCount_.resize(cells);
    fresh_.assign(cells, 0);
    stale_ = cells;
  }
  KernelOutput Output() {
    return {first_.data(), second_.data(), firstCount_.data(), secondCount_.data()};
  }

  std::size_t Cells() const { return fresh_.size(); }
  std::size_t StaleCount() const { return stale_; }
  bool Fresh(std::size_t cell) const { return fresh_[cell] != 0; }
  void MarkStale(std::size_t cell) {
    stale_ += fresh_[cell];
    fresh_[cell] = 0;
  }
  void MarkAllStale() {
    std::fill(fresh_.begin(), fresh_.end(), std::uint8_t{0});
    stale_ = fresh_.size();
  }
  void MarkFresh(std::size_t cell) {
    stale_ -= 1u - fresh_[cell];
    fresh_[cell] = 1;
  }
  void MarkAllFresh() {
    std::fill(fresh_.begin(), fresh_.end(), std::uint8_t{1});
    stale_ = 0;
  }

  // Works out the stale impacts among `wanted` with some(cells, count), or
  // every cell's with all() where `expected` stale cells will be wanted
  // before they change again and that is cheaper: the kernels for a whole
  // grid cost about a quarter per target of those for scattered targets.
  template <class All, class Some>
  void Refresh(std::size_t expected, std::span<const std::int32_t> wanted, const All& all,
               const Some& some) {
    if (stale_ == 0) return;
    if (4 * expected >= fresh_.size()) {
      all();
      MarkAllFresh();
      return;
    }
    wantedStale_.clear();
    for (std::int32_t cell : wanted) {
      if (!Fresh(static_cast<std::size_t>(cell))) wantedStale_.push_back(cell);
    }
    some(wantedStale_.data(), static_cast<int>(wantedStale_.size()));
    for (std::int32_t cell : wantedStale_) MarkFresh(static_cast<std::size_t>(cell));
  }

  // Entry j of impact and sources from cell cells[j]'s, as ComputeImpact
  // gives them (impact[j][1..2], sources[j][1..2]).
  void CopyTo(std::span<const std::int32_t> cells, std::span<ImpactVector> impact,
              std::span<SourceCount> sources) const {
    for (std::size_t j = 0; j < cells.size(); ++j)
      Copy(static_cast<std::size_t>(cells[j]), impact[j], sources[j]);
  }
  // Every cell's, entry i from cell i.
  void CopyAll(std::span<ImpactVector> impact, std::span<SourceCount> sources) const {
    for (std::size_t i = 0; i < fresh_.size(); ++i) Copy(i, impact[i], sources[i]);
  }

 private:
  void Copy(std::size_t cell, ImpactVector& impact, SourceCount& sources) const {
    impact[1] = first_[cell];
    impact[2] = second_[cell];
    sources[1] = firstCount_[cell];
    sources[2] = secondCount_[cell];
  }

  std::vector<double> first_, second_;
  std::vector<std::int32_t> firstCount_, secondCount_;
  std::vector<std::uint8_t> fresh_;
  std::size_t stale_ = 0;
  std::vector<std::int32_t> wantedStale_;
};

}  // namespace impactsim
