#include "cli/sweep_rows.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <nlohmann/json.hpp>
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
std::array<std::string, std::size(kRunColumns)> RunText(const RunOutcome& outcome) {
  const RunResult& r = outcome.Result;
  return {std::to_string(r.RoundsRun()),
          r.Stop.Text(),
          std::to_string(r.StartCensus[1]),
          std::to_string(r.StartCensus[2]),
          std::to_string(r.EndCensus[1]),
          std::to_string(r.EndCensus[2]),
          ShortestDecimal(outcome.End.MinorityShare),
          std::to_string(outcome.End.Clusters),
          ShortestDecimal(outcome.End.LikeNeighbours)};
}

}  // namespace

RunOutcome RunTask(const SweepTask& task) {
  RunObserver quiet;
  const SeededRun run = RunSeeded(*task.Program, task.Seed, task.Settings, quiet);
  return {run.Result, MeasureEnd(run.Population, run.Result)};
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

std::string FormatRow(RowFormat format, const SweepTask& task, const RunOutcome* outcome) {
  if (format == RowFormat::Jsonl) {
    Json row = SettingsJson(task);
    if (outcome != nullptr) {
      const RunResult& r = outcome->Result;
      row["rounds_run"] = r.RoundsRun();
      row["stop"] = r.Stop.Text();
      row["opinion1_start"] = r.StartCensus[1];
      row["opinion2_start"] = r.StartCensus[2];
      row["opinion1_end"] = r.EndCensus[1];
      row["opinion2_end"] = r.EndCensus[2];
      row["minority_share_end"] = outcome->End.MinorityShare;
      row["clusters_end"] = outcome->End.Clusters;
      row["like_neighbours_end"] = outcome->End.LikeNeighbours;
    }
    return row.dump() + '\n';
  }
  std::string line = std::to_string(task.Number) + ',' + std::string(task.Program->Name) + ',' +
                     std::to_string(task.Seed);
  for (const std::string& field : SettingsText(task)) line += ',' + field;
  if (outcome != nullptr) {
    for (const std::string& field : RunText(*outcome)) line += ',' + field;
  }
  return line + '\n';
}

bool RowBelongsTo(RowFormat format, std::string_view line, const SweepTask& task) {
  const std::vector<Column>& columns = Columns();
  if (format == RowFormat::Jsonl) {
    const Json row = Json::parse(line, nullptr, false);
    if (!row.is_object() || row.size() != columns.size()) return false;
    const Json expected = SettingsJson(task);
    for (const auto& [key, value] : expected.items()) {
      const auto it = row.find(key);
      if (it == row.end() || *it != value) return false;
    }
    return std::all_of(columns.begin() + kSettingsColumns, columns.end(),
                       [&row](const Column& c) { return row.contains(c.Name); });
  }
  std::string prefix = FormatRow(RowFormat::Csv, task, nullptr);
  prefix.back() = ',';
  if (!line.starts_with(prefix)) return false;
  // Every run column is there and none is empty.
  std::size_t fields = 0;
  std::size_t start = prefix.size();
  while (true) {
    const std::size_t comma = line.find(',', start);
    const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
    if (end == start) return false;
    ++fields;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields == columns.size() - kSettingsColumns;
}

std::string ShortestDecimal(double value) {
  std::array<char, 32> buffer{};
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return ec == std::errc() ? std::string(buffer.data(), end) : std::string();
}

}  // namespace impactsim::cli
