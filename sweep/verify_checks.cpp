#include "sweep/verify_checks.h"

#include <algorithm>
#include <charconv>
#include <random>
#include <span>
#include <stdexcept>
#include <unordered_set>

#include "sweep/input_error.h"
#include "sweep/sweep_series.h"
#include "sweep/text_escape.h"

namespace impactsim {

PositionSet PositionSet::All(std::uint64_t count) {
  PositionSet set;
  if (count > 0) set.Add({0, count - 1});
  return set;
}

bool PositionSet::FromRanges(std::vector<Range> ranges, PositionSet& set, std::uint64_t& repeat) {
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.First < b.First; });
  set = PositionSet();
  for (const Range& range : ranges) {
    if (!set.ranges_.empty() && range.First <= set.ranges_.back().Last) {
      repeat = range.First;
      return false;
    }
    set.Add(range);
  }
  return true;
}

PositionSet PositionSet::Sample(std::uint64_t count, std::uint64_t below, std::uint64_t seed) {
  if (count >= below) return All(below);
  // Floyd's selection: count draws, each of a position not yet picked, with
  // every subset equally likely; memory in proportion to count only.
  std::mt19937_64 random(seed);
  std::unordered_set<std::uint64_t> picked;
  for (std::uint64_t j = below - count; j < below; ++j) {
    const std::uint64_t p = std::uniform_int_distribution<std::uint64_t>(0, j)(random);
    picked.insert(picked.contains(p) ? j : p);
  }
  std::vector<std::uint64_t> sorted(picked.begin(), picked.end());
  std::sort(sorted.begin(), sorted.end());
  PositionSet set;
  for (const std::uint64_t p : sorted) set.Add({p, p});
  return set;
}

void PositionSet::Add(Range range) {
  if (!ranges_.empty() && ranges_.back().Last + 1 == range.First) {
    ranges_.back().Last = range.Last;
    ends_.back() += range.Last - range.First + 1;
    return;
  }
  ranges_.push_back(range);
  ends_.push_back(Count() + range.Last - range.First + 1);
}

std::uint64_t PositionSet::At(std::uint64_t k) const {
  const auto it = std::upper_bound(ends_.begin(), ends_.end(), k);
  const auto i = static_cast<std::size_t>(it - ends_.begin());
  const std::uint64_t before = i == 0 ? 0 : ends_[i - 1];
  return ranges_[i].First + (k - before);
}

RowsCheck::RowsCheck(const std::string& path, RowFormat format)
    : format_(format), in_(path), headerLines_(format == RowFormat::Csv ? 1 : 0) {
  if (!in_) throw std::runtime_error("cannot read " + Quoted(path) + ": " + in_.Reason());
  std::string header;
  for (std::uint64_t i = 0; i < headerLines_; ++i) std::getline(in_, header);
}

std::string RowsCheck::Expected(const CheckedRun& run) const {
  return FormatRow(format_, run.Task, &run.Outcome);
}

std::string RowsCheck::Compare(std::uint64_t position, std::string_view expected) {
  std::string line;
  bool read = false;
  while (next_ <= position) {
    read = static_cast<bool>(std::getline(in_, line));
    ++next_;
    if (!read) break;
  }
  const std::string where = "rows: line " + std::to_string(position + headerLines_ + 1);
  if (!read) return where + " cannot be read";
  // A line without its '\n' (the file's last) never agrees: getline drops
  // the '\n' it finds, and eof tells that none was there.
  const std::string text = in_.eof() ? line : line + '\n';
  if (text == expected) return "";
  std::string_view made = expected;
  if (made.ends_with('\n')) made.remove_suffix(1);
  return where + " is " + Quoted(line) + ", the run gives " + Quoted(made);
}

SeriesCheck::SeriesCheck(const std::string& path, RowFormat format, const Shard& part)
    : format_(format), part_(part), in_(path) {
  if (!in_) {
    throw std::runtime_error("cannot read the series " + Quoted(path) + ": " + in_.Reason());
  }
  if (format_ == RowFormat::Csv) Next();  // the header
  held_ = false;
}

SeriesDigest::SeriesDigest(const SweepTask& task, RowFormat format)
    : RoundRecorder(GridWraps(*task.Program, task.Settings), true),
      task_(task.Number),
      opinions_(OpinionColumns(task.Columns)),
      format_(format) {}

void SeriesDigest::Measured(const RoundPoint& point) {
  digest_.Update(FormatSeries(format_, task_, std::span(&point, 1), opinions_));
  ++lines_;
}

std::string SeriesDigest::Summary() {
  const std::string hex = digest_.Hex();
  if (hex.empty()) throw std::runtime_error("SHA-256 is not available");
  return std::to_string(lines_) + ' ' + hex;
}

std::string SeriesCheck::Expected(const CheckedRun& run) const {
  if (run.Rounds == nullptr) throw std::logic_error("the series is checked without its rounds");
  return run.Rounds->Summary();
}

bool SeriesCheck::Next() {
  if (!std::getline(in_, line_)) return held_ = false;
  ++lineNo_;
  // A last line without its '\n' keeps none, so it never equals a line
  // the run gives.
  if (!in_.eof()) line_ += '\n';
  return held_ = true;
}

std::optional<std::uint64_t> SeriesCheck::TaskOf(const std::string& line) const {
  std::string_view text = line;
  if (format_ == RowFormat::Jsonl) {
    if (!text.starts_with("{\"task\":")) return std::nullopt;
    text.remove_prefix(8);
  }
  std::uint64_t task = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), task);
  if (ec != std::errc() || end == text.data() || end == text.data() + text.size() || *end != ',') {
    return std::nullopt;
  }
  return task;
}

std::string SeriesCheck::Compare(std::uint64_t position, std::string_view expected) {
  const std::uint64_t task = part_.TaskAt(position);
  // Lines of earlier tasks, not chosen, are passed over.
  while ((held_ || Next())) {
    const std::optional<std::uint64_t> of = TaskOf(line_);
    if (!of || *of >= task) break;
    held_ = false;
  }
  const std::uint64_t first = lineNo_;
  std::uint64_t found = 0;
  Sha256 digest;
  while (held_ || Next()) {
    const std::optional<std::uint64_t> of = TaskOf(line_);
    if (!of || *of != task) break;
    digest.Update(line_);
    ++found;
    held_ = false;
  }
  const std::string summary = std::to_string(found) + ' ' + digest.Hex();
  if (summary == expected) return "";
  if (found == 0) return "series: no rounds of the task (line " + std::to_string(first) + ")";
  const std::string_view lines = expected.substr(0, expected.find(' '));
  return "series: lines " + std::to_string(first) + ".." + std::to_string(first + found - 1) +
         " are not the rounds the run gives (" + std::string(lines) + " lines)";
}

bool StartsAsSeries(const std::string& path, RowFormat format, int opinions) {
  const std::string header = SeriesHeader(opinions);
  constexpr std::string_view kJsonStart = "{\"task\":";
  ReadableFile file(path);
  if (!file.IsOpen()) return false;
  std::string start(header.size(), '\0');
  std::size_t got = 0;
  while (got < start.size()) {
    const std::ptrdiff_t n = file.Read(start.data() + got, start.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  start.resize(got);
  if (start.empty()) return true;
  if (format == RowFormat::Csv) return start == header;
  // {"task":N,"round": as the series' JSON lines start.
  if (!start.starts_with(kJsonStart)) return false;
  const std::string_view rest = std::string_view(start).substr(kJsonStart.size());
  const std::size_t digits = rest.find_first_not_of("0123456789");
  return digits > 0 && digits != std::string_view::npos &&
         rest.substr(digits).starts_with(",\"round\":");
}

}  // namespace impactsim
