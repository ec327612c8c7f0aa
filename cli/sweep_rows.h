#pragma once
// One sweep task run through the engine, and its row: the columns, their
// meaning, and the row as a CSV line or a JSON line.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cli/sweep_plan.h"
#include "model/run_result.h"
#include "model/spatial_measures.h"

namespace impactsim::cli {

enum class RowFormat { Csv, Jsonl };

// What a row reports about one run: what the run did, and the measures of
// the population it left.
struct RunOutcome {
  RunResult Result;
  EndMeasures End;
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
inline constexpr std::size_t kSettingsColumns = 3 + kSettingCount;

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
