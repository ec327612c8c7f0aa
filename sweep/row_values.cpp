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
  if (!s.Items.empty()) return ColumnKind::Decimal;
  return s.Has == nullptr ? ColumnKind::Integer : ColumnKind::OptionalInteger;
}

// The kind of a run column, by the type of its field.
ColumnKind KindOf(const FieldRef& field) {
  return std::visit(
      [](auto member) {
        using T = std::remove_cvref_t<decltype(std::declval<RowResult>().*member)>;
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

const std::vector<ColumnKind>& Kinds() {
  static const std::vector<ColumnKind> kinds = [] {
    std::vector<ColumnKind> all = {ColumnKind::Integer, ColumnKind::Text, ColumnKind::Integer};
    for (const SettingOption& s : SettingOptions()) all.push_back(KindOf(s));
    for (const RunColumn& c : RunColumns()) all.push_back(KindOf(c.Field));
    return all;
  }();
  return kinds;
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

std::span<const ColumnKind> RowColumnKinds() {
  return Kinds();
}

void VisitRow(const SweepTask& task, const RowResult& result, RowValueSink& sink) {
  sink.Integer(0, static_cast<std::int64_t>(task.Number));
  sink.Text(1, task.Program->Name);
  sink.Integer(2, task.Seed);
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const std::size_t column = kTaskColumnCount + i;
    const SettingOption& setting = SettingOptions()[i];
    const std::int32_t code = setting.Get(task.Settings);
    if (!setting.HasIn(*task.Program)) {
      sink.Missing(column);
    } else if (Kinds()[column] == ColumnKind::Text) {
      sink.Text(column, setting.Text(code));
    } else if (Kinds()[column] == ColumnKind::Decimal) {
      // The value as the rows write it, read as a number.
      const std::string text = setting.Text(code);
      double value = 0.0;
      std::from_chars(text.data(), text.data() + text.size(), value);
      sink.Decimal(column, value);
    } else {
      sink.Integer(column, code);
    }
  }
  const auto run = RunColumns();
  for (std::size_t i = 0; i < run.size(); ++i) {
    const std::size_t column = kSettingsColumns + i;
    std::visit([&](auto member) { Visit(sink, column, result.*member); }, run[i].Field);
  }
}

}  // namespace impactsim
