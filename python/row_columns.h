#pragma once
// Rows gathered as columns, for a data frame: each column in the type its
// kind needs, handed to Python as NumPy arrays (text as lists of str).

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sweep/sweep_rows.h"

namespace impactsim::python {

namespace py = pybind11;

class RowColumnsBuilder final : public RowValueSink {
 public:
  // Rows of tasks whose rows show `settings` (every task added must).
  explicit RowColumnsBuilder(SettingColumns settings);

  // Appends the task's full row. Needs no GIL.
  void Add(const SweepTask& task, const RowResult& row);
  std::size_t Rows() const { return rows_; }

  // {name: column}: an int64 or float64 array (NaN where a decimal is
  // missing), ("masked", int64 array, bool mask) for whole numbers that may
  // be missing, or a list of str and None. Needs the GIL.
  py::dict ToPython() const;

  void Integer(std::size_t column, std::int64_t value) override;
  void Decimal(std::size_t column, double value) override;
  void Text(std::size_t column, std::string_view value) override;
  void Missing(std::size_t column) override;

 private:
  struct Values {
    ColumnKind Kind;
    std::vector<std::int64_t> Integers;
    std::vector<double> Decimals;
    std::vector<std::string> Texts;
    std::vector<std::uint8_t> Missing;
  };
  SettingColumns settings_;
  std::vector<Column> names_;
  std::vector<Values> columns_;
  std::size_t rows_ = 0;
};

}  // namespace impactsim::python
