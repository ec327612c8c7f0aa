#include "sweep/sweep_series.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <deque>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>
#include <variant>
#include <vector>

#include "sweep/input_error.h"
#include "sweep/text_escape.h"

namespace impactsim {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kSeries = "series";

constexpr Column kColumns[] = {
    {"task", "task number in the whole sweep, as in the rows"},
    {"round", "round number; 0 is the start of the run, before any round"},
    {"changes", "cells that changed their opinion in the round (0 for round 0)"},
    {"opinion1", "cells of opinion 1 after the round"},
    {"opinion2", "cells of opinion 2 after the round"},
    {"clusters",
     "connected groups of cells of one opinion after the round, through the four side "
     "neighbours, across the edges where the grid wraps"},
    {"like_neighbours",
     "mean over all cells of the share of a cell's side neighbours holding its opinion"},
};

std::string Line(RowFormat format, std::uint64_t task, const RoundPoint& p, int opinions) {
  const auto others = static_cast<std::size_t>(opinions);
  if (format == RowFormat::Jsonl) {
    Json line;
    line["task"] = task;
    line["round"] = p.Round;
    line["changes"] = p.Changes;
    line["opinion1"] = p.Opinion1;
    line["opinion2"] = p.Opinion2;
    for (std::size_t k = 3; k <= others; ++k) line["opinion" + std::to_string(k)] = p.Counts[k];
    line["clusters"] = p.Clusters;
    line["like_neighbours"] = p.LikeNeighbours;
    return line.dump() + '\n';
  }
  std::string text = std::to_string(task) + ',' + std::to_string(p.Round) + ',' +
                     std::to_string(p.Changes) + ',' + std::to_string(p.Opinion1) + ',' +
                     std::to_string(p.Opinion2);
  for (std::size_t k = 3; k <= others; ++k) text += ',' + std::to_string(p.Counts[k]);
  return text + ',' + std::to_string(p.Clusters) + ',' + ShortestDecimal(p.LikeNeighbours) + '\n';
}

template <typename Number>
bool ParseField(std::string_view text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// The field of column i of a line, 1 <= i < the clusters column: the
// round, changes, then the census of opinions 1..K.
std::variant<std::int32_t*, std::int64_t*> CountOf(RoundPoint& p, std::size_t i) {
  switch (i) {
    case 1:
      return &p.Round;
    case 2:
      return &p.Changes;
    case 3:
      return &p.Opinion1;
    case 4:
      return &p.Opinion2;
    default:
      return &p.Counts[i - 2];
  }
}

// The values of a line, when it is exactly the line Line() writes for them.
std::optional<std::pair<std::uint64_t, RoundPoint>> ReadLine(RowFormat format,
                                                             std::string_view text, int opinions) {
  const std::span<const Column> columns = SeriesColumns(opinions);
  std::uint64_t task = 0;
  RoundPoint p;
  const auto count = [&p](std::size_t i) { return CountOf(p, i); };
  const std::size_t clusters = columns.size() - 2;
  if (format == RowFormat::Jsonl) {
    const Json line = Json::parse(text, nullptr, false);
    if (!line.is_object() || line.size() != columns.size()) return std::nullopt;
    try {
      // Whole numbers only: a decimal is never converted to a count.
      for (std::size_t i = 0; i <= clusters; ++i) {
        if (!line.at(std::string(columns[i].Name)).is_number_integer()) return std::nullopt;
      }
      task = line.at("task").get<std::uint64_t>();
      for (std::size_t i = 1; i < clusters; ++i) {
        std::visit([&](auto* field) { *field = line.at(std::string(columns[i].Name)); }, count(i));
      }
      p.Clusters = line.at("clusters").get<std::int64_t>();
      p.LikeNeighbours = line.at("like_neighbours").get<double>();
    } catch (const Json::exception&) {
      return std::nullopt;
    }
  } else {
    // task, round, changes, opinions 1..16, clusters, like_neighbours at most.
    std::array<std::string_view, 5 + kMaxOpinions> fields{};
    std::string_view rest = text;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const std::size_t comma = rest.find(',');
      const bool last = i + 1 == columns.size();
      if ((comma == std::string_view::npos) != last) return std::nullopt;
      fields[i] = rest.substr(0, comma);
      if (!last) rest.remove_prefix(comma + 1);
    }
    bool read = ParseField(fields[0], task) && ParseField(fields[clusters], p.Clusters) &&
                ParseField(fields[clusters + 1], p.LikeNeighbours);
    for (std::size_t i = 1; read && i < clusters; ++i) {
      read = std::visit([&](auto* field) { return ParseField(fields[i], *field); }, count(i));
    }
    if (!read) return std::nullopt;
  }
  p.Counts[1] = p.Opinion1;
  p.Counts[2] = p.Opinion2;
  // Only the writer's own bytes: other spellings, spacing or key order fail.
  const std::string written = Line(format, task, p, opinions);
  if (std::string_view(written).substr(0, written.size() - 1) != text) return std::nullopt;
  return std::pair{task, p};
}

// A round's census: each opinion of the task 0..cells, together every cell,
// no cells of an opinion above the task's.
bool CensusFits(const Census& census, int opinions, std::int32_t cells) {
  std::int64_t total = 0;
  for (std::size_t k = 1; k < census.size(); ++k) {
    const std::int32_t held = census[k];
    if (held < 0 || held > cells || (static_cast<int>(k) > opinions && held != 0)) return false;
    total += held;
  }
  return total == cells;
}

// The census of opinions 3.. as a row holds it (0 beyond its columns).
bool SameAbove(const Census& round, const Census& row) {
  return std::equal(round.begin() + 3, round.end(), row.begin() + 3);
}

}  // namespace

std::span<const Column> SeriesColumns(int opinions) {
  using Tables = std::array<std::vector<Column>, kMaxOpinions + 1>;
  static const Tables tables = [] {
    static std::deque<std::string> kept;  // the views' text
    Tables all;
    for (std::size_t k = 2; k < all.size(); ++k) {
      all[k].assign(std::begin(kColumns), std::begin(kColumns) + 5);
      for (std::size_t o = 3; o <= k; ++o) {
        const std::string_view name = kept.emplace_back("opinion" + std::to_string(o));
        const std::string_view meaning =
            kept.emplace_back("cells of opinion " + std::to_string(o) +
                              " after the round (0 for a task of fewer opinions)");
        all[k].push_back({name, meaning});
      }
      all[k].insert(all[k].end(), std::begin(kColumns) + 5, std::end(kColumns));
    }
    return all;
  }();
  return tables[static_cast<std::size_t>(std::clamp(opinions, 2, kMaxOpinions))];
}

std::string SeriesHeader(int opinions) {
  std::string header;
  for (const Column& c : SeriesColumns(opinions)) {
    if (!header.empty()) header += ',';
    header += c.Name;
  }
  return header + '\n';
}

std::string FormatSeries(RowFormat format, std::uint64_t task, std::span<const RoundPoint> rounds,
                         int opinions) {
  std::string text;
  for (const RoundPoint& p : rounds) text += Line(format, task, p, opinions);
  return text;
}

SeriesReader::SeriesReader(std::istream& in, RowFormat format, std::string path, int opinions)
    : in_(&in), format_(format), path_(std::move(path)), opinions_(opinions) {}

bool SeriesReader::NextLine(std::string& line) {
  if (!std::getline(*in_, line)) {
    // A read that failed, or a line too long to be a series', is no end.
    if (in_->bad()) {
      ++lineNo_;
      Refuse("cannot be read");
    }
    return false;
  }
  if (in_->eof()) return false;  // no newline: a write cut short
  ++lineNo_;
  return true;
}

void SeriesReader::Refuse(const std::string& what) const {
  throw InputError(kSeries,
                   "line " + std::to_string(lineNo_) + " of " + Quoted(path_) + " " + what);
}

bool SeriesReader::ReadHeader() {
  if (format_ != RowFormat::Csv) return true;
  std::string line;
  if (!NextLine(line)) return true;
  if (line + '\n' != SeriesHeader(opinions_)) {
    throw InputError(kSeries,
                     Quoted(path_) + " does not start with the CSV header of a sweep's series");
  }
  keep_ += line.size() + 1;
  return true;
}

void SeriesReader::ReadTask(const SweepTask& task, const RowResult& row) {
  const std::string of = "of task " + std::to_string(task.Number);
  const std::int32_t cells = task.Cells();
  std::int64_t changes = 0;
  std::int64_t lastChange = 0;
  std::uint64_t bytes = 0;
  RoundPoint p;
  for (std::int64_t round = 0; round <= row.RoundsRun; ++round) {
    std::string line;
    if (!NextLine(line)) {
      ++lineNo_;
      Refuse("is missing: the series ends before the rounds " + of + ", whose row is kept");
    }
    const auto read = ReadLine(format_, line, opinions_);
    if (!read || read->first != task.Number || read->second.Round != round) {
      Refuse("is not round " + std::to_string(round) + " " + of + " as a series writes it");
    }
    p = read->second;
    const bool fits =
        CensusFits(p.Counts, task.Settings.Opinions, cells) && p.Changes >= 0 &&
        p.Changes <= cells && (round > 0 || p.Changes == 0) && p.Clusters >= 1 &&
        p.Clusters <= cells && LikeShareFits(p.LikeNeighbours, cells) &&
        (round > 0 ||
         (p.Opinion1 == row.Opinion1Start && SameAbove(p.Counts, row.CensusStart) &&
          p.Clusters == row.ClustersStart && p.LikeNeighbours == row.LikeNeighboursStart));
    if (!fits) Refuse("cannot be round " + std::to_string(round) + " " + of);
    changes += p.Changes;
    if (p.Changes > 0) lastChange = round;
    bytes += line.size() + 1;
  }
  if (p.Opinion1 != row.Opinion1End || !SameAbove(p.Counts, row.CensusEnd) ||
      p.Clusters != row.Clusters || p.LikeNeighbours != row.LikeNeighbours ||
      changes != row.TotalChanges || lastChange != row.LastChangeRound) {
    Refuse("ends rounds " + of + " that do not agree with its row");
  }
  keep_ += bytes;
}

void SeriesReader::ReadTail(
    const std::function<std::optional<std::uint64_t>(std::uint64_t)>& after) {
  std::string line;
  std::uint64_t k = 0;  // the task the lines are now of: the k-th after the rows kept
  std::int64_t round = -1;
  while (NextLine(line)) {
    const auto read = ReadLine(format_, line, opinions_);
    const std::optional<std::uint64_t> now = after(k);
    const std::optional<std::uint64_t> following = round < 0 ? now : after(k + 1);
    if (read && now && read->first == *now && read->second.Round == round + 1) {
      ++round;  // the next round of the same task
    } else if (read && following && read->first == *following && read->second.Round == 0) {
      if (round >= 0) ++k;  // the first round of the task after it
      round = 0;
    } else if (!now) {
      Refuse("is one more than the rounds of every task of the sweep");
    } else {
      Refuse("is not round " + std::to_string(round + 1) + " of task " + std::to_string(*now) +
             " nor the first round of the task after it, as a series writes them");
    }
  }
}

}  // namespace impactsim
