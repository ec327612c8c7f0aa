#include "sweep_rows.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>
#include <system_error>

#include "run_observer.h"
#include "simulation.h"
#include "sweep_measures.h"

namespace impactsim::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::array<Column, 20> kColumns = {{
    {"task", "task number in the whole sweep, 0-based, in the order the tasks are listed"},
    {"program", "halvorn or kestane"},
    {"seed", "the time of day in milliseconds the run's clock returns (impactsim run --seed)"},
    {"rounds", "rounds at most"},
    {"initial_dist", "initial share of opinion 2"},
    {"distance", "power of distance that divides a source's strength (nb: ring 1 only)"},
    {"edge", "bounded grid (on) or torus (off); halvorn only, empty or null for kestane"},
    {"wide_scope", "scope 29 / 19.0 instead of 17 / 10.0; halvorn only, empty or null for kestane"},
    {"remove_self", "the target's own voice left out; halvorn only, empty or null for kestane"},
    {"summation", "plain sums of impact instead of root-damped averages"},
    {"sequential", "cells updated one after another (on) or all at once (off)"},
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
}};

// Records what a row needs from the run: the start census, the last two
// rounds' changes and the last census.
class OutcomeRecorder final : public RunObserver {
 public:
  void RunStarted(const Census& census) override { start = census; }
  void RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) override {
    lastRound = roundNo;
    previousChanges = lastChanges;
    lastChanges = changes;
    end = census;
  }

  Census start{};
  Census end{};
  std::int32_t lastRound = 0;
  std::int32_t lastChanges = 0;
  std::int32_t previousChanges = 0;  // none before round 1
};

std::string OnOff(bool on) {
  return on ? "on" : "off";
}

std::string DistanceText(DistancePar p) {
  return p == DistancePar::Nb ? "nb" : std::to_string(DistanceExponent(p));
}

// The task's columns as text, empty where the program lacks the setting.
std::array<std::string, kSettingsColumns> SettingsText(const SweepTask& task) {
  const ProgramSpec& p = *task.Program;
  const RunSettings& s = task.Settings;
  return {std::to_string(task.Number),
          std::string(p.Name),
          std::to_string(task.Seed),
          std::to_string(s.Rounds),
          ShortestDecimal(s.InitialMinority()),
          DistanceText(s.Distance),
          p.HasEdge ? OnOff(s.Edge) : "",
          p.HasWideScope ? OnOff(s.WideScope) : "",
          p.HasRemoveSelf ? OnOff(s.RemoveSelf) : "",
          OnOff(s.SummationM),
          OnOff(s.RandomSeq)};
}

Json SettingsJson(const SweepTask& task) {
  const ProgramSpec& p = *task.Program;
  const RunSettings& s = task.Settings;
  const auto onlyIf = [](bool has, bool on) { return has ? Json(OnOff(on)) : Json(nullptr); };
  Json row;
  row["task"] = task.Number;
  row["program"] = p.Name;
  row["seed"] = task.Seed;
  row["rounds"] = s.Rounds;
  row["initial_dist"] = s.InitialMinority();
  row["distance"] = DistanceText(s.Distance);
  row["edge"] = onlyIf(p.HasEdge, s.Edge);
  row["wide_scope"] = onlyIf(p.HasWideScope, s.WideScope);
  row["remove_self"] = onlyIf(p.HasRemoveSelf, s.RemoveSelf);
  row["summation"] = OnOff(s.SummationM);
  row["sequential"] = OnOff(s.RandomSeq);
  return row;
}

}  // namespace

std::string StopReasons::Text() const {
  std::string text;
  for (const auto& [holds, name] : {std::pair{Rounds, "rounds"}, std::pair{Quiet, "quiet"},
                                    std::pair{Unanimity, "unanimity"}}) {
    if (!holds) continue;
    if (!text.empty()) text += '+';
    text += name;
  }
  return text;
}

StopReasons JudgeStop(std::int32_t lastRound, std::int32_t roundsSetting, std::int32_t lastChanges,
                      std::int32_t previousChanges, const Census& census, std::int32_t cells) {
  StopReasons stop;
  stop.Rounds = lastRound >= roundsSetting;
  stop.Quiet = lastChanges + previousChanges == 0;
  stop.Unanimity = std::any_of(census.begin() + 1, census.end(),
                               [cells](std::int32_t count) { return count == cells; });
  return stop;
}

RunOutcome RunTask(const SweepTask& task) {
  const ProgramSpec& program = *task.Program;
  FixedClock clock(task.Seed);
  FixedSettings settings(task.Settings);
  OutcomeRecorder recorder;
  const auto sim = std::make_unique<Simulation>(program, clock, settings, recorder);
  // As in "impactsim run": the population the window would build on opening,
  // then the run, which builds its own again from the same clock.
  sim->DefaultValues();
  sim->Run();

  const Grid& grid = sim->Model().PopulationGrid;
  const std::int32_t cells = grid.Total();
  std::array<std::uint8_t, kMaxCells> opinions{};
  for (std::int32_t i = 0; i < cells; ++i) {
    opinions[static_cast<std::size_t>(i)] = grid.Data()[i].Opinion;
  }
  const OpinionGrid final{
      std::span<const std::uint8_t>(opinions.data(), static_cast<std::size_t>(cells)), grid.Side(),
      !(program.HasEdge && task.Settings.Edge)};

  RunOutcome outcome;
  outcome.RoundsRun = recorder.lastRound;
  outcome.Stop = JudgeStop(recorder.lastRound, task.Settings.Rounds, recorder.lastChanges,
                           recorder.previousChanges, recorder.end, cells);
  outcome.Opinion1Start = recorder.start[1];
  outcome.Opinion2Start = recorder.start[2];
  outcome.Opinion1End = recorder.end[1];
  outcome.Opinion2End = recorder.end[2];
  outcome.MinorityShareEnd = static_cast<double>(recorder.end[2]) / static_cast<double>(cells);
  outcome.ClustersEnd = CountClusters(final);
  outcome.LikeNeighboursEnd = LikeNeighbourShare(final);
  return outcome;
}

std::span<const Column> RowColumns() {
  return kColumns;
}

std::string CsvHeader(bool settingsOnly) {
  std::string header;
  const std::size_t n = settingsOnly ? kSettingsColumns : kColumns.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) header += ',';
    header += kColumns[i].Name;
  }
  return header + '\n';
}

std::string FormatRow(RowFormat format, const SweepTask& task, const RunOutcome* outcome) {
  if (format == RowFormat::Jsonl) {
    Json row = SettingsJson(task);
    if (outcome != nullptr) {
      row["rounds_run"] = outcome->RoundsRun;
      row["stop"] = outcome->Stop.Text();
      row["opinion1_start"] = outcome->Opinion1Start;
      row["opinion2_start"] = outcome->Opinion2Start;
      row["opinion1_end"] = outcome->Opinion1End;
      row["opinion2_end"] = outcome->Opinion2End;
      row["minority_share_end"] = outcome->MinorityShareEnd;
      row["clusters_end"] = outcome->ClustersEnd;
      row["like_neighbours_end"] = outcome->LikeNeighboursEnd;
    }
    return row.dump() + '\n';
  }
  std::string line;
  for (const std::string& field : SettingsText(task)) {
    if (!line.empty()) line += ',';
    line += field;
  }
  if (outcome != nullptr) {
    for (const std::string& field :
         {std::to_string(outcome->RoundsRun), outcome->Stop.Text(),
          std::to_string(outcome->Opinion1Start), std::to_string(outcome->Opinion2Start),
          std::to_string(outcome->Opinion1End), std::to_string(outcome->Opinion2End),
          ShortestDecimal(outcome->MinorityShareEnd), std::to_string(outcome->ClustersEnd),
          ShortestDecimal(outcome->LikeNeighboursEnd)}) {
      line += ',';
      line += field;
    }
  }
  return line + '\n';
}

bool RowBelongsTo(RowFormat format, std::string_view line, const SweepTask& task) {
  if (format == RowFormat::Jsonl) {
    const Json row = Json::parse(line, nullptr, false);
    if (!row.is_object() || row.size() != kColumns.size()) return false;
    const Json expected = SettingsJson(task);
    for (const auto& [key, value] : expected.items()) {
      const auto it = row.find(key);
      if (it == row.end() || *it != value) return false;
    }
    return std::all_of(kColumns.begin() + kSettingsColumns, kColumns.end(),
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
  return fields == kColumns.size() - kSettingsColumns;
}

std::string ShortestDecimal(double value) {
  std::array<char, 32> buffer{};
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return ec == std::errc() ? std::string(buffer.data(), end) : std::string();
}

}  // namespace impactsim::cli
