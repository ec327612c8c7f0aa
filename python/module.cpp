// The native part of "import impactsim": the settings table, the rows'
// columns and the checks every function shares. The runs and sweeps
// themselves are in run_binding.cpp and sweep_binding.cpp; the Python
// package around them turns Python values into setting texts and results
// into arrays and data frames.

#include <pybind11/stl.h>

#include <algorithm>

#include "impact/round_kernels.h"
#include "model/random_source.h"
#include "programs/programs.h"
#include "python/bindings.h"
#include "sweep/setting_options.h"
#include "sweep/sweep_rows.h"
#include "sweep/sweep_runner.h"
#include "sweep/value_text.h"

namespace impactsim::python {

namespace {

std::string Quote(const std::string& text) {
  return py::repr(py::str(text)).cast<std::string>();
}

// What a setting accepts, in Python terms: switches take booleans.
std::string PythonAccepts(const SettingOption& setting) {
  if (setting.IsSwitch()) return "True, False, 'on' or 'off'";
  return setting.Accepts(false);
}

py::dict SettingEntry(const SettingOption& s) {
  py::dict entry;
  entry["name"] = std::string(s.Column);
  entry["option"] = "--" + std::string(s.Name);
  entry["help"] = std::string(s.Help);
  std::vector<std::string> items(s.Items.begin(), s.Items.end());
  entry["items"] = items;
  entry["low"] = s.Low;
  entry["high"] = s.High;
  entry["switch"] = s.IsSwitch();
  entry["number"] = s.Kind == ValueKind::Number;
  entry["accepts"] = PythonAccepts(s);
  std::vector<std::string> programs;
  py::dict defaults;
  for (const ProgramProfile* p : Programs()) {
    if (!s.HasIn(*p)) continue;
    programs.emplace_back(p->Name);
    defaults[py::str(std::string(p->Name))] = s.Text(s.Get(p->Defaults));
  }
  entry["programs"] = programs;
  entry["defaults"] = defaults;
  return entry;
}

}  // namespace

const ProgramProfile& ProgramArgument(const std::string& name, const char* argument) {
  const ProgramProfile* program = ProgramNamed(name);
  if (program == nullptr) {
    throw py::value_error(std::string(argument) + ": expects " + ProgramAccepts(false) + ", got " +
                          Quote(name));
  }
  return *program;
}

std::array<std::vector<std::int32_t>, kSettingCount> SettingCodes(
    const SettingTexts& given, const std::vector<const ProgramProfile*>& programs) {
  for (const auto& [name, texts] : given) {
    const auto& table = SettingOptions();
    const bool known = std::any_of(table.begin(), table.end(),
                                   [&name](const SettingOption& s) { return s.Column == name; });
    if (!known) throw py::value_error("no setting named " + Quote(name));
  }
  std::array<std::vector<std::int32_t>, kSettingCount> codes;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& setting = SettingOptions()[i];
    const std::string column(setting.Column);
    const auto it = given.find(column);
    if (it == given.end()) continue;
    for (const std::string& text : it->second) {
      const std::optional<std::int32_t> code = setting.Parse(text);
      if (!code) {
        throw py::value_error(column + ": expects " + PythonAccepts(setting) + ", got " +
                              Quote(text));
      }
      if (std::find(codes[i].begin(), codes[i].end(), *code) != codes[i].end()) {
        throw py::value_error(column + ": expects each value once, got " + Quote(text) + " again");
      }
      codes[i].push_back(*code);
    }
    for (const ProgramProfile* p : programs) {
      if (!codes[i].empty() && !setting.HasIn(*p)) {
        throw py::value_error(column + ": only for program " + ProgramsWith(setting) +
                              ", got program " + Quote(std::string(p->Name)));
      }
    }
  }
  return codes;
}

std::uint32_t SeedArgument(long long seed, const char* argument) {
  if (seed < 0 || seed >= static_cast<long long>(kMillisecondsPerDay)) {
    throw py::value_error(std::string(argument) + ": expects a seed 0.." +
                          std::to_string(kMillisecondsPerDay - 1) + ", got " +
                          std::to_string(seed));
  }
  return static_cast<std::uint32_t>(seed);
}

}  // namespace impactsim::python

PYBIND11_MODULE(_core, m) {
  // ---- Start-up, once per import. IMPACTSIM_KERNEL, where set, must name a
  // kernel this processor runs, as for the programs: otherwise the import
  // fails with the same one-line problem. Unlike the programs' main()s, the
  // module leaves malloc's settings (KeepFreedMemoryBetweenRuns) as the
  // interpreter has them: importing a module must not retune its host.
  if (const auto problem = impactsim::ApplyKernelFromEnvironment()) {
    throw pybind11::import_error(*problem);
  }
  // ---- End of start-up.

  using namespace impactsim;
  using namespace impactsim::python;
  m.doc() = "The simulation engine behind impactsim; use the impactsim package, not this module.";

  m.def(
      "settings",
      [] {
        py::list entries;
        for (const SettingOption& s : SettingOptions()) entries.append(SettingEntry(s));
        return entries;
      },
      "The run settings, in the order of the rows' columns.");
  m.def(
      "programs",
      [] {
        py::list entries;
        for (const ProgramProfile* p : Programs()) {
          py::dict entry;
          entry["name"] = std::string(p->Name);
          entry["side"] = p->GridSide;
          entry["cells"] = p->CellTotal;
          entries.append(entry);
        }
        return entries;
      },
      "The programs, the default first.");
  m.def(
      "columns",
      [] {
        py::list entries;
        for (const Column& c : RowColumns()) {
          entries.append(py::make_tuple(std::string(c.Name), std::string(c.Meaning)));
        }
        return entries;
      },
      "The columns of a sweep's rows, in order, with their meaning.");
  m.attr("max_jobs") = kMaxJobs;
  m.attr("seeds_per_day") = kMillisecondsPerDay;
  AddRun(m);
  AddSweep(m);
}
