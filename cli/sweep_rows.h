#pragma once
// One sweep task run through the engine, and its row: the columns, their
// meaning, and the row as a CSV line or a JSON line.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "grid.h"
#include "sweep_plan.h"

namespace impactsim::cli {

enum class RowFormat { Csv, Jsonl };

// Why a run ended, judged after its last round; several can hold at once.
struct StopReasons {
  bool Rounds = false;     // the last round reached the rounds setting
  bool Quiet = false;      // no change in the last round nor in the one before
  bool Unanimity = false;  // one opinion holds every cell

  // "rounds", "quiet", "unanimity", joined by '+' in that order.
  std::string Text() const;
  friend bool operator==(const StopReasons&, const StopReasons&) = default;
};

// The stop reasons of a run that ended after round `lastRound` with
// `lastChanges` changes, `previousChanges` in the round before (0 when the
// last round is round 1), and the final census `census` of `cells` cells.
StopReasons JudgeStop(std::int32_t lastRound, std::int32_t roundsSetting, std::int32_t lastChanges,
                      std::int32_t previousChanges, const Census& census, std::int32_t cells);

// What a row reports about one run.
struct RunOutcome {
  std::int32_t RoundsRun = 0;
  StopReasons Stop;
  std::int32_t Opinion1Start = 0, Opinion2Start = 0;
  std::int32_t Opinion1End = 0, Opinion2End = 0;
  double MinorityShareEnd = 0.0;
  std::int64_t ClustersEnd = 0;
  double LikeNeighboursEnd = 0.0;
};

// The task's run, exactly as "impactsim run --seed SEED" with the same
// settings makes it. Uses nothing shared but constant program data, so runs
// may go on in parallel threads.
RunOutcome RunTask(const SweepTask& task);

// The columns of a row, in order; the first kSettingsColumns describe the
// task, the rest the run.
struct Column {
  std::string_view Name;
  std::string_view Meaning;
};
std::span<const Column> RowColumns();
inline constexpr std::size_t kSettingsColumns = 11;

// The CSV header line ('\n' included): all columns, or those of the task only.
std::string CsvHeader(bool settingsOnly);

// A task's line ('\n' included): the task's columns, followed by those of
// the run when an outcome is given.
std::string FormatRow(RowFormat format, const SweepTask& task, const RunOutcome* outcome);

// Whether a complete line (without its '\n') is a full row of this task, as
// FormatRow writes it. Checks the task's columns value by value and that
// every run column is there.
bool RowBelongsTo(RowFormat format, std::string_view line, const SweepTask& task);

// The shortest decimal text that reads back as the same double.
std::string ShortestDecimal(double value);

}  // namespace impactsim::cli
