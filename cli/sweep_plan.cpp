#include "sweep_plan.h"

#include <algorithm>
#include <array>
#include <limits>

namespace impactsim::cli {

void SeedList::Append(std::uint32_t first, std::uint32_t last) {
  const std::uint64_t count = std::uint64_t{last} - first + 1;
  if (!ranges_.empty() && ranges_.back().Last != std::numeric_limits<std::uint32_t>::max() &&
      ranges_.back().Last + 1 == first) {
    ranges_.back().Last = last;
    ends_.back() += count;
    return;
  }
  ranges_.push_back({first, last});
  ends_.push_back(Count() + count);
}

std::uint32_t SeedList::At(std::uint64_t index) const {
  const auto it = std::upper_bound(ends_.begin(), ends_.end(), index);
  const std::size_t r = static_cast<std::size_t>(it - ends_.begin());
  const std::uint64_t start = r == 0 ? 0 : ends_[r - 1];
  return static_cast<std::uint32_t>(ranges_[r].First + (index - start));
}

bool SeedList::FindRepeat(std::uint32_t& seed) const {
  std::vector<Range> sorted = ranges_;
  std::sort(sorted.begin(), sorted.end(),
            [](const Range& a, const Range& b) { return a.First < b.First; });
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    if (sorted[i].First <= sorted[i - 1].Last) {
      seed = sorted[i].First;
      return true;
    }
  }
  return false;
}

namespace {

// The list sizes, outermost first; an empty list counts as its one default.
std::array<std::uint64_t, 10> Radices(const SweepPlan& plan) {
  const auto size = [](std::size_t n) { return std::max<std::uint64_t>(n, 1); };
  return {size(plan.Programs.size()),    size(plan.Rounds.size()),
          size(plan.InitialDist.size()), size(plan.Distance.size()),
          size(plan.Edge.size()),        size(plan.WideScope.size()),
          size(plan.RemoveSelf.size()),  size(plan.Summation.size()),
          size(plan.Sequential.size()),  plan.Seeds.Count()};
}

}  // namespace

std::uint64_t SweepPlan::TaskCount() const {
  std::uint64_t total = 1;
  for (const std::uint64_t radix : Radices(*this)) {
    if (radix == 0) return 0;
    if (total > std::numeric_limits<std::uint64_t>::max() / radix) return 0;
    total *= radix;
  }
  return total;
}

SweepTask SweepPlan::Task(std::uint64_t number) const {
  const auto radices = Radices(*this);
  std::array<std::uint64_t, 10> digit{};
  std::uint64_t rest = number;
  for (std::size_t i = radices.size(); i-- > 0;) {
    digit[i] = rest % radices[i];
    rest /= radices[i];
  }
  const auto pick = [&digit](const auto& list, std::size_t dim, auto fallback) {
    return list.empty() ? fallback : static_cast<decltype(fallback)>(list[digit[dim]]);
  };

  SweepTask task;
  task.Number = number;
  task.Program = Programs[digit[0]];
  const ProgramSpec& program = *task.Program;
  RunSettings& s = task.Settings;
  s = program.Defaults;
  s.Rounds = pick(Rounds, 1, s.Rounds);
  s.InitialDistIndex = pick(InitialDist, 2, s.InitialDistIndex);
  s.Distance = pick(Distance, 3, s.Distance);
  if (program.HasEdge) s.Edge = pick(Edge, 4, s.Edge);
  if (program.HasWideScope) s.WideScope = pick(WideScope, 5, s.WideScope);
  if (program.HasRemoveSelf) s.RemoveSelf = pick(RemoveSelf, 6, s.RemoveSelf);
  s.SummationM = pick(Summation, 7, s.SummationM);
  s.RandomSeq = pick(Sequential, 8, s.RandomSeq);
  task.Seed = Seeds.At(digit[9]);
  return task;
}

}  // namespace impactsim::cli
