#pragma once
// The columns of a sweep's rows as one table: the task's, one per run
// setting, and the run's, each run column with the field of RowResult it
// shows. The rows' text and their values are both made from it.

#include <cstdint>
#include <optional>
#include <span>
#include <variant>

#include "sweep/sweep_rows.h"

namespace impactsim {

// A run column's value in RowResult, by its type.
using FieldRef = std::variant<std::int32_t RowResult::*, std::int64_t RowResult::*,
                              double RowResult::*, std::optional<std::int32_t> RowResult::*,
                              std::optional<double> RowResult::*, StopReasons RowResult::*>;

struct RunColumn {
  Column Col;
  FieldRef Field;
};

// The columns of the task (task, program, seed), before the settings'.
inline constexpr std::size_t kTaskColumnCount = 3;

// The run's columns, in order, after the settings'.
std::span<const RunColumn> RunColumns();

}  // namespace impactsim
