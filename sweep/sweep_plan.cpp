#include "sweep/sweep_plan.h"

#include <algorithm>
#include <array>
#include <limits>

namespace impactsim {

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
std::array<std::uint64_t, kSettingCount + 2> Radices(const SweepPlan& plan) {
  std::array<std::uint64_t, kSettingCount + 2> radices{};
  radices[0] = std::max<std::uint64_t>(plan.Programs.size(), 1);
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    radices[i + 1] = std::max<std::uint64_t>(plan.Values[i].size(), 1);
  }
  radices.back() = plan.Seeds.Count();
  return radices;
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
  std::array<std::uint64_t, kSettingCount + 2> digit{};
  std::uint64_t rest = number;
  for (std::size_t i = radices.size(); i-- > 0;) {
    digit[i] = rest % radices[i];
    rest /= radices[i];
  }
  SweepTask task;
  task.Number = number;
  task.Program = Programs[digit[0]];
  task.Settings = task.Program->Defaults;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& setting = SettingOptions()[i];
    if (Values[i].empty() || !setting.HasIn(*task.Program)) continue;
    setting.Set(task.Settings, Values[i][digit[i + 1]]);
  }
  task.Seed = Seeds.At(digit.back());
  task.StopOnCycle = StopOnCycle;
  task.Unanimity = Unanimity;
  return task;
}

}  // namespace impactsim
