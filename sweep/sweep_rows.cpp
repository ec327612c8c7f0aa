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
#include "model/spatial_measures.h"
#include "sweep/run_columns.h"

namespace impactsim {

namespace {

using Json = nlohmann::ordered_json;

// The run setting columns the task's row shows, as text, empty where the
// program lacks the setting or the run does not read it.
std::vector<std::string> SettingsText(const SweepTask& task) {
  std::vector<std::string> text;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (!Shows(task.Columns, i)) continue;
    const SettingOption& s = SettingOptions()[i];
    text.push_back(s.HasIn(*task.Program) ? s.Get(task.Settings) : std::string());
  }
  return text;
}

Json SettingsJson(const SweepTask& task) {
  Json row;
  row["task"] = task.Number;
  row["program"] = task.Program->Name;
  row["seed"] = task.Seed;
  const std::vector<std::string> text = SettingsText(task);
  std::size_t shown = 0;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (!Shows(task.Columns, i)) continue;
    const SettingOption& s = SettingOptions()[i];
    Json& value = row[std::string(s.Column)];
    const std::string& valueText = text[shown++];
    if (!s.HasIn(*task.Program) || valueText.empty()) {
      value = nullptr;
    } else if (s.Kind == ValueKind::Number) {
      value = Json::parse(valueText);
    } else {
      value = valueText;
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
  const auto columns = RunColumns(OpinionColumns(task.Columns));
  const std::size_t count = columns.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t comma = rest.find(',');
    const bool last = i + 1 == count;
    if ((comma == std::string_view::npos) != last) return std::nullopt;
    const std::string_view field = rest.substr(0, comma);
    const bool read = std::visit([&](auto member) { return ReadField(field, FieldOf(r, member)); },
                                 columns[i].Field);
    if (!read) return std::nullopt;
    if (!last) rest.remove_prefix(comma + 1);
  }
  return r;
}

// The run columns of a JSON line, taken by name.
std::optional<RowResult> ReadJsonRun(std::string_view line, const SweepTask& task) {
  const Json row = Json::parse(line, nullptr, false);
  if (!row.is_object()) return std::nullopt;
  RowResult r;
  for (const RunColumn& c : RunColumns(OpinionColumns(task.Columns))) {
    const auto it = row.find(std::string(c.Col.Name));
    if (it == row.end()) return std::nullopt;
    if (!std::visit([&](auto member) { return JsonField(*it, FieldOf(r, member)); }, c.Field)) {
      return std::nullopt;
    }
  }
  return r;
}

// The columns of a sweep of more than two opinions.
void AddOpinionColumns(const RunOutcome& outcome, RowResult& row) {
  const RunResult& r = outcome.Result;
  const Grid& population = outcome.Population;
  const std::vector<std::uint8_t> opinions = OpinionsOf(population);
  const OpinionGroups groups = CountOpinionGroups({opinions, population.Side(), r.Wraps});
  for (std::size_t k = 3; k < row.CensusStart.size(); ++k) {
    row.CensusStart[k] = r.StartCensus[k];
    row.CensusEnd[k] = r.EndCensus[k];
  }
  row.OpinionClustersEnd = groups.Clusters;
  row.SurvivingOpinionsEnd = SurvivingOpinions(groups);
  row.SmallestShareEnd = SmallestSurvivingShare(groups);
}

}  // namespace

RunOutcome RunTask(const SweepTask& task, bool recordRounds) {
  RoundRecorder recorder(GridWraps(*task.Program, task.Settings), recordRounds);
  return RunTask(task, recorder);
}

RunOutcome RunTask(const SweepTask& task, RoundRecorder& recorder,
                   const std::atomic<bool>* cancel) {
  const bool wrapped = GridWraps(*task.Program, task.Settings);
  // Each thread keeps its engines from task to task (SeededRunner): a sweep
  // of short runs would otherwise spend much of its time building them.
  thread_local SeededRunner runner;
  SeededRun run =
      runner.Run(*task.Program, task.Seed, task.Settings, recorder, task.StopOnCycle, cancel);
  RunOutcome outcome;
  outcome.Start = MeasurePopulation(recorder.StartPopulation(), wrapped);
  outcome.End = MeasurePopulation(run.Population, wrapped);
  outcome.MinorityShareEnd =
      static_cast<double>(run.Result.EndCensus[2]) / static_cast<double>(run.Population.Total());
  outcome.Rounds = recorder.Rounds();
  outcome.Result = std::move(run.Result);
  outcome.Population = run.Population;
  return outcome;
}

RowResult ResultOf(const SweepTask& task, const RunOutcome& outcome) {
  const RunResult& r = outcome.Result;
  if (r.Cancelled) throw std::logic_error("a run that was cancelled has no row");
  PatternCycle cycle = r.Repetition.value_or(PatternCycle{});
  // One opinion in every cell ends the run: it is at rest from the round
  // that made it so, however its pattern compares with earlier rounds.
  if (r.Stop.Unanimity && task.Unanimity == UnanimityPeriod::AtRest) {
    cycle = {.Period = 1, .Start = r.LastChangeRound};
  }
  const PopulationMeasures& start = outcome.Start;
  const PopulationMeasures& end = outcome.End;
  RowResult row = {.RoundsRun = r.RoundsRun,
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
                   .LastChangeRound = r.LastChangeRound,
                   .TotalChanges = r.TotalChanges,
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
  if (OpinionColumns(task.Columns) > 2) AddOpinionColumns(outcome, row);
  return row;
}

std::string CsvHeader(bool settingsOnly, SettingColumns settings) {
  std::string header;
  const std::vector<Column> columns = RowColumns(settings);
  const std::size_t n = settingsOnly ? SettingsColumnCount(settings) : columns.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) header += ',';
    header += columns[i].Name;
  }
  return header + '\n';
}

std::string FormatRow(RowFormat format, const SweepTask& task, const RowResult& result) {
  if (format == RowFormat::Jsonl) {
    Json row = SettingsJson(task);
    for (const RunColumn& c : RunColumns(OpinionColumns(task.Columns))) {
      row[std::string(c.Col.Name)] =
          std::visit([&](auto member) { return FieldJson(FieldOf(result, member)); }, c.Field);
    }
    return row.dump() + '\n';
  }
  std::string line = FormatRow(format, task, nullptr);
  line.pop_back();
  for (const RunColumn& c : RunColumns(OpinionColumns(task.Columns))) {
    line += ',';
    line += std::visit([&](auto member) { return FieldText(FieldOf(result, member)); }, c.Field);
  }
  return line + '\n';
}

std::string FormatRow(RowFormat format, const SweepTask& task, const RunOutcome* outcome) {
  if (outcome != nullptr) return FormatRow(format, task, ResultOf(task, *outcome));
  if (format == RowFormat::Jsonl) return SettingsJson(task).dump() + '\n';
  std::string line = std::to_string(task.Number) + ',' + std::string(task.Program->Name) + ',' +
                     std::to_string(task.Seed);
  for (const std::string& field : SettingsText(task)) line += ',' + field;
  return line + '\n';
}

std::optional<RowResult> ReadRow(RowFormat format, std::string_view line, const SweepTask& task) {
  std::optional<RowResult> result =
      format == RowFormat::Jsonl ? ReadJsonRun(line, task) : ReadCsvRun(line, task);
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
