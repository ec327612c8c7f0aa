// The native part of "import impactsim": the settings table, the rows'
// columns, the build, and what every function shares. The runs, sweeps and
// verifies themselves are in run_binding.cpp, sweep_binding.cpp and
// verify_binding.cpp; the Python package around them turns Python values
// into argument texts and columns into data frames.

#include <pybind11/stl.h>
#include <algorithm>

#include <cerrno>
#include <limits>
#include <optional>

#include "impact/round_kernels.h"
#include "model/random_source.h"
#include "programs/programs.h"
#include "python/bindings.h"
#include "sweep/build_info.h"
#include "sweep/input_error.h"
#include "sweep/readable_file.h"
#include "sweep/setting_options.h"
#include "sweep/spread_seeds.h"
#include "sweep/sweep_rows.h"
#include "sweep/sweep_runner.h"
#include "sweep/text_escape.h"

#ifndef IMPACTSIM_PROJECT_VERSION
#error "IMPACTSIM_PROJECT_VERSION must be defined by the build"
#endif

namespace impactsim::python {

namespace {

// What a setting accepts, in Python terms: switches take booleans.
constexpr const char* kSwitchAccepts = "True, False, 'on' or 'off'";

// The form of a setting's values, by which Python values become its texts:
// a switch, an integer, a decimal, a power (nb or a decimal), a ring scope
// (a pair), shares (a tuple) or text.
const char* FormOf(const SettingOption& s) {
  if (s.IsSwitch()) return "switch";
  if (s.Column == "distance") return "power";
  if (s.Column == "scope") return "scope";
  if (s.Column == "initial_shares") return "shares";
  if (s.Decimal) return "decimal";
  if (s.Reader == nullptr && s.Items.empty()) return "integer";
  return "text";
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
  entry["form"] = FormOf(s);
  entry["accepts"] = s.IsSwitch() ? std::string(kSwitchAccepts) : s.Accepts(false);
  entry["default"] = DefaultText(s);
  std::vector<std::string> programs;
  py::dict defaults;
  for (const ProgramProfile* p : Programs()) {
    if (!s.HasIn(*p)) continue;
    programs.emplace_back(p->Name);
    defaults[py::str(std::string(p->Name))] = s.Get(p->Defaults);
  }
  entry["programs"] = programs;
  entry["defaults"] = defaults;
  return entry;
}

const char* KindName(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::Integer:
      return "integer";
    case ColumnKind::OptionalInteger:
      return "optional integer";
    case ColumnKind::Decimal:
      return "decimal";
    case ColumnKind::Text:
      break;
  }
  return "text";
}

py::dict Build() {
  const BuildInfo& build = ThisBuild();
  py::dict info;
  info["version"] = IMPACTSIM_PROJECT_VERSION;
  info["commit"] = build.Commit;
  info["commit_modified"] = build.Modified;
  info["compiler"] = build.Compiler;
  info["build_type"] = build.BuildType;
  info["flags"] = build.Flags;
  return info;
}

// The whole of a file as bytes, read as every reader of a sweep's files
// reads it: a regular file only, and at most `limit` bytes (None: no bound).
// A failure of the system is raised as OSError (FileNotFoundError, ...), a
// file of another kind or size as ValueError naming it.
py::bytes ReadFile(const py::bytes& encodedPath, const std::optional<std::uint64_t>& limit) {
  const std::string path = encodedPath;
  std::string text;
  std::string reason;
  int error = 0;
  bool read = false;
  {
    const py::gil_scoped_release release;
    read = ReadWholeFile(path, limit.value_or(std::numeric_limits<std::uint64_t>::max()), text,
                         reason, &error);
  }
  if (read) return py::bytes(text);
  if (error != 0) {
    const py::object name = py::reinterpret_steal<py::object>(
        PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<py::ssize_t>(path.size())));
    errno = error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name.ptr());
    throw py::error_already_set();
  }
  throw InputError("path", "cannot read " + Quoted(path) + ": " + reason);
}

}  // namespace

Arguments PythonArguments(const ArgumentItems& given) {
  Arguments arguments;
  arguments.ListStyle = Arguments::Style::Items;
  arguments.SwitchAccepts = kSwitchAccepts;
  arguments.Given.insert(given.begin(), given.end());
  return arguments;
}

std::string PythonName(std::string_view key) {
  return key == "file" ? "path" : std::string(key);
}

void PythonProgress::operator()(std::uint64_t done) const {
  const py::gil_scoped_acquire acquire;
  if (PyErr_CheckSignals() != 0) throw PythonErrorPending{};
  if (callback_.is_none()) return;
  try {
    callback_(done, total_);
  } catch (py::error_already_set& e) {
    e.restore();
    throw PythonErrorPending{};
  }
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

  // Bad arguments are ValueErrors that name the argument as Python does.
  py::register_exception_translator([](std::exception_ptr raised) {
    try {
      if (raised) std::rethrow_exception(raised);
    } catch (const InputError& e) {
      PyErr_SetString(PyExc_ValueError, Render(e.What(), PythonName).c_str());
    }
  });

  m.def(
      "settings",
      [] {
        py::list entries;
        for (const SettingOption& s : SettingOptions()) {
          if (!s.SweepOnly) entries.append(SettingEntry(s));  // sweep(start=) takes its own
        }
        return entries;
      },
      "The run settings, in the order of the rows' columns; not a sweep's start files.");
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
        // Every setting's column, those of sixteen opinions, and whether
        // every sweep's rows show it.
        const SettingColumns all =
            WithOpinionColumns((SettingColumns{1} << kSettingCount) - 1, kMaxOpinions);
        const std::vector<Column> columns = RowColumns(all);
        const std::vector<ColumnKind> kinds = RowColumnKinds(all);
        std::vector<std::string_view> always;
        for (const Column& c : RowColumns()) always.push_back(c.Name);
        for (std::size_t i = 0; i < columns.size(); ++i) {
          const Column& c = columns[i];
          entries.append(py::make_tuple(std::string(c.Name), std::string(c.Meaning),
                                        KindName(kinds[i]),
                                        std::ranges::find(always, c.Name) != always.end()));
        }
        return entries;
      },
      "The columns a sweep's rows may have, in order: name, meaning, kind, and whether every "
      "sweep's rows have it (the others are the settings beyond the windows' a sweep varies, "
      "and the columns of opinions 3..16 of a sweep of more than two opinions).");
  m.def("read_file", &ReadFile, py::arg("path"), py::arg("limit"),
        "The bytes of a regular file (path as bytes), at most `limit` of them (None: any).");
  m.attr("description_limit") = kDescriptionLimit;
  m.def("build", &Build, "The version and the build this module was made from.");
  m.def("default_jobs", &DefaultJobs, "Threads a sweep uses when not told: one per processor.");
  m.attr("version") = IMPACTSIM_PROJECT_VERSION;
  m.attr("max_jobs") = kMaxJobs;
  m.attr("seeds_per_day") = kMillisecondsPerDay;
  m.def(
      "spread_seeds",
      [](std::uint32_t count, std::uint32_t key, std::uint32_t first, std::uint32_t number) {
        // Checked by the caller: 1 <= count <= seeds_per_day, first + number <= count.
        std::vector<std::uint32_t> seeds(number);
        for (std::uint32_t i = 0; i < number; ++i) seeds[i] = SpreadSeed({count, key}, first + i);
        return seeds;
      },
      py::arg("count"), py::arg("key"), py::arg("first"), py::arg("number"),
      "Seeds first..first + number - 1 of the spread of `count` seeds with `key`, as "
      "\"--seeds spread:COUNT:KEY\" takes them.");
  AddRun(m);
  AddSweep(m);
  AddVerify(m);
}
