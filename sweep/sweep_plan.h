#pragma once
// The task list of a sweep: the cross product of the value lists of every run
// setting and of the seeds, numbered before anything runs. Tasks are decoded
// from their number on demand, so a sweep of millions of runs needs no list
// in memory.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/program_profile.h"
#include "model/run_settings.h"
#include "sweep/setting_options.h"
#include "sweep/spread_seeds.h"
#include "sweep/start_file.h"

namespace impactsim {

// The seeds of a sweep, in the order given: ranges and spreads, each kept
// as given, so that a list of millions of seeds costs little memory.
class SeedList {
 public:
  struct Range {
    std::uint32_t First;
    std::uint32_t Last;
  };

  // Appends first..last (first <= last); a range that continues the last one
  // is merged into it.
  void Append(std::uint32_t first, std::uint32_t last);
  // Appends the seeds of a spread, in their ascending order.
  void Append(const SeedSpread& spread);

  std::uint64_t Count() const { return ends_.empty() ? 0 : ends_.back(); }
  std::uint32_t At(std::uint64_t index) const;  // index < Count()

  // The lowest seed that occurs more than once, if any.
  bool FindRepeat(std::uint32_t& seed) const;

  // Calls visit for each maximal run of consecutive seeds, in order.
  void ForEachRun(const std::function<void(const Range&)>& visit) const;

  // The seeds as "--seeds" takes them: the ranges ("A" or "A-B") and the
  // spreads ("spread:N") in order, comma-separated.
  std::string Text() const;

 private:
  struct Part {
    Range Seeds;  // a range; a spread's lowest and highest seed
    std::optional<SeedSpread> Spread;
  };
  std::vector<Part> parts_;
  std::vector<std::uint64_t> ends_;  // seeds in parts_[0..i]
};

// What a row's period says of a run that ends with one opinion in every
// cell. Rows give 1, at rest, as for every run whose pattern no longer
// changes (the run ends there); files written by earlier versions gave the
// pattern's own repetition, 0, and are re-made so when verified.
enum class UnanimityPeriod : std::uint8_t { AtRest, PatternRepeat };

// One run of the sweep.
struct SweepTask {
  std::uint64_t Number = 0;
  const ProgramProfile* Program = nullptr;
  std::uint32_t Seed = 0;
  RunSettings Settings;
  SettingColumns Columns = WindowsColumns();  // the settings its row shows
  // Above 0: the run also ends once its pattern has gone through a cycle of
  // period 2 or more this many times again (the sweep's --stop-on-cycle).
  std::int32_t StopOnCycle = 0;
  UnanimityPeriod Unanimity = UnanimityPeriod::AtRest;

  // The cells of the task's grid.
  std::int32_t Cells() const {
    const int side = GridSideOf(*Program, Settings);
    return side * side;
  }
};

// The value lists, each in command-line order: the programs, the values of
// every run setting in the order of SettingOptions(), and the seeds. An empty
// list stands for the one value each program opens with
// (ProgramProfile::Defaults); a setting's list only applies to programs that
// have the setting. The command line leaves the list of a setting beyond the
// windows' empty when it holds only what every program opens with.
struct SweepPlan {
  std::vector<const ProgramProfile*> Programs;
  std::array<std::vector<std::string>, kSettingCount> Values;
  SeedList Seeds;
  // The start files of the start setting's list, loaded, one per value (its
  // file name), each population named "sha256:<hex>".
  std::vector<StartFile> Starts;
  std::int32_t StopOnCycle = 0;                         // the same for every task
  UnanimityPeriod Unanimity = UnanimityPeriod::AtRest;  // likewise

  // The number of tasks; 0 if it does not fit in 64 bits.
  std::uint64_t TaskCount() const;

  // The settings the rows show: the windows' settings, and the others
  // whose list is not empty.
  SettingColumns Columns() const;

  // Value v of setting i as the rows show it: its text, or for a start
  // file the population's name.
  std::string Shown(std::size_t setting, std::size_t v) const;

  // Task n (n < TaskCount()): the loops nest in the order of the lists,
  // programs outermost and seeds innermost.
  SweepTask Task(std::uint64_t number) const;
};

// The part of a sweep one process runs: the tasks whose number mod Count is
// Index. Task numbers stay those of the whole sweep.
struct Shard {
  std::uint64_t Index = 0;
  std::uint64_t Count = 1;

  // Tasks of a sweep of `total` in this shard, and the number of the one at
  // position p among them.
  std::uint64_t Size(std::uint64_t total) const {
    return total > Index ? (total - Index - 1) / Count + 1 : 0;
  }
  std::uint64_t TaskAt(std::uint64_t position) const { return Index + position * Count; }
  std::string Text() const { return std::to_string(Index) + "/" + std::to_string(Count); }
};

}  // namespace impactsim
