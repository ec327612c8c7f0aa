#include "sweep/sweep_series.h"

#include <charconv>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>

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

std::string Line(RowFormat format, std::uint64_t task, const RoundPoint& p) {
  if (format == RowFormat::Jsonl) {
    Json line;
    line["task"] = task;
    line["round"] = p.Round;
    line["changes"] = p.Changes;
    line["opinion1"] = p.Opinion1;
    line["opinion2"] = p.Opinion2;
    line["clusters"] = p.Clusters;
    line["like_neighbours"] = p.LikeNeighbours;
    return line.dump() + '\n';
  }
  return std::to_string(task) + ',' + std::to_string(p.Round) + ',' + std::to_string(p.Changes) +
         ',' + std::to_string(p.Opinion1) + ',' + std::to_string(p.Opinion2) + ',' +
         std::to_string(p.Clusters) + ',' + ShortestDecimal(p.LikeNeighbours) + '\n';
}

template <typename Number>
bool ParseField(std::string_view text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// The values of a line, when it is exactly the line Line() writes for them.
std::optional<std::pair<std::uint64_t, RoundPoint>> ReadLine(RowFormat format,
                                                             std::string_view text) {
  std::uint64_t task = 0;
  RoundPoint p;
  if (format == RowFormat::Jsonl) {
    const Json line = Json::parse(text, nullptr, false);
    if (!line.is_object() || line.size() != std::size(kColumns)) return std::nullopt;
    try {
      // Whole numbers only: a decimal is never converted to a count.
      for (const char* key : {"task", "round", "changes", "opinion1", "opinion2", "clusters"}) {
        if (!line.at(key).is_number_integer()) return std::nullopt;
      }
      task = line.at("task").get<std::uint64_t>();
      p.Round = line.at("round").get<std::int32_t>();
      p.Changes = line.at("changes").get<std::int32_t>();
      p.Opinion1 = line.at("opinion1").get<std::int32_t>();
      p.Opinion2 = line.at("opinion2").get<std::int32_t>();
      p.Clusters = line.at("clusters").get<std::int64_t>();
      p.LikeNeighbours = line.at("like_neighbours").get<double>();
    } catch (const Json::exception&) {
      return std::nullopt;
    }
  } else {
    std::string_view fields[std::size(kColumns)];
    std::string_view rest = text;
    for (std::size_t i = 0; i < std::size(fields); ++i) {
      const std::size_t comma = rest.find(',');
      const bool last = i + 1 == std::size(fields);
      if ((comma == std::string_view::npos) != last) return std::nullopt;
      fields[i] = rest.substr(0, comma);
      if (!last) rest.remove_prefix(comma + 1);
    }
    if (!ParseField(fields[0], task) || !ParseField(fields[1], p.Round) ||
        !ParseField(fields[2], p.Changes) || !ParseField(fields[3], p.Opinion1) ||
        !ParseField(fields[4], p.Opinion2) || !ParseField(fields[5], p.Clusters) ||
        !ParseField(fields[6], p.LikeNeighbours)) {
      return std::nullopt;
    }
  }
  // Only the writer's own bytes: other spellings, spacing or key order fail.
  const std::string written = Line(format, task, p);
  if (std::string_view(written).substr(0, written.size() - 1) != text) return std::nullopt;
  return std::pair{task, p};
}

}  // namespace

std::span<const Column> SeriesColumns() {
  return kColumns;
}

std::string SeriesHeader() {
  std::string header;
  for (const Column& c : kColumns) {
    if (!header.empty()) header += ',';
    header += c.Name;
  }
  return header + '\n';
}

std::string FormatSeries(RowFormat format, std::uint64_t task, std::span<const RoundPoint> rounds) {
  std::string text;
  for (const RoundPoint& p : rounds) text += Line(format, task, p);
  return text;
}

SeriesReader::SeriesReader(std::istream& in, RowFormat format, std::string path)
    : in_(&in), format_(format), path_(std::move(path)) {}

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
  if (line + '\n' != SeriesHeader()) {
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
    const auto read = ReadLine(format_, line);
    if (!read || read->first != task.Number || read->second.Round != round) {
      Refuse("is not round " + std::to_string(round) + " " + of + " as a series writes it");
    }
    p = read->second;
    const bool fits =
        p.Opinion1 >= 0 && p.Opinion1 <= cells && p.Opinion2 == cells - p.Opinion1 &&
        p.Changes >= 0 && p.Changes <= cells && (round > 0 || p.Changes == 0) && p.Clusters >= 1 &&
        p.Clusters <= cells && LikeShareFits(p.LikeNeighbours, cells) &&
        (round > 0 || (p.Opinion1 == row.Opinion1Start && p.Clusters == row.ClustersStart &&
                       p.LikeNeighbours == row.LikeNeighboursStart));
    if (!fits) Refuse("cannot be round " + std::to_string(round) + " " + of);
    changes += p.Changes;
    if (p.Changes > 0) lastChange = round;
    bytes += line.size() + 1;
  }
  if (p.Opinion1 != row.Opinion1End || p.Clusters != row.Clusters ||
      p.LikeNeighbours != row.LikeNeighbours || changes != row.TotalChanges ||
      lastChange != row.LastChangeRound) {
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
    const auto read = ReadLine(format_, line);
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
