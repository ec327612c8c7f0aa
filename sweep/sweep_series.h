#pragma once
// The per-round series of a sweep (--series FILE) and of a single run: one
// line per task and round, round 0 being the run's start, and such lines read
// back and checked against the row of their task when a sweep is resumed.

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/round_recorder.h"
#include "sweep/sweep_plan.h"
#include "sweep/sweep_rows.h"

namespace impactsim {

// The columns of a sweep's series: with more than two opinions (the
// OpinionColumns of its layout, 2..kMaxOpinions), those of the cells of
// opinions 3..`opinions` follow opinion2.
std::span<const Column> SeriesColumns(int opinions = 2);

// The CSV header line, '\n' included.
std::string SeriesHeader(int opinions = 2);

// The lines of one task's rounds, in round order, '\n' after each.
std::string FormatSeries(RowFormat format, std::uint64_t task, std::span<const RoundPoint> rounds,
                         int opinions = 2);

// Reads a series file while a sweep's rows file is checked for --resume:
// for each row kept, in order, the same task's lines must follow, each
// exactly as FormatSeries writes it, as many as the row has rounds plus one,
// and agreeing with the row (the start and end census, the end measures, the
// changes and the last change). Lines of a later task, or a last task cut
// short, are past KeepBytes(): the sweep drops and rewrites them.
class SeriesReader {
 public:
  SeriesReader(std::istream& in, RowFormat format, std::string path, int opinions = 2);

  // Reads the header line of a CSV series; true for an empty file. Throws
  // UsageError naming the file when it is not a series header.
  bool ReadHeader();

  // Takes the lines of the row's task; throws UsageError naming the line
  // when they are missing or do not belong to that row.
  void ReadTask(const SweepTask& task, const RowResult& row);

  // Checks what follows the tasks taken: rounds of the tasks after the last
  // row kept, in order (after(k): the number of the k-th of them, none past
  // the last task), the last line perhaps cut short, as a sweep interrupted
  // between tasks' rounds and their rows leaves them: one write may carry
  // the rounds of several tasks before their rows. Throws UsageError for
  // anything else.
  void ReadTail(const std::function<std::optional<std::uint64_t>(std::uint64_t)>& after);

  // The bytes of the header and every task taken.
  std::uint64_t KeepBytes() const { return keep_; }

 private:
  bool NextLine(std::string& line);
  [[noreturn]] void Refuse(const std::string& what) const;

  std::istream* in_;
  RowFormat format_;
  std::string path_;
  int opinions_;
  std::uint64_t keep_ = 0;
  std::uint64_t lineNo_ = 0;
};

}  // namespace impactsim
