#include "python/row_columns.h"

#include <pybind11/numpy.h>

#include <limits>
#include <stdexcept>

namespace impactsim::python {

namespace {

template <typename T>
py::array_t<T> Array(const std::vector<T>& values) {
  py::array_t<T> array(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), array.mutable_data());
  return array;
}

}  // namespace

RowColumnsBuilder::RowColumnsBuilder(SettingColumns settings)
    : settings_(settings), names_(RowColumns(settings)) {
  for (const ColumnKind kind : RowColumnKinds(settings)) {
    columns_.push_back(Values{kind, {}, {}, {}, {}});
  }
}

void RowColumnsBuilder::Add(const SweepTask& task, const RowResult& row) {
  if (task.Columns != settings_) {
    throw std::logic_error("a row of other columns than the rows before it");
  }
  VisitRow(task, row, *this);
  ++rows_;
}

void RowColumnsBuilder::Integer(std::size_t column, std::int64_t value) {
  columns_[column].Integers.push_back(value);
  columns_[column].Missing.push_back(0);
}

void RowColumnsBuilder::Decimal(std::size_t column, double value) {
  columns_[column].Decimals.push_back(value);
}

void RowColumnsBuilder::Text(std::size_t column, std::string_view value) {
  columns_[column].Texts.emplace_back(value);
  columns_[column].Missing.push_back(0);
}

void RowColumnsBuilder::Missing(std::size_t column) {
  Values& values = columns_[column];
  switch (values.Kind) {
    case ColumnKind::Decimal:
      values.Decimals.push_back(std::numeric_limits<double>::quiet_NaN());
      return;
    case ColumnKind::Text:
      values.Texts.emplace_back();
      break;
    case ColumnKind::Integer:
    case ColumnKind::OptionalInteger:
      values.Integers.push_back(0);
      break;
  }
  values.Missing.push_back(1);
}

py::dict RowColumnsBuilder::ToPython() const {
  py::dict frame;
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    const Values& values = columns_[c];
    py::object column;
    switch (values.Kind) {
      case ColumnKind::Integer:
        column = Array(values.Integers);
        break;
      case ColumnKind::OptionalInteger: {
        py::array_t<bool> mask(static_cast<py::ssize_t>(values.Missing.size()));
        std::copy(values.Missing.begin(), values.Missing.end(), mask.mutable_data());
        column = py::make_tuple("masked", Array(values.Integers), mask);
        break;
      }
      case ColumnKind::Decimal:
        column = Array(values.Decimals);
        break;
      case ColumnKind::Text: {
        py::list texts(values.Texts.size());
        for (std::size_t r = 0; r < values.Texts.size(); ++r) {
          texts[r] = values.Missing[r] != 0 ? py::object(py::none())
                                            : py::object(py::str(values.Texts[r]));
        }
        column = texts;
        break;
      }
    }
    frame[py::str(std::string(names_[c].Name))] = column;
  }
  return frame;
}

}  // namespace impactsim::python
