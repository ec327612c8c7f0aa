// The values of a row, for a front end that takes rows as values: each
// column's kind, and a row's values handed over column by column.

#include <charconv>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "sweep/run_columns.h"
#include "sweep/setting_options.h"
#include "sweep/sweep_rows.h"

namespace impactsim {

namespace {

ColumnKind KindOf(const SettingOption& s) {
  if (s.Kind == ValueKind::Word) return ColumnKind::Text;
  if (s.Decimal) return ColumnKind::Decimal;
  return s.Has == nullptr ? ColumnKind::Integer : ColumnKind::OptionalInteger;
}

// The kind of a run column, by the type of its field.
ColumnKind KindOf(const FieldRef& field) {
  return std::visit(
      [](auto member) {
        using T = std::remove_cvref_t<decltype(FieldOf(std::declval<const RowResult&>(), member))>;
        if constexpr (std::is_same_v<T, double> || std::is_same_v<T, std::optional<double>>) {
          return ColumnKind::Decimal;
        } else if constexpr (std::is_same_v<T, std::optional<std::int32_t>>) {
          return ColumnKind::OptionalInteger;
        } else if constexpr (std::is_same_v<T, StopReasons>) {
          return ColumnKind::Text;
        } else {
          return ColumnKind::Integer;
        }
      },
      field);
}

void Visit(RowValueSink& sink, std::size_t column, std::int32_t value) {
  sink.Integer(column, value);
}
void Visit(RowValueSink& sink, std::size_t column, std::int64_t value) {
  sink.Integer(column, value);
}
void Visit(RowValueSink& sink, std::size_t column, double value) {
  sink.Decimal(column, value);
}
void Visit(RowValueSink& sink, std::size_t column, const StopReasons& value) {
  sink.Text(column, value.Text());
}
template <typename T>
void Visit(RowValueSink& sink, std::size_t column, const std::optional<T>& value) {
  if (value) {
    Visit(sink, column, *value);
  } else {
    sink.Missing(column);
  }
}

}  // namespace

std::vector<ColumnKind> RowColumnKinds(SettingColumns settings) {
  std::vector<ColumnKind> all = {ColumnKind::Integer, ColumnKind::Text, ColumnKind::Integer};
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (Shows(settings, i)) all.push_back(KindOf(SettingOptions()[i]));
  }
  for (const RunColumn& c : RunColumns(OpinionColumns(settings))) all.push_back(KindOf(c.Field));
  return all;
}

void VisitRow(const SweepTask& task, const RowResult& result, RowValueSink& sink) {
  sink.Integer(0, static_cast<std::int64_t>(task.Number));
  sink.Text(1, task.Program->Name);
  sink.Integer(2, task.Seed);
  std::size_t column = kTaskColumnCount;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (!Shows(task.Columns, i)) continue;
    const SettingOption& setting = SettingOptions()[i];
    // The value as the rows write it, read as the column's kind.
    const std::string text = setting.Get(task.Settings);
    const ColumnKind kind = KindOf(setting);
    if (!setting.HasIn(*task.Program) || text.empty()) {
      sink.Missing(column);
    } else if (kind == ColumnKind::Text) {
      sink.Text(column, text);
    } else if (kind == ColumnKind::Decimal) {
      double value = 0.0;
      std::from_chars(text.data(), text.data() + text.size(), value);
      sink.Decimal(column, value);
    } else {
      std::int64_t value = 0;
      std::from_chars(text.data(), text.data() + text.size(), value);
      sink.Integer(column, value);
    }
    ++column;
  }
  const auto run = RunColumns(OpinionColumns(task.Columns));
  const std::size_t first = column;
  for (std::size_t i = 0; i < run.size(); ++i) {
    std::visit([&](auto member) { Visit(sink, first + i, FieldOf(result, member)); }, run[i].Field);
  }
}

}  // namespace impactsim
