// impactsim.run: one seeded run, with everything the window shows of it (the
// log, the census of every round, the final population) and its sweep row.

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/random_source.h"
#include "model/round_recorder.h"
#include "python/bindings.h"
#include "python/row_columns.h"
#include "sweep/setting_checks.h"
#include "sweep/setting_options.h"
#include "sweep/start_file.h"
#include "sweep/sweep_arguments.h"
#include "sweep/sweep_rows.h"
#include "sweep/text_escape.h"

namespace impactsim::python {

namespace {

// How often a run made with the GIL released looks for a pending signal.
constexpr auto kSignalPoll = std::chrono::milliseconds(20);

// Keeps the log lines and, when asked, the opinions of every round, on top
// of the census and measures a sweep's series records. After a round, at
// most every kSignalPoll, takes the GIL and lets Python's signal handlers
// run: once one raises (Ctrl+C's KeyboardInterrupt), sets Cancel(), which
// the run reads, and leaves the error pending for the caller.
class PythonRunRecorder final : public RoundRecorder {
 public:
  PythonRunRecorder(bool wrapped, bool keepGrids)
      : RoundRecorder(wrapped, true), keepGrids_(keepGrids) {}

  void AppendLog(std::string_view line) override { log_.emplace_back(line); }
  void RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) override {
    RoundRecorder::RoundClosed(roundNo, changes, census);
    const auto now = std::chrono::steady_clock::now();
    if (now < nextPoll_ || cancel_.load()) return;
    nextPoll_ = now + kSignalPoll;
    const py::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) cancel_.store(true);
  }
  void RoundPopulation(std::int32_t roundNo, const Grid& population) override {
    RoundRecorder::RoundPopulation(roundNo, population);
    if (!keepGrids_) return;
    for (int y = 1; y <= population.Side(); ++y) {
      for (int x = 1; x <= population.Side(); ++x) grids_.push_back(population.At(x, y).Opinion);
    }
  }

  std::vector<std::string>& Log() { return log_; }
  const std::vector<std::uint8_t>& Grids() const { return grids_; }
  const std::atomic<bool>& Cancel() const { return cancel_; }

 private:
  bool keepGrids_;
  std::atomic<bool> cancel_{false};
  std::chrono::steady_clock::time_point nextPoll_ = std::chrono::steady_clock::now() + kSignalPoll;
  std::vector<std::string> log_;
  std::vector<std::uint8_t> grids_;  // round by round, each row by row
};

// One byte of every cell, as a (side, side) array indexed [y - 1, x - 1].
template <typename Field>
py::array_t<std::uint8_t> CellArray(const Grid& population, Field field) {
  const auto side = static_cast<py::ssize_t>(population.Side());
  py::array_t<std::uint8_t> array({side, side});
  auto view = array.mutable_unchecked<2>();
  for (int y = 1; y <= population.Side(); ++y) {
    for (int x = 1; x <= population.Side(); ++x) view(y - 1, x - 1) = population.At(x, y).*field;
  }
  return array;
}

// Every round's opinions, as a (rounds, side, side) array.
py::array_t<std::uint8_t> GridsArray(const std::vector<std::uint8_t>& grids, std::size_t rounds,
                                     int side) {
  const auto n = static_cast<py::ssize_t>(side);
  const auto count = static_cast<py::ssize_t>(rounds);
  if (grids.size() != static_cast<std::size_t>(count * n * n)) {
    throw std::logic_error("the run reported a population for some rounds only");
  }
  py::array_t<std::uint8_t> array({count, n, n});
  std::copy(grids.begin(), grids.end(), array.mutable_data());
  return array;
}

// The task as a row of every setting shows it: the ring scope the run had
// where the settings leave it to Wide Scope, and no initial count where
// the share of opinion 2 decided.
SweepTask EverySetting(SweepTask task) {
  task.Columns = (SettingColumns{1} << kSettingCount) - 1;
  const ProgramProfile& program = *task.Program;
  if (program.HasWideScope && !task.Settings.Scope) {
    task.Settings.Scope = task.Settings.WideScope ? program.WideScope : program.Scope;
  }
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& s = SettingOptions()[i];
    if (s.HasIn(program) && s.Get(task.Settings).empty()) task.Columns &= ~(SettingColumns{1} << i);
  }
  return task;
}

template <typename T, typename Get>
py::array_t<T> RoundColumn(const std::vector<RoundPoint>& rounds, Get get) {
  py::array_t<T> column(static_cast<py::ssize_t>(rounds.size()));
  auto view = column.template mutable_unchecked<1>();
  for (std::size_t r = 0; r < rounds.size(); ++r)
    view(static_cast<py::ssize_t>(r)) = get(rounds[r]);
  return column;
}

// Every round's census and measures, as columns; with more than two
// opinions, opinion3 up to the last after opinion2.
py::dict SeriesOf(const std::vector<RoundPoint>& rounds, int opinions) {
  py::dict series;
  series["round"] = RoundColumn<std::int64_t>(rounds, [](const RoundPoint& p) { return p.Round; });
  series["changes"] =
      RoundColumn<std::int64_t>(rounds, [](const RoundPoint& p) { return p.Changes; });
  series["opinion1"] =
      RoundColumn<std::int64_t>(rounds, [](const RoundPoint& p) { return p.Opinion1; });
  series["opinion2"] =
      RoundColumn<std::int64_t>(rounds, [](const RoundPoint& p) { return p.Opinion2; });
  for (int k = 3; k <= opinions; ++k) {
    const auto i = static_cast<std::size_t>(k);
    series[py::str("opinion" + std::to_string(k))] =
        RoundColumn<std::int64_t>(rounds, [i](const RoundPoint& p) { return p.Counts[i]; });
  }
  series["clusters"] =
      RoundColumn<std::int64_t>(rounds, [](const RoundPoint& p) { return p.Clusters; });
  series["like_neighbours"] =
      RoundColumn<double>(rounds, [](const RoundPoint& p) { return p.LikeNeighbours; });
  return series;
}

// The start population as impactsim.run passes it: a path to a start file,
// or (side, opinions, persuasiveness, supportiveness) with the cells row by
// row as bytes, the strengths None when not given; values already checked.
struct StartArgument {
  std::shared_ptr<const StartPopulation> Population;
  std::string Source;  // how messages name it
  std::string File;    // the quoted path of a start file; empty for arrays
};

StartArgument StartOf(const py::object& start) {
  if (py::isinstance<py::str>(start)) {
    const auto path = start.cast<std::string>();
    return {ReadStartFile(path).Population, Quoted(path), Quoted(path)};
  }
  const auto given = start.cast<py::tuple>();
  StartPopulation population;
  population.Side = given[0].cast<int>();
  const auto bytes = [](const py::handle& value) {
    const auto text = value.cast<std::string>();
    return std::vector<std::uint8_t>(text.begin(), text.end());
  };
  population.Opinions = bytes(given[1]);
  if (!given[2].is_none()) {
    population.Persuasiveness = bytes(given[2]);
    population.Supportiveness = bytes(given[3]);
  }
  return {std::make_shared<const StartPopulation>(std::move(population)), "the start population",
          ""};
}

// Resolves the arguments as a one-task sweep; with a start population, sets
// it (and strengths "file", which a sweep without one refuses) on the task.
SweepTask StartedTask(ArgumentItems given, const py::object& start) {
  if (start.is_none()) return ResolveSweep(PythonArguments(given)).Plan.Task(0);
  const StartArgument argument = StartOf(start);
  const auto strengths = given.find("strengths");
  const bool fromFile =
      strengths != given.end() && strengths->second == std::vector<std::string>{"file"};
  if (fromFile) given.erase(strengths);
  SweepTask task = ResolveSweep(PythonArguments(given)).Plan.Task(0);
  if (fromFile) task.Settings.Strengths = StrengthRule{.Draw = StrengthDraw::Given};
  SetStart(*task.Program, argument.Population, argument.Source, "start", task.Settings);
  CheckRunSettings(*task.Program, task.Settings, argument.File);
  return task;
}

py::dict Run(const std::string& programName, std::optional<long long> seed,
             const ArgumentItems& settings, bool keepGrids, const py::object& start) {
  // Without a seed the clock is read once, as "impactsim run" does, and the
  // seed is returned so the run can be repeated.
  SystemClock clock;
  if (seed && (*seed < 0 || *seed >= static_cast<long long>(kMillisecondsPerDay))) {
    throw py::value_error("seed: expects a seed 0.." + std::to_string(kMillisecondsPerDay - 1) +
                          ", got " + std::to_string(*seed));
  }
  // A one-task sweep of these settings: its one check of every argument.
  ArgumentItems given = settings;
  given["program"] = {programName};
  given["seeds"] = {std::to_string(seed ? *seed : clock.MillisecondsOfDay())};
  const SweepTask task = StartedTask(given, start);
  const ProgramProfile& program = *task.Program;

  PythonRunRecorder recorder(GridWraps(program, task.Settings), keepGrids);
  RunOutcome outcome;
  {
    const py::gil_scoped_release release;
    outcome = RunTask(task, recorder, &recorder.Cancel());
  }
  // A signal handler raised, and its exception is pending: the run stopped
  // after its round, or perhaps ended by itself in that very round.
  if (recorder.Cancel().load()) throw py::error_already_set();
  const std::vector<RoundPoint>& rounds = outcome.Rounds;
  py::dict result;
  result["program"] = std::string(program.Name);
  result["seed"] = task.Seed;
  result["log"] = std::move(recorder.Log());
  result["series"] = SeriesOf(outcome.Rounds, task.Settings.Opinions);
  result["opinions"] = CellArray(outcome.Population, &Cell::Opinion);
  result["persuasiveness"] = CellArray(outcome.Population, &Cell::Persuasiveness);
  result["supportiveness"] = CellArray(outcome.Population, &Cell::Supportiveness);
  const Grid& first = recorder.StartPopulation();
  result["start_opinions"] = CellArray(first, &Cell::Opinion);
  result["start_persuasiveness"] = CellArray(first, &Cell::Persuasiveness);
  result["start_supportiveness"] = CellArray(first, &Cell::Supportiveness);
  result["grids"] = keepGrids
                        ? GridsArray(recorder.Grids(), rounds.size(), outcome.Population.Side())
                        : py::object(py::none());
  // The row a one-seed sweep of these settings writes, with every setting.
  const SweepTask shown = EverySetting(task);
  RowColumnsBuilder row(shown.Columns);
  row.Add(shown, ResultOf(task, outcome));
  result["row"] = row.ToPython();
  return result;
}

}  // namespace

void AddRun(py::module_& module) {
  module.def("run", &Run, py::arg("program"), py::arg("seed"), py::arg("arguments"),
             py::arg("grids"), py::arg("start") = py::none(),
             "One seeded run: the log, every round's census (opinion1 up to the last "
             "opinion) and measures, the final population and the run's row as columns; from "
             "a start population (opinions 1 up to the run's) when given.");
}

}  // namespace impactsim::python
