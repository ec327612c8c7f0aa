#include "sweep/sweep_rows.h"

#include <array>
#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>
#include <type_traits>
#include <variant>
#include <vector>

#include "model/seeded_run.h"

namespace impactsim {

namespace {

using Json = nlohmann::ordered_json;

constexpr Column kTaskColumns[] = {
    {"task", "task number in the whole sweep, 0-based, in the order the tasks are listed"},
    {"program", "halvorn or kestane"},
    {"seed", "the time of day in milliseconds the run's clock returns (impactsim run --seed)"},
};

// A run column's value in RowResult, by its type.
using FieldRef = std::variant<std::int32_t RowResult::*, std::int64_t RowResult::*,
                              double RowResult::*, std::optional<std::int32_t> RowResult::*,
                              std::optional<double> RowResult::*, StopReasons RowResult::*>;

struct RunColumn {
  Column Col;
  FieldRef Field;
};

const RunColumn kRunColumns[] = {
    {{"rounds_run", "rounds the run made"}, &RowResult::RoundsRun},
    {{"stop",
      "what held after the last round, joined by '+': rounds (the rounds setting reached), "
      "quiet (no change in the last two rounds), unanimity (one opinion holds every cell), "
      "cycle (the pattern repeats with a period of 2 or more: the round limit or "
      "--stop-on-cycle ended the run inside the cycle)"},
     &RowResult::Stop},
    {{"opinion1_start", "cells of opinion 1 when the run started"}, &RowResult::Opinion1Start},
    {{"opinion2_start", "cells of opinion 2 when the run started"}, &RowResult::Opinion2Start},
    {{"opinion1_end", "cells of opinion 1 at the end"}, &RowResult::Opinion1End},
    {{"opinion2_end", "cells of opinion 2 at the end"}, &RowResult::Opinion2End},
    {{"minority_share_end",
      "opinion2_end divided by the number of cells: the final share of the initial minority"},
     &RowResult::MinorityShare},
    {{"clusters_end",
      "connected groups of cells of one opinion at the end, through the four side neighbours, "
      "across the edges where the grid wraps"},
     &RowResult::Clusters},
    {{"like_neighbours_end",
      "mean over all cells of the share of a cell's side neighbours holding its opinion, at the "
      "end (a border cell of a bounded grid has 2 or 3 side neighbours)"},
     &RowResult::LikeNeighbours},
    {{"period",
      "the smallest p from 1 to 64 such that every cell's opinion after the last round equals "
      "its opinion p rounds earlier; 0 if there is none (1: the run came to rest, 2 or more: "
      "it cycles)"},
     &RowResult::Period},
    {{"cycle_start",
      "the first round from which the pattern repeats with that period (empty when period is 0)"},
     &RowResult::CycleStart},
    {{"last_change_round", "the last round in which a cell changed its opinion; 0 if none did"},
     &RowResult::LastChangeRound},
    {{"total_changes", "opinion changes over the whole run"}, &RowResult::TotalChanges},
    {{"clusters_start", "clusters_end for the population the run started from"},
     &RowResult::ClustersStart},
    {{"like_neighbours_start", "like_neighbours_end for the population the run started from"},
     &RowResult::LikeNeighboursStart},
    {{"minority_clusters_start", "connected groups of opinion-2 cells when the run started"},
     &RowResult::MinorityClustersStart},
    {{"minority_clusters_end", "connected groups of opinion-2 cells at the end"},
     &RowResult::MinorityClustersEnd},
    {{"largest_minority_cluster_start",
      "cells in the largest group of opinion-2 cells when the run started; 0 if none"},
     &RowResult::LargestMinorityClusterStart},
    {{"largest_minority_cluster_end", "cells in the largest group of opinion-2 cells at the end"},
     &RowResult::LargestMinorityClusterEnd},
    {{"mean_minority_cluster_size_start",
      "opinion2_start divided by minority_clusters_start (empty when there is no such group)"},
     &RowResult::MeanMinorityClusterSizeStart},
    {{"mean_minority_cluster_size_end", "opinion2_end divided by minority_clusters_end"},
     &RowResult::MeanMinorityClusterSizeEnd},
    {{"minority_persuasiveness_start",
      "mean persuasiveness of the opinion-2 cells when the run started (empty when there are "
      "none)"},
     &RowResult::MinorityPersuasivenessStart},
    {{"minority_persuasiveness_end", "mean persuasiveness of the opinion-2 cells at the end"},
     &RowResult::MinorityPersuasivenessEnd},
    {{"minority_supportiveness_start",
      "mean supportiveness of the opinion-2 cells when the run started"},
     &RowResult::MinoritySupportivenessStart},
    {{"minority_supportiveness_end", "mean supportiveness of the opinion-2 cells at the end"},
     &RowResult::MinoritySupportivenessEnd},
    {{"majority_persuasiveness_start",
      "mean persuasiveness of the opinion-1 cells when the run started (empty when there are "
      "none)"},
     &RowResult::MajorityPersuasivenessStart},
    {{"majority_persuasiveness_end", "mean persuasiveness of the opinion-1 cells at the end"},
     &RowResult::MajorityPersuasivenessEnd},
    {{"majority_supportiveness_start",
      "mean supportiveness of the opinion-1 cells when the run started"},
     &RowResult::MajoritySupportivenessStart},
    {{"majority_supportiveness_end", "mean supportiveness of the opinion-1 cells at the end"},
     &RowResult::MajoritySupportivenessEnd},
};

// The task's columns, then one per run setting, then the run's.
const std::vector<Column>& Columns() {
  static const std::vector<Column> columns = [] {
    std::vector<Column> all(std::begin(kTaskColumns), std::end(kTaskColumns));
    for (const SettingOption& s : SettingOptions()) all.push_back({s.Column, s.Meaning});
    for (const RunColumn& c : kRunColumns) all.push_back(c.Col);
    return all;
  }();
  return columns;
}

ColumnKind KindOf(const SettingOption& s) {
  if (s.Kind == ValueKind::Word) return ColumnKind::Text;
  if (!s.Items.empty()) return ColumnKind::Decimal;
  return s.Has == nullptr ? ColumnKind::Integer : ColumnKind::OptionalInteger;
}

// The kind of a run column, by the type of its field.
ColumnKind KindOf(const FieldRef& field) {
  return std::visit(
      [](auto member) {
        using T = std::remove_cvref_t<decltype(std::declval<RowResult>().*member)>;
        if constexpr (std::is_same_v<T, double> || std::is_same_v<T, std::optional<double>>) {
          return ColumnKind::Decimal;
        } else if constexpr (std::is_same_v<T, std::optional<std::int32_t>>) {
          return ColumnKind::OptionalInteger;
        } else if constexpr (std::is_same_v<T, StopReasons>) {
          return ColumnKind::Text;
        } else {
          return ColumnKind::Integer;
        }
      },
      field);
}

const std::vector<ColumnKind>& Kinds() {
  static const std::vector<ColumnKind> kinds = [] {
    std::vector<ColumnKind> all = {ColumnKind::Integer, ColumnKind::Text, ColumnKind::Integer};
    for (const SettingOption& s : SettingOptions()) all.push_back(KindOf(s));
    for (const RunColumn& c : kRunColumns) all.push_back(KindOf(c.Field));
    return all;
  }();
  return kinds;
}

void Visit(RowValueSink& sink, std::size_t column, std::int32_t value) {
  sink.Integer(column, value);
}
void Visit(RowValueSink& sink, std::size_t column, std::int64_t value) {
  sink.Integer(column, value);
}
void Visit(RowValueSink& sink, std::size_t column, double value) {
  sink.Decimal(column, value);
}
void Visit(RowValueSink& sink, std::size_t column, const StopReasons& value) {
  sink.Text(column, value.Text());
}
template <typename T>
void Visit(RowValueSink& sink, std::size_t column, const std::optional<T>& value) {
  if (value) {
    Visit(sink, column, *value);
  } else {
    sink.Missing(column);
  }
}

// The run setting columns as text, empty where the program lacks the setting.
std::array<std::string, kSettingCount> SettingsText(const SweepTask& task) {
  std::array<std::string, kSettingCount> text;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& s = SettingOptions()[i];
    if (s.HasIn(*task.Program)) text[i] = s.Text(s.Get(task.Settings));
  }
  return text;
}

Json SettingsJson(const SweepTask& task) {
  Json row;
  row["task"] = task.Number;
  row["program"] = task.Program->Name;
  row["seed"] = task.Seed;
  const std::array<std::string, kSettingCount> text = SettingsText(task);
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& s = SettingOptions()[i];
    Json& value = row[std::string(s.Column)];
    if (!s.HasIn(*task.Program)) {
      value = nullptr;
    } else if (s.Kind == ValueKind::Number) {
      value = Json::parse(text[i]);
    } else {
      value = text[i];
    }
  }
  return row;
}

// The stop reasons whose text is exactly `text`; never none, as a run always
// ends for at least one reason.
std::optional<StopReasons> ParseStop(std::string_view text) {
  for (unsigned fired = 1; fired < 16; ++fired) {
    const StopReasons stop{(fired & 1u) != 0, (fired & 2u) != 0, (fired & 4u) != 0,
                           (fired & 8u) != 0};
    if (stop.Text() == text) return stop;
  }
  return std::nullopt;
}

// A whole CSV field as a number; from_chars takes no blanks, no '+' and no
// base prefix, and what it takes in other spellings (leading zeros, "1e0")
// is caught by comparing the row written back.
template <typename Number>
bool ParseField(std::string_view text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

std::string FieldText(std::int32_t value) {
  return std::to_string(value);
}
std::string FieldText(std::int64_t value) {
  return std::to_string(value);
}
std::string FieldText(double value) {
  return ShortestDecimal(value);
}
template <typename T>
std::string FieldText(const std::optional<T>& value) {
  return value ? FieldText(*value) : std::string();
}
std::string FieldText(const StopReasons& value) {
  return value.Text();
}

bool ReadField(std::string_view text, std::int32_t& value) {
  return ParseField(text, value);
}
bool ReadField(std::string_view text, std::int64_t& value) {
  return ParseField(text, value);
}
bool ReadField(std::string_view text, double& value) {
  return ParseField(text, value);
}
template <typename T>
bool ReadField(std::string_view text, std::optional<T>& value) {
  if (text.empty()) {
    value.reset();
    return true;
  }
  T number{};
  if (!ReadField(text, number)) return false;
  value = number;
  return true;
}
bool ReadField(std::string_view text, StopReasons& value) {
  const std::optional<StopReasons> stop = ParseStop(text);
  if (stop) value = *stop;
  return stop.has_value();
}

Json FieldJson(std::int32_t value) {
  return value;
}
Json FieldJson(std::int64_t value) {
  return value;
}
Json FieldJson(double value) {
  return value;
}
template <typename T>
Json FieldJson(const std::optional<T>& value) {
  return value ? FieldJson(*value) : Json(nullptr);
}
Json FieldJson(const StopReasons& value) {
  return value.Text();
}

// A JSON integer that fits in Integer.
template <typename Integer>
bool JsonField(const Json& json, Integer& value) requires std::is_integral_v<Integer> {
  if (!json.is_number_integer()) return false;
  if (json.is_number_unsigned()) {
    const auto n = json.get<std::uint64_t>();
    if (n > static_cast<std::uint64_t>(std::numeric_limits<Integer>::max())) return false;
    value = static_cast<Integer>(n);
    return true;
  }
  const auto n = json.get<std::int64_t>();
  if (n < std::numeric_limits<Integer>::min() || n > std::numeric_limits<Integer>::max()) {
    return false;
  }
  value = static_cast<Integer>(n);
  return true;
}
bool JsonField(const Json& json, double& value) {
  if (!json.is_number()) return false;
  value = json.get<double>();
  return true;
}
template <typename T>
bool JsonField(const Json& json, std::optional<T>& value) {
  if (json.is_null()) {
    value.reset();
    return true;
  }
  T number{};
  if (!JsonField(json, number)) return false;
  value = number;
  return true;
}
bool JsonField(const Json& json, StopReasons& value) {
  return json.is_string() && ReadField(json.get_ref<const std::string&>(), value);
}

// The run columns of a CSV line, read field by field after the task's own.
std::optional<RowResult> ReadCsvRun(std::string_view line, const SweepTask& task) {
  std::string prefix = FormatRow(RowFormat::Csv, task, nullptr);
  prefix.back() = ',';
  if (!line.starts_with(prefix)) return std::nullopt;
  std::string_view rest = line.substr(prefix.size());
  RowResult r;
  const std::size_t count = std::size(kRunColumns);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t comma = rest.find(',');
    const bool last = i + 1 == count;
    if ((comma == std::string_view::npos) != last) return std::nullopt;
    const std::string_view field = rest.substr(0, comma);
    const bool read =
        std::visit([&](auto member) { return ReadField(field, r.*member); }, kRunColumns[i].Field);
    if (!read) return std::nullopt;
    if (!last) rest.remove_prefix(comma + 1);
  }
  return r;
}

// The run columns of a JSON line, taken by name.
std::optional<RowResult> ReadJsonRun(std::string_view line) {
  const Json row = Json::parse(line, nullptr, false);
  if (!row.is_object()) return std::nullopt;
  RowResult r;
  for (const RunColumn& c : kRunColumns) {
    const auto it = row.find(std::string(c.Col.Name));
    if (it == row.end()) return std::nullopt;
    if (!std::visit([&](auto member) { return JsonField(*it, r.*member); }, c.Field)) {
      return std::nullopt;
    }
  }
  return r;
}

}  // namespace

RunOutcome RunTask(const SweepTask& task, bool recordRounds) {
  RoundRecorder recorder(GridWraps(*task.Program, task.Settings), recordRounds);
  return RunTask(task, recorder);
}

RunOutcome RunTask(const SweepTask& task, RoundRecorder& recorder) {
  const bool wrapped = GridWraps(*task.Program, task.Settings);
  SeededRun run = RunSeeded(*task.Program, task.Seed, task.Settings, recorder, task.StopOnCycle);
  RunOutcome outcome;
  outcome.Start = MeasurePopulation(recorder.StartPopulation(), wrapped);
  outcome.End = MeasurePopulation(run.Population, wrapped);
  outcome.MinorityShareEnd =
      static_cast<double>(run.Result.EndCensus[2]) / static_cast<double>(task.Program->CellTotal);
  outcome.Rounds = recorder.Rounds();
  outcome.Result = std::move(run.Result);
  outcome.Population = run.Population;
  return outcome;
}

RowResult ResultOf(const RunOutcome& outcome) {
  const RunResult& r = outcome.Result;
  const PatternCycle cycle = r.Repetition.value_or(PatternCycle{});
  const PopulationMeasures& start = outcome.Start;
  const PopulationMeasures& end = outcome.End;
  return {.RoundsRun = r.RoundsRun(),
          .Stop = r.Stop,
          .Opinion1Start = r.StartCensus[1],
          .Opinion2Start = r.StartCensus[2],
          .Opinion1End = r.EndCensus[1],
          .Opinion2End = r.EndCensus[2],
          .MinorityShare = outcome.MinorityShareEnd,
          .Clusters = end.Clusters,
          .LikeNeighbours = end.LikeNeighbours,
          .Period = cycle.Period,
          .CycleStart = cycle.Period > 0 ? std::optional(cycle.Start) : std::nullopt,
          .LastChangeRound = r.LastChangeRound(),
          .TotalChanges = r.TotalChanges(),
          .ClustersStart = start.Clusters,
          .LikeNeighboursStart = start.LikeNeighbours,
          .MinorityClustersStart = start.MinorityClusters,
          .MinorityClustersEnd = end.MinorityClusters,
          .LargestMinorityClusterStart = start.LargestMinorityCluster,
          .LargestMinorityClusterEnd = end.LargestMinorityCluster,
          .MeanMinorityClusterSizeStart = start.MeanMinorityClusterSize,
          .MeanMinorityClusterSizeEnd = end.MeanMinorityClusterSize,
          .MinorityPersuasivenessStart = start.Minority.Persuasiveness,
          .MinorityPersuasivenessEnd = end.Minority.Persuasiveness,
          .MinoritySupportivenessStart = start.Minority.Supportiveness,
          .MinoritySupportivenessEnd = end.Minority.Supportiveness,
          .MajorityPersuasivenessStart = start.Majority.Persuasiveness,
          .MajorityPersuasivenessEnd = end.Majority.Persuasiveness,
          .MajoritySupportivenessStart = start.Majority.Supportiveness,
          .MajoritySupportivenessEnd = end.Majority.Supportiveness};
}

std::span<const Column> RowColumns() {
  return Columns();
}

std::span<const ColumnKind> RowColumnKinds() {
  return Kinds();
}

void VisitRow(const SweepTask& task, const RowResult& result, RowValueSink& sink) {
  sink.Integer(0, static_cast<std::int64_t>(task.Number));
  sink.Text(1, task.Program->Name);
  sink.Integer(2, task.Seed);
  const std::array<std::string, kSettingCount> text = SettingsText(task);
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const std::size_t column = std::size(kTaskColumns) + i;
    const SettingOption& setting = SettingOptions()[i];
    if (!setting.HasIn(*task.Program)) {
      sink.Missing(column);
    } else if (Kinds()[column] == ColumnKind::Text) {
      sink.Text(column, text[i]);
    } else if (Kinds()[column] == ColumnKind::Decimal) {
      double value = 0.0;
      ParseField(text[i], value);
      sink.Decimal(column, value);
    } else {
      sink.Integer(column, setting.Get(task.Settings));
    }
  }
  for (std::size_t i = 0; i < std::size(kRunColumns); ++i) {
    const std::size_t column = kSettingsColumns + i;
    std::visit([&](auto member) { Visit(sink, column, result.*member); }, kRunColumns[i].Field);
  }
}

std::string CsvHeader(bool settingsOnly) {
  std::string header;
  const std::size_t n = settingsOnly ? kSettingsColumns : Columns().size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) header += ',';
    header += Columns()[i].Name;
  }
  return header + '\n';
}

std::string FormatRow(RowFormat format, const SweepTask& task, const RowResult& result) {
  if (format == RowFormat::Jsonl) {
    Json row = SettingsJson(task);
    for (const RunColumn& c : kRunColumns) {
      row[std::string(c.Col.Name)] =
          std::visit([&](auto member) { return FieldJson(result.*member); }, c.Field);
    }
    return row.dump() + '\n';
  }
  std::string line = FormatRow(format, task, nullptr);
  line.pop_back();
  for (const RunColumn& c : kRunColumns) {
    line += ',';
    line += std::visit([&](auto member) { return FieldText(result.*member); }, c.Field);
  }
  return line + '\n';
}

std::string FormatRow(RowFormat format, const SweepTask& task, const RunOutcome* outcome) {
  if (outcome != nullptr) return FormatRow(format, task, ResultOf(*outcome));
  if (format == RowFormat::Jsonl) return SettingsJson(task).dump() + '\n';
  std::string line = std::to_string(task.Number) + ',' + std::string(task.Program->Name) + ',' +
                     std::to_string(task.Seed);
  for (const std::string& field : SettingsText(task)) line += ',' + field;
  return line + '\n';
}

std::optional<RowResult> ReadRow(RowFormat format, std::string_view line, const SweepTask& task) {
  std::optional<RowResult> result =
      format == RowFormat::Jsonl ? ReadJsonRun(line) : ReadCsvRun(line, task);
  // Only the writer's own bytes: this catches every other spelling of the
  // same values, and for JSON also the task's columns, key order and spacing.
  if (result) {
    const std::string written = FormatRow(format, task, *result);
    if (std::string_view(written).substr(0, written.size() - 1) != line) result.reset();
  }
  return result;
}

bool RowBelongsTo(RowFormat format, std::string_view line, const SweepTask& task) {
  const std::optional<RowResult> result = ReadRow(format, line, task);
  return result && ResultFitsTask(*result, task);
}

std::string ShortestDecimal(double value) {
  std::array<char, 32> buffer{};
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return ec == std::errc() ? std::string(buffer.data(), end) : std::string();
}

}  // namespace impactsim
