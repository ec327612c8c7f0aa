#include "sweep/sweep_plan.h"

#include <algorithm>
#include <array>
#include <limits>
#include <queue>

namespace impactsim {

namespace {

// The seeds of one part of a seed list as ascending ranges: the range
// itself, or a spread's seeds one by one.
struct PartCursor {
  SeedList::Range Current;
  std::optional<SeedSpread> Spread;
  std::uint32_t Index = 0;  // of Current in the spread

  PartCursor(const SeedList::Range& seeds, const std::optional<SeedSpread>& spread)
      : Current(spread ? SeedList::Range{seeds.First, seeds.First} : seeds), Spread(spread) {}

  // Moves to the next range; false after the last.
  bool Next() {
    if (!Spread || Index + 1 >= Spread->Count) return false;
    const std::uint32_t seed = SpreadSeed(*Spread, ++Index);
    Current = {seed, seed};
    return true;
  }
};

}  // namespace

void SeedList::Append(std::uint32_t first, std::uint32_t last) {
  const std::uint64_t count = std::uint64_t{last} - first + 1;
  if (!parts_.empty() && !parts_.back().Spread &&
      parts_.back().Seeds.Last != std::numeric_limits<std::uint32_t>::max() &&
      parts_.back().Seeds.Last + 1 == first) {
    parts_.back().Seeds.Last = last;
    ends_.back() += count;
    return;
  }
  parts_.push_back({{first, last}, std::nullopt});
  ends_.push_back(Count() + count);
}

void SeedList::Append(const SeedSpread& spread) {
  parts_.push_back({{SpreadSeed(spread, 0), SpreadSeed(spread, spread.Count - 1)}, spread});
  ends_.push_back(Count() + spread.Count);
}

std::uint32_t SeedList::At(std::uint64_t index) const {
  const auto it = std::upper_bound(ends_.begin(), ends_.end(), index);
  const std::size_t r = static_cast<std::size_t>(it - ends_.begin());
  const std::uint64_t offset = index - (r == 0 ? 0 : ends_[r - 1]);
  const Part& part = parts_[r];
  if (part.Spread) return SpreadSeed(*part.Spread, static_cast<std::uint32_t>(offset));
  return static_cast<std::uint32_t>(part.Seeds.First + offset);
}

// The parts' ranges, merged in the order of their first seeds: a range that
// starts at or below the highest seed before it holds a repeat.
bool SeedList::FindRepeat(std::uint32_t& seed) const {
  if (parts_.size() < 2) return false;  // no part repeats a seed of its own
  const auto later = [](const PartCursor& a, const PartCursor& b) {
    return a.Current.First > b.Current.First;
  };
  std::priority_queue<PartCursor, std::vector<PartCursor>, decltype(later)> next(later);
  for (const Part& part : parts_) next.emplace(part.Seeds, part.Spread);
  std::int64_t highest = -1;
  while (!next.empty()) {
    PartCursor cursor = next.top();
    next.pop();
    if (std::int64_t{cursor.Current.First} <= highest) {
      seed = cursor.Current.First;
      return true;
    }
    highest = cursor.Current.Last;
    if (cursor.Next()) next.push(cursor);
  }
  return false;
}

void SeedList::ForEachRun(const std::function<void(const Range&)>& visit) const {
  std::optional<Range> run;
  for (const Part& part : parts_) {
    PartCursor cursor(part.Seeds, part.Spread);
    do {
      const Range& r = cursor.Current;
      if (run && run->Last != std::numeric_limits<std::uint32_t>::max() &&
          run->Last + 1 == r.First) {
        run->Last = r.Last;
        continue;
      }
      if (run) visit(*run);
      run = r;
    } while (cursor.Next());
  }
  if (run) visit(*run);
}

std::string SeedList::Text() const {
  std::string text;
  for (const Part& part : parts_) {
    if (!text.empty()) text += ',';
    const Range& r = part.Seeds;
    text += part.Spread         ? part.Spread->Text()
            : r.First == r.Last ? std::to_string(r.First)
                                : std::to_string(r.First) + '-' + std::to_string(r.Last);
  }
  return text;
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

SettingColumns SweepPlan::Columns() const {
  SettingColumns columns = WindowsColumns();
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (!Values[i].empty()) columns |= SettingColumns{1} << i;
  }
  int opinions = 2;
  for (const std::string& value : Values[kOpinionsSetting]) {
    opinions = std::max(opinions, std::stoi(value));
  }
  return WithOpinionColumns(columns, opinions);
}

std::string SweepPlan::Shown(std::size_t setting, std::size_t v) const {
  return SettingOptions()[setting].SweepOnly ? Starts.at(v).Population->Name : Values[setting][v];
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
    if (setting.SweepOnly) task.Settings.Start = Starts.at(digit[i + 1]).Population;
  }
  task.Seed = Seeds.At(digit.back());
  task.Columns = Columns();
  task.StopOnCycle = StopOnCycle;
  task.Unanimity = Unanimity;
  return task;
}

}  // namespace impactsim
