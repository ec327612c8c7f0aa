// impactsim.sweep: a sweep written through the same library as "impactsim
// sweep", to a file (resumable by either) or not, its tasks run on worker
// threads with the GIL released and its rows handed back as columns. The
// calling thread checks for signals while the workers run, so Ctrl+C stops
// the sweep within a fraction of a second and leaves its files resumable.

#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "python/bindings.h"
#include "python/row_columns.h"
#include "sweep/sweep_arguments.h"
#include "sweep/sweep_provenance.h"
#include "sweep/sweep_writer.h"

namespace impactsim::python {

namespace {

// Gathers the rows and the problems, and reports progress to Python.
class SweepToPython final : public SweepListener {
 public:
  SweepToPython(py::object progress, SettingColumns columns)
      : progress_(std::move(progress)), rows_(columns) {}

  void Started(std::uint64_t runs) override { progress_.Start(runs); }
  void Progress(std::uint64_t done) override { progress_(done); }
  bool WantsRows() const override { return true; }
  void Row(const SweepTask& task, const RowResult& row) override { rows_.Add(task, row); }
  void Failed(const Problem& problem) override {
    problems_ += (problems_.empty() ? "" : "; ") + Render(problem, PythonName);
  }

  const RowColumnsBuilder& Rows() const { return rows_; }
  const std::string& Problems() const { return problems_; }

 private:
  PythonProgress progress_;
  RowColumnsBuilder rows_;
  std::string problems_;
};

py::dict Sweep(const ArgumentItems& given, const std::string& call, const py::object& progress) {
  const SweepRequest request = ResolveSweep(PythonArguments(given));
  const SweepOrigin origin{CommandLineOf(request), call};
  SweepToPython listener(progress, request.Plan.Columns());
  bool complete = false;
  try {
    const py::gil_scoped_release release;
    complete = WriteSweep(request, origin, nullptr, listener);
  } catch (const PythonErrorPending&) {
    throw py::error_already_set();
  }
  if (!complete) {
    PyErr_SetString(PyExc_OSError, listener.Problems().c_str());
    throw py::error_already_set();
  }
  py::dict result;
  result["columns"] = listener.Rows().ToPython();
  // The description of a sweep written to a file is the file's; one that
  // was not is described as its file would be.
  if (request.OutPath.empty()) {
    const std::string identity = SweepIdentity(request.Plan, request.Format, request.Part);
    result["description"] = DescriptionWithoutFile(SweepDescription(request, origin.Args, identity),
                                                   origin, listener.Rows().Rows());
  } else {
    result["description"] = py::none();
  }
  return result;
}

}  // namespace

void AddSweep(py::module_& module) {
  module.def("sweep", &Sweep, py::arg("arguments"), py::arg("call"), py::arg("progress"),
             "Writes a sweep as \"impactsim sweep\" does; returns its rows as columns and, "
             "unless it went to a file, its description. `progress(done, total)` is called on "
             "the calling thread as runs finish.");
}

}  // namespace impactsim::python
