#pragma once
// The pieces of the Python module's native part shared by its functions:
// arguments as Python hands them over, bad ones raised as ValueError in
// Python's words, and long work that lets Ctrl+C through.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sweep/arguments.h"

namespace impactsim::python {

namespace py = pybind11;

// The arguments of a call by key ("seeds", "initial_dist", "out"), each as
// the items the engine's settings table reads ("0.3", "nb", "on"); a key not
// in the map was not given. The Python package turns Python values into
// these texts.
using ArgumentItems = std::map<std::string, std::vector<std::string>>;

// The arguments in Python's style: the items themselves, not comma-separated
// text, and switches given as True or False.
Arguments PythonArguments(const ArgumentItems& given);

// How Python names an argument: its keyword ("initial_dist"), the file of
// verify as "path".
std::string PythonName(std::string_view key);

// Thrown on a worker's calling thread once a Python error is pending
// (KeyboardInterrupt, or one raised by a progress callback); the runner
// stops and joins its workers on the way out, and the caller rethrows it as
// py::error_already_set.
struct PythonErrorPending {};

// Reports progress to Python from work that runs with the GIL released:
// each call takes the GIL, lets a pending signal (Ctrl+C) stop the work, and
// calls `callback(done, total)` unless it is None.
class PythonProgress {
 public:
  explicit PythonProgress(py::object callback) : callback_(std::move(callback)) {}
  void Start(std::uint64_t total) { total_ = total; }
  void operator()(std::uint64_t done) const;

 private:
  py::object callback_;
  std::uint64_t total_ = 0;
};

void AddRun(py::module_& module);
void AddSweep(py::module_& module);
void AddVerify(py::module_& module);

}  // namespace impactsim::python
