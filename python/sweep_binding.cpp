// impactsim.sweep: the tasks of a sweep run on worker threads with the GIL
// released, their rows collected in task order exactly as "impactsim sweep"
// writes them. The calling thread checks for signals while the workers run,
// so Ctrl+C stops the sweep within a fraction of a second.

#include <pybind11/stl.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "python/bindings.h"
#include "sweep/sweep_rows.h"
#include "sweep/sweep_runner.h"

namespace impactsim::python {

namespace {

// Thrown on the calling thread, with the GIL released, once a Python error
// (KeyboardInterrupt, or one raised by the progress callback) is pending; the
// runner stops and joins its workers on the way out.
struct PythonErrorPending {};

SweepPlan Plan(const std::vector<std::string>& programNames, const SettingTexts& settings,
               const std::vector<std::pair<long long, long long>>& seedRanges,
               std::int32_t stopOnCycle) {
  SweepPlan plan;
  for (const std::string& name : programNames) {
    const ProgramProfile* program = &ProgramArgument(name);
    if (std::find(plan.Programs.begin(), plan.Programs.end(), program) != plan.Programs.end()) {
      throw py::value_error("program: expects each value once, got '" + name + "' again");
    }
    plan.Programs.push_back(program);
  }
  if (plan.Programs.empty()) throw py::value_error("program: expects at least one program");
  plan.Values = SettingCodes(settings, plan.Programs);
  for (const auto& [first, last] : seedRanges) {
    plan.Seeds.Append(SeedArgument(first, "seeds"), SeedArgument(last, "seeds"));
  }
  if (plan.Seeds.Count() == 0) throw py::value_error("seeds: expects at least one seed");
  if (std::uint32_t seed = 0; plan.Seeds.FindRepeat(seed)) {
    throw py::value_error("seeds: expects each seed once, got " + std::to_string(seed) + " again");
  }
  if (plan.TaskCount() == 0) throw py::value_error("seeds: the sweep has too many tasks");
  if (stopOnCycle < 0) {
    throw py::value_error("stop_on_cycle: expects None or an integer 1..2147483647");
  }
  plan.StopOnCycle = stopOnCycle;
  return plan;
}

py::bytes Sweep(const std::vector<std::string>& programNames, const SettingTexts& settings,
                const std::vector<std::pair<long long, long long>>& seedRanges, long long jobs,
                std::int32_t stopOnCycle, const py::object& progress) {
  const SweepPlan plan = Plan(programNames, settings, seedRanges, stopOnCycle);
  if (jobs < 1 || jobs > static_cast<long long>(kMaxJobs)) {
    throw py::value_error("jobs: expects None or an integer 1.." + std::to_string(kMaxJobs) +
                          ", got " + std::to_string(jobs));
  }
  const std::uint64_t total = plan.TaskCount();
  std::string rows = CsvHeader(false);

  OrderedWork work;
  work.Count = total;
  work.Jobs = ThreadsFor(static_cast<unsigned>(jobs));
  work.Produce = [&plan](std::uint64_t i) {
    const SweepTask task = plan.Task(i);
    const RunOutcome outcome = RunTask(task);
    return ItemText(FormatRow(RowFormat::Csv, task, &outcome));
  };
  work.Consume = [&rows](std::string_view batch) {
    rows += batch;
    return true;
  };
  work.Tick = [&progress, total](std::uint64_t done) {
    const py::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) throw PythonErrorPending{};
    if (progress.is_none()) return;
    try {
      progress(done, total);
    } catch (py::error_already_set& e) {
      e.restore();
      throw PythonErrorPending{};
    }
  };
  try {
    const py::gil_scoped_release release;
    RunInOrder(work);
  } catch (const PythonErrorPending&) {
    throw py::error_already_set();
  }
  return py::bytes(rows);
}

}  // namespace

void AddSweep(py::module_& module) {
  module.def("sweep", &Sweep, py::arg("programs"), py::arg("settings"), py::arg("seeds"),
             py::arg("jobs"), py::arg("stop_on_cycle"), py::arg("progress"),
             "Runs every task of a sweep on `jobs` threads; returns the rows as CSV, header "
             "first. `progress(done, total)` is called on the calling thread as runs finish.");
}

}  // namespace impactsim::python
