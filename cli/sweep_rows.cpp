#include "cli/sweep_rows.h"

#include <array>
#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>
#include <vector>

#include "model/run_observer.h"
#include "model/seeded_run.h"

namespace impactsim::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr Column kTaskColumns[] = {
    {"task", "task number in the whole sweep, 0-based, in the order the tasks are listed"},
    {"program", "halvorn or kestane"},
    {"seed", "the time of day in milliseconds the run's clock returns (impactsim run --seed)"},
};

constexpr Column kRunColumns[] = {
    {"rounds_run", "rounds the run made"},
    {"stop",
     "what held after the last round, joined by '+': rounds (the rounds setting reached), "
     "quiet (no change in the last two rounds), unanimity (one opinion holds every cell)"},
    {"opinion1_start", "cells of opinion 1 when the run started"},
    {"opinion2_start", "cells of opinion 2 when the run started"},
    {"opinion1_end", "cells of opinion 1 at the end"},
    {"opinion2_end", "cells of opinion 2 at the end"},
    {"minority_share_end",
     "opinion2_end divided by the number of cells: the final share of the initial minority"},
    {"clusters_end",
     "connected groups of cells of one opinion at the end, through the four side neighbours, "
     "across the edges where the grid wraps"},
    {"like_neighbours_end",
     "mean over all cells of the share of a cell's side neighbours holding its opinion, at the "
     "end (a border cell of a bounded grid has 2 or 3 side neighbours)"},
};

// The task's columns, then one per run setting, then the run's.
const std::vector<Column>& Columns() {
  static const std::vector<Column> columns = [] {
    std::vector<Column> all(std::begin(kTaskColumns), std::end(kTaskColumns));
    for (const SettingOption& s : SettingOptions()) all.push_back({s.Column, s.Meaning});
    all.insert(all.end(), std::begin(kRunColumns), std::end(kRunColumns));
    return all;
  }();
  return columns;
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

// The run's columns as text, in order.
std::array<std::string, std::size(kRunColumns)> RunText(const RowResult& r) {
  return {std::to_string(r.RoundsRun),      r.Stop.Text(),
          std::to_string(r.Opinion1Start),  std::to_string(r.Opinion2Start),
          std::to_string(r.Opinion1End),    std::to_string(r.Opinion2End),
          ShortestDecimal(r.MinorityShare), std::to_string(r.Clusters),
          ShortestDecimal(r.LikeNeighbours)};
}

// The stop reasons whose text is exactly `text`; never none, as a run always
// ends for at least one reason.
std::optional<StopReasons> ParseStop(std::string_view text) {
  for (unsigned fired = 1; fired < 8; ++fired) {
    const StopReasons stop{(fired & 1u) != 0, (fired & 2u) != 0, (fired & 4u) != 0};
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

// A JSON integer that fits in Integer.
template <typename Integer>
bool IntegerValue(const Json& row, const char* key, Integer& value) {
  const auto it = row.find(key);
  if (it == row.end() || !it->is_number_integer()) return false;
  if (it->is_number_unsigned()) {
    const auto n = it->get<std::uint64_t>();
    if (n > static_cast<std::uint64_t>(std::numeric_limits<Integer>::max())) return false;
    value = static_cast<Integer>(n);
    return true;
  }
  const auto n = it->get<std::int64_t>();
  if (n < std::numeric_limits<Integer>::min() || n > std::numeric_limits<Integer>::max()) {
    return false;
  }
  value = static_cast<Integer>(n);
  return true;
}

bool DecimalValue(const Json& row, const char* key, double& value) {
  const auto it = row.find(key);
  if (it == row.end() || !it->is_number()) return false;
  value = it->get<double>();
  return true;
}

bool StopValue(const Json& row, const char* key, StopReasons& value) {
  const auto it = row.find(key);
  if (it == row.end() || !it->is_string()) return false;
  const std::optional<StopReasons> stop = ParseStop(it->get_ref<const std::string&>());
  if (stop) value = *stop;
  return stop.has_value();
}

// The run columns of a CSV line, read field by field after the task's own.
std::optional<RowResult> ReadCsvRun(std::string_view line, const SweepTask& task) {
  std::string prefix = FormatRow(RowFormat::Csv, task, nullptr);
  prefix.back() = ',';
  if (!line.starts_with(prefix)) return std::nullopt;
  std::array<std::string_view, std::size(kRunColumns)> fields;
  std::string_view rest = line.substr(prefix.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::size_t comma = rest.find(',');
    const bool last = i + 1 == fields.size();
    if ((comma == std::string_view::npos) != last) return std::nullopt;
    fields[i] = rest.substr(0, comma);
    if (!last) rest.remove_prefix(comma + 1);
  }
  RowResult r;
  const std::optional<StopReasons> stop = ParseStop(fields[1]);
  if (!stop || !ParseField(fields[0], r.RoundsRun) || !ParseField(fields[2], r.Opinion1Start) ||
      !ParseField(fields[3], r.Opinion2Start) || !ParseField(fields[4], r.Opinion1End) ||
      !ParseField(fields[5], r.Opinion2End) || !ParseField(fields[6], r.MinorityShare) ||
      !ParseField(fields[7], r.Clusters) || !ParseField(fields[8], r.LikeNeighbours)) {
    return std::nullopt;
  }
  r.Stop = *stop;
  return r;
}

// The run columns of a JSON line, taken by name.
std::optional<RowResult> ReadJsonRun(std::string_view line) {
  const Json row = Json::parse(line, nullptr, false);
  if (!row.is_object()) return std::nullopt;
  RowResult r;
  if (!IntegerValue(row, "rounds_run", r.RoundsRun) || !StopValue(row, "stop", r.Stop) ||
      !IntegerValue(row, "opinion1_start", r.Opinion1Start) ||
      !IntegerValue(row, "opinion2_start", r.Opinion2Start) ||
      !IntegerValue(row, "opinion1_end", r.Opinion1End) ||
      !IntegerValue(row, "opinion2_end", r.Opinion2End) ||
      !DecimalValue(row, "minority_share_end", r.MinorityShare) ||
      !IntegerValue(row, "clusters_end", r.Clusters) ||
      !DecimalValue(row, "like_neighbours_end", r.LikeNeighbours)) {
    return std::nullopt;
  }
  return r;
}

}  // namespace

RunOutcome RunTask(const SweepTask& task) {
  RunObserver quiet;
  const SeededRun run = RunSeeded(*task.Program, task.Seed, task.Settings, quiet);
  return {run.Result, MeasureEnd(run.Population, run.Result)};
}

RowResult ResultOf(const RunOutcome& outcome) {
  const RunResult& r = outcome.Result;
  return {.RoundsRun = r.RoundsRun(),
          .Stop = r.Stop,
          .Opinion1Start = r.StartCensus[1],
          .Opinion2Start = r.StartCensus[2],
          .Opinion1End = r.EndCensus[1],
          .Opinion2End = r.EndCensus[2],
          .MinorityShare = outcome.End.MinorityShare,
          .Clusters = outcome.End.Clusters,
          .LikeNeighbours = outcome.End.LikeNeighbours};
}

std::span<const Column> RowColumns() {
  return Columns();
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
    row["rounds_run"] = result.RoundsRun;
    row["stop"] = result.Stop.Text();
    row["opinion1_start"] = result.Opinion1Start;
    row["opinion2_start"] = result.Opinion2Start;
    row["opinion1_end"] = result.Opinion1End;
    row["opinion2_end"] = result.Opinion2End;
    row["minority_share_end"] = result.MinorityShare;
    row["clusters_end"] = result.Clusters;
    row["like_neighbours_end"] = result.LikeNeighbours;
    return row.dump() + '\n';
  }
  std::string line = FormatRow(format, task, nullptr);
  line.pop_back();
  for (const std::string& field : RunText(result)) line += ',' + field;
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

bool ResultFitsTask(const RowResult& r, const SweepTask& task) {
  const std::int32_t cells = task.Program->CellTotal;
  const std::int32_t rounds = task.Settings.Rounds;
  const auto census = [cells](std::int32_t one, std::int32_t two) {
    return one >= 0 && two >= 0 && one <= cells && two == cells - one;
  };
  // One opinion everywhere is what unanimity reports, and also the only
  // population that forms a single cluster, or in which every side neighbour
  // is alike: the grid is connected and holds opinions 1 and 2 only.
  const bool unanimous = r.Opinion1End == cells || r.Opinion2End == cells;
  return r.RoundsRun >= 1 && r.RoundsRun <= rounds && r.Stop.Any() &&
         r.Stop.Rounds == (r.RoundsRun >= rounds) && r.Stop.Unanimity == unanimous &&
         census(r.Opinion1Start, r.Opinion2Start) && census(r.Opinion1End, r.Opinion2End) &&
         r.MinorityShare == static_cast<double>(r.Opinion2End) / static_cast<double>(cells) &&
         r.Clusters >= 1 && r.Clusters <= cells && (r.Clusters == 1) == unanimous &&
         r.LikeNeighbours >= 0.0 && r.LikeNeighbours <= 1.0 &&
         (r.LikeNeighbours == 1.0) == unanimous;
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

}  // namespace impactsim::cli
