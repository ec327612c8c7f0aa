#pragma once
// The pieces of the Python module's native part shared by its run and sweep
// functions: the one check of the settings a caller gives, and the Python
// exceptions a bad one raises.

#include <pybind11/pybind11.h>

#include <map>
#include <string>
#include <vector>

#include "model/program_profile.h"
#include "sweep/sweep_plan.h"

namespace impactsim::python {

namespace py = pybind11;

// Every setting's values as the command line spells them ("0.3", "nb",
// "on"), by column name ("initial_dist"); a setting not in the map takes each
// program's default. The Python side turns Python values into these texts.
using SettingTexts = std::map<std::string, std::vector<std::string>>;

// The program named `name`; ValueError naming `argument` and the programs
// otherwise.
const ProgramProfile& ProgramArgument(const std::string& name, const char* argument = "program");

// The codes of every setting for `programs`, in the order of SettingOptions().
// Raises ValueError for an unknown setting, a value the setting does not take
// (naming the values it does), a value given twice, or a setting given while
// a program that lacks it is among `programs`.
std::array<std::vector<std::int32_t>, kSettingCount> SettingCodes(
    const SettingTexts& given, const std::vector<const ProgramProfile*>& programs);

// A seed 0..86399999; ValueError naming `argument` otherwise.
std::uint32_t SeedArgument(long long seed, const char* argument = "seed");

void AddRun(py::module_& module);
void AddSweep(py::module_& module);

}  // namespace impactsim::python
