#pragma once
// The columns of a sweep's rows as one table: the task's, one per run
// setting, and the run's, each run column with the field of RowResult it
// shows. The rows' text and their values are both made from it.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>

#include "sweep/sweep_rows.h"

namespace impactsim {

// One opinion's entry of a RowResult array.
template <typename T>
struct OpinionEntry {
  std::array<T, kMaxOpinions + 1> RowResult::*Array;
  std::size_t Opinion;
};

// A run column's value in RowResult, by its type.
using FieldRef =
    std::variant<std::int32_t RowResult::*, std::int64_t RowResult::*, double RowResult::*,
                 std::optional<std::int32_t> RowResult::*, std::optional<double> RowResult::*,
                 StopReasons RowResult::*, OpinionEntry<std::int32_t>, OpinionEntry<std::int64_t>>;

// The value a FieldRef alternative names in `r` (const or not).
template <typename Result, typename T>
auto& FieldOf(Result& r, T RowResult::*member) {
  return r.*member;
}
template <typename Result, typename T>
auto& FieldOf(Result& r, const OpinionEntry<T>& entry) {
  return (r.*(entry.Array))[entry.Opinion];
}

struct RunColumn {
  Column Col;
  FieldRef Field;
};

// The columns of the task (task, program, seed), before the settings'.
inline constexpr std::size_t kTaskColumnCount = 3;

// The run's columns, in order, after the settings': with more than two
// opinions (a layout's OpinionColumns, 2..kMaxOpinions), those of opinions
// 3..`opinions` follow the others.
std::span<const RunColumn> RunColumns(int opinions = 2);

}  // namespace impactsim
