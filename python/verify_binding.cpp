// impactsim.verify: a sweep's file checked as "impactsim verify" checks it,
// its rows re-run on worker threads with the GIL released.

#include <pybind11/stl.h>

#include "python/bindings.h"
#include "sweep/sweep_verify.h"

namespace impactsim::python {

namespace {

class VerifyToPython final : public VerifyListener {
 public:
  explicit VerifyToPython(py::object progress) : progress_(std::move(progress)) {}
  void Started(std::uint64_t rows) override { progress_.Start(rows); }
  void Progress(std::uint64_t done) override { progress_(done); }

 private:
  PythonProgress progress_;
};

py::dict Verify(const ArgumentItems& given, const py::object& progress) {
  const VerifyRequest request = ResolveVerify(PythonArguments(given));
  VerifyToPython listener(progress);
  VerifyReport report;
  try {
    const py::gil_scoped_release release;
    report = VerifySweep(request, listener);
  } catch (const PythonErrorPending&) {
    throw py::error_already_set();
  }
  py::dict result;
  result["agrees"] = report.Agrees();
  result["findings"] = report.Findings;
  result["checked"] = report.Checked;
  result["differing"] = report.Differing;
  result["rows"] = report.Rows;
  result["present"] = report.Present;
  result["shard_tasks"] = report.ShardTasks;
  result["digests"] = report.Digests;
  result["summary"] = report.Summary();
  return result;
}

}  // namespace

void AddVerify(py::module_& module) {
  module.def("verify", &Verify, py::arg("arguments"), py::arg("progress"),
             "Verifies a sweep's file as \"impactsim verify\" does; returns what it found.");
}

}  // namespace impactsim::python
