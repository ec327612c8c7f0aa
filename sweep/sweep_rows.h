#pragma once
// One sweep task run through the engine, and its row: the columns, their
// meaning, the row as a CSV line or a JSON line, and such a line read back.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/round_recorder.h"
#include "model/run_result.h"
#include "model/spatial_measures.h"
#include "sweep/sweep_plan.h"

namespace impactsim {

enum class RowFormat { Csv, Jsonl };

// What a row reports about one run: what the run did, the measures of the
// population it started from and of the one it left, and, when asked for,
// every round of it.
struct RunOutcome {
  RunResult Result;
  PopulationMeasures Start;
  PopulationMeasures End;
  double MinorityShareEnd = 0.0;
  std::vector<RoundPoint> Rounds;  // rounds 0..last, if recorded and kept
  Grid Population;                 // the population the run left
};

// The task's run, exactly as "impactsim run --seed SEED" with the same
// settings makes it, its pattern watched for cycles (and stopped on one if
// the task says so). Uses nothing shared but constant program data, so runs
// may go on in parallel threads.
RunOutcome RunTask(const SweepTask& task, bool recordRounds = false);

// The same run reported to `recorder`, which must be made for the task's
// grid (GridWraps) and may be a subclass that also keeps what the run shows
// (its log, every round's population) or writes every round out as it comes.
// With `cancel`, the run stops after the first round that ends with the flag
// set, and the outcome's Result.Cancelled says so: such an outcome is no
// task's row.
RunOutcome RunTask(const SweepTask& task, RoundRecorder& recorder,
                   const std::atomic<bool>* cancel = nullptr);

// The values of a row's run columns: all a row holds of its run, so a row
// read back from a file gives the same values it was written from. An empty
// optional is an empty CSV field, or null in JSON.
struct RowResult {
  std::int32_t RoundsRun = 0;
  StopReasons Stop;
  std::int32_t Opinion1Start = 0;
  std::int32_t Opinion2Start = 0;
  std::int32_t Opinion1End = 0;
  std::int32_t Opinion2End = 0;
  double MinorityShare = 0.0;
  std::int64_t Clusters = 0;    // at the end
  double LikeNeighbours = 0.0;  // at the end
  std::int32_t Period = 0;
  std::optional<std::int32_t> CycleStart;
  std::int32_t LastChangeRound = 0;
  std::int64_t TotalChanges = 0;
  std::int64_t ClustersStart = 0;
  double LikeNeighboursStart = 0.0;
  std::int64_t MinorityClustersStart = 0;
  std::int64_t MinorityClustersEnd = 0;
  std::int64_t LargestMinorityClusterStart = 0;
  std::int64_t LargestMinorityClusterEnd = 0;
  std::optional<double> MeanMinorityClusterSizeStart;
  std::optional<double> MeanMinorityClusterSizeEnd;
  std::optional<double> MinorityPersuasivenessStart;
  std::optional<double> MinorityPersuasivenessEnd;
  std::optional<double> MinoritySupportivenessStart;
  std::optional<double> MinoritySupportivenessEnd;
  std::optional<double> MajorityPersuasivenessStart;
  std::optional<double> MajorityPersuasivenessEnd;
  std::optional<double> MajoritySupportivenessStart;
  std::optional<double> MajoritySupportivenessEnd;
  // In a sweep of more than two opinions (OpinionColumns of its layout):
  // the cells of opinions 3.. at the start and the end and each opinion's
  // groups at the end (entry k for opinion k, 0 for an opinion the task
  // lacks), the opinions held at the end and the smallest one's share of the
  // cells. All zero in a sweep of two opinions, whose rows lack them.
  Census CensusStart{};
  Census CensusEnd{};
  std::array<std::int64_t, kMaxOpinions + 1> OpinionClustersEnd{};
  std::int32_t SurvivingOpinionsEnd = 0;
  double SmallestShareEnd = 0.0;

  friend bool operator==(const RowResult&, const RowResult&) = default;
};

// The run columns of the task's outcome, its period as the task reads a run
// that ends in unanimity; throws std::logic_error for a cancelled run.
RowResult ResultOf(const SweepTask& task, const RunOutcome& outcome);

// The columns of a row that shows these settings, in order; the first
// SettingsColumnCount describe the task, the rest the run.
struct Column {
  std::string_view Name;
  std::string_view Meaning;
};
std::vector<Column> RowColumns(SettingColumns settings = WindowsColumns());
std::size_t SettingsColumnCount(SettingColumns settings = WindowsColumns());

// How a front end that takes rows as values holds a column: whole numbers,
// whole numbers that may be missing, decimals (which may be missing), or
// text (missing where the program lacks the setting).
enum class ColumnKind { Integer, OptionalInteger, Decimal, Text };

// The kind of each column of RowColumns(settings), in order.
std::vector<ColumnKind> RowColumnKinds(SettingColumns settings = WindowsColumns());

// Takes the values of a row, column by column.
class RowValueSink {
 public:
  virtual ~RowValueSink() = default;
  virtual void Integer(std::size_t column, std::int64_t value) = 0;
  virtual void Decimal(std::size_t column, double value) = 0;
  virtual void Text(std::size_t column, std::string_view value) = 0;
  virtual void Missing(std::size_t column) = 0;
};

// Hands every value of the task's full row to `sink` in column order: the
// values FormatRow writes, each as its column's kind holds it.
void VisitRow(const SweepTask& task, const RowResult& result, RowValueSink& sink);

// The CSV header line ('\n' included): all columns, or those of the task only.
std::string CsvHeader(bool settingsOnly, SettingColumns settings = WindowsColumns());

// A task's full row ('\n' included): the task's columns, then the run's.
std::string FormatRow(RowFormat format, const SweepTask& task, const RowResult& result);

// A task's line ('\n' included): the task's columns, followed by those of
// the run when an outcome is given.
std::string FormatRow(RowFormat format, const SweepTask& task, const RunOutcome* outcome);

// The run columns of a complete line (without its '\n'), if the line is, byte
// for byte, the full row FormatRow writes for this task with those values;
// nothing for any other text (another task, other spacing or key order,
// numbers spelled otherwise, missing or extra fields).
std::optional<RowResult> ReadRow(RowFormat format, std::string_view line, const SweepTask& task);

// Whether the values can be those of one run of the task: censuses that add
// up to the program's cells, rounds within the task's setting, stop reasons
// that agree with the rounds, the end census and the repetition found,
// changes that agree with the rounds they happened in, the share computed
// from the end census, and measures within their bounds and consistent with
// the census they describe.
bool ResultFitsTask(const RowResult& result, const SweepTask& task);

// Whether `share` can be a share of like neighbours of a population of
// `cells` cells as the measures compute it: whole twelfths per cell (of its
// 2, 3 or 4 side neighbours), summed, divided by twelve times the cells.
bool LikeShareFits(double share, std::int32_t cells);

// Whether a complete line (without its '\n') can be the row this task's run
// wrote: ReadRow finds it exactly as written, and ResultFitsTask holds.
bool RowBelongsTo(RowFormat format, std::string_view line, const SweepTask& task);

// The shortest decimal text that reads back as the same double.
std::string ShortestDecimal(double value);

}  // namespace impactsim
