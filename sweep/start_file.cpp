#include "sweep/start_file.h"

#include <string_view>
#include <utility>
#include <vector>

#include "sweep/input_error.h"
#include "sweep/readable_file.h"
#include "sweep/sha256.h"
#include "sweep/text_escape.h"
#include "sweep/value_text.h"

namespace impactsim {

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The opinion a start file's character stands for, or 0 for none.
std::uint8_t OpinionOfChar(char c) {
  if (c >= '1' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'a' && c < 'a' + (kMaxOpinions - 9)) return static_cast<std::uint8_t>(c - 'a' + 10);
  return 0;
}

// Names the file and, when not 0, the line (1-based) in a refusal.
class Refusal {
 public:
  Refusal(std::string key, std::string path) : key_(std::move(key)), path_(std::move(path)) {}
  [[noreturn]] void At(std::size_t line, const std::string& what) const {
    throw InputError(
        key_, Quoted(path_) + (line == 0 ? "" : " line " + std::to_string(line)) + ": " + what);
  }

 private:
  std::string key_, path_;
};

// The opinion rows, lines 1..; returns the side.
int ReadOpinions(const std::vector<std::string_view>& lines, std::size_t rows,
                 const Refusal& refuse, StartPopulation& start) {
  if (rows == 0) refuse.At(1, "expects a row of opinions, got an empty line");
  const std::size_t side = lines[0].size();
  for (std::size_t r = 0; r < rows; ++r) {
    const std::string_view row = lines[r];
    if (row.size() != side) {
      refuse.At(r + 1, "expects " + std::to_string(side) + " cells as in line 1, got " +
                           std::to_string(row.size()));
    }
    for (std::size_t c = 0; c < side; ++c) {
      const std::uint8_t opinion = OpinionOfChar(row[c]);
      if (opinion == 0) {
        refuse.At(r + 1, "expects opinions 1..9 or a..g (10..16), got " + Quoted(row.substr(c, 1)) +
                             " in column " + std::to_string(c + 1));
      }
      start.Opinions.push_back(opinion);
    }
  }
  if (rows != side) {
    refuse.At(rows, "expects as many rows of opinions as cells in a row (" + std::to_string(side) +
                        "), got " + std::to_string(rows));
  }
  return static_cast<int>(side);
}

// One line of "P/S" pairs, the line numbered `line`.
void ReadPairs(std::string_view row, std::size_t line, std::size_t side, const Refusal& refuse,
               StartPopulation& start) {
  std::size_t count = 0;
  for (std::string_view rest = row;; ++count) {
    const std::size_t end = rest.find(' ');
    const std::string_view pair = rest.substr(0, end);
    const std::size_t slash = pair.find('/');
    const auto p = slash == std::string_view::npos
                       ? std::nullopt
                       : ParseDigits(pair.substr(0, slash), 0, kStrengthValues - 1);
    const auto s = p ? ParseDigits(pair.substr(slash + 1), 0, kStrengthValues - 1) : std::nullopt;
    if (!s) {
      refuse.At(line, "expects P/S pairs of integers 0..100, got " + Quoted(pair) + " as pair " +
                          std::to_string(count + 1));
    }
    if (count < side) {
      start.Persuasiveness.push_back(static_cast<std::uint8_t>(*p));
      start.Supportiveness.push_back(static_cast<std::uint8_t>(*s));
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  if (count + 1 != side) {
    refuse.At(line, "expects " + std::to_string(side) + " P/S pairs, one per cell, got " +
                        std::to_string(count + 1));
  }
}

// The population the text of the start file `path` holds.
StartPopulation ParseStartText(const std::string& text, const std::string& path,
                               const std::string& key) {
  const Refusal refuse(key, path);
  const std::vector<std::string_view> lines = Lines(text);
  if (lines.empty()) refuse.At(0, "expects rows of opinions, got an empty file");
  std::size_t rows = 0;
  while (rows < lines.size() && !lines[rows].empty()) ++rows;
  StartPopulation start;
  start.Side = ReadOpinions(lines, rows, refuse, start);
  if (rows == lines.size()) return start;
  const auto side = static_cast<std::size_t>(start.Side);
  const std::size_t first = rows + 1;  // the first line of strengths, 0-based
  for (std::size_t r = 0; r < side; ++r) {
    if (first + r >= lines.size()) {
      refuse.At(first + r + 1, "expects " + std::to_string(side) +
                                   " rows of strengths after the blank line, got " +
                                   std::to_string(r));
    }
    ReadPairs(lines[first + r], first + r + 1, side, refuse, start);
  }
  if (first + side < lines.size()) {
    refuse.At(first + side + 1,
              "expects the end of the file after " + std::to_string(side) + " rows of strengths");
  }
  return start;
}

}  // namespace

StartFile ReadStartFile(const std::string& path, const std::string& key) {
  std::string text;
  std::string reason;
  if (!ReadWholeFile(path, kStartFileLimit, text, reason)) {
    throw InputError(key, "cannot read " + Quoted(path) + ": " + reason);
  }
  StartFile file;
  file.Population = std::make_shared<const StartPopulation>(ParseStartText(text, path, key));
  Sha256 digest;
  digest.Update(text);
  file.Sha256 = digest.Hex();
  return file;
}

void SetStart(const ProgramProfile& program, std::shared_ptr<const StartPopulation> start,
              const std::string& source, const std::string& key, RunSettings& settings) {
  if (settings.InitialCount >= 0) {
    throw InputError(key, "cannot be combined with " + Ref("initial_count") + ": " + source +
                              " gives the opinions");
  }
  const int side = GridSideOf(program, settings);
  if (start->Side != side) {
    throw InputError(key, source + " holds a grid of side " + std::to_string(start->Side) +
                              ", and the run's grid has side " + std::to_string(side) + " (" +
                              std::string(program.Name) + "'s own, or " + Ref("side") + ")");
  }
  if (settings.Strengths.Draw == StrengthDraw::Given && !start->HasStrengths()) {
    throw InputError("strengths", "file takes the strengths from " + source +
                                      ", which holds none (a blank line and rows of P/S pairs "
                                      "after the opinions)");
  }
  settings.Start = std::move(start);
}

char OpinionChar(std::uint8_t opinion) {
  return static_cast<char>(opinion < 10 ? '0' + opinion : 'a' + (opinion - 10));
}

std::string PopulationText(const Grid& population, bool strengths) {
  std::string text;
  const int side = population.Side();
  for (int y = 1; y <= side; ++y) {
    for (int x = 1; x <= side; ++x) text += OpinionChar(population.At(x, y).Opinion);
    text += '\n';
  }
  if (!strengths) return text;
  text += '\n';
  for (int y = 1; y <= side; ++y) {
    for (int x = 1; x <= side; ++x) {
      const Cell& cell = population.At(x, y);
      if (x > 1) text += ' ';
      text += std::to_string(cell.Persuasiveness) + '/' + std::to_string(cell.Supportiveness);
    }
    text += '\n';
  }
  return text;
}

}  // namespace impactsim
