#pragma once
// The pieces of "impactsim verify": which rows of a sweep file are checked,
// and the per-task checks that re-make a task's part of a file from its run
// and compare it byte for byte.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/round_recorder.h"
#include "sweep/readable_file.h"
#include "sweep/sha256.h"
#include "sweep/sweep_arguments.h"
#include "sweep/sweep_rows.h"

namespace impactsim {

// Positions of rows in a shard's file (row p is the shard's task
// Part.TaskAt(p)), kept as ascending, non-overlapping inclusive ranges.
class PositionSet {
 public:
  struct Range {
    std::uint64_t First;
    std::uint64_t Last;
  };

  // Every position below `count`.
  static PositionSet All(std::uint64_t count);

  // From ranges in any order; returns false and sets `repeat` to the lowest
  // position in more than one of them.
  static bool FromRanges(std::vector<Range> ranges, PositionSet& set, std::uint64_t& repeat);

  // `count` distinct positions below `below` picked at random (all of them
  // when count >= below), with `seed` choosing which.
  static PositionSet Sample(std::uint64_t count, std::uint64_t below, std::uint64_t seed);

  std::uint64_t Count() const { return ends_.empty() ? 0 : ends_.back(); }
  std::uint64_t At(std::uint64_t k) const;  // k < Count(), ascending in k

 private:
  void Add(Range range);
  std::vector<Range> ranges_;
  std::vector<std::uint64_t> ends_;  // positions in ranges_[0..i]
};

// One file of a sweep whose text for a task is re-made from the task's run
// and compared. The rows file is one; a file with several lines per task
// plugs in the same way, as one more check in the list verify runs for every
// task.
// A task's run as the checks see it. A run asked for its rounds reports
// them to a SeriesDigest (CheckedRun::Rounds), which keeps only their count
// and digest, so a run of any length is checked in the same memory.
class SeriesDigest;
struct CheckedRun {
  const SweepTask& Task;
  const RunOutcome& Outcome;
  SeriesDigest* Rounds = nullptr;  // none: the rounds were not recorded
};

class TaskCheck {
 public:
  virtual ~TaskCheck() = default;

  // What the file holds for the task after its run, as Compare takes it.
  // Called on worker threads: it may read only the run and constant data.
  virtual std::string Expected(const CheckedRun& run) const = 0;

  // Compares the file's text for the task at row position `position` with
  // `expected`. Called on one thread with positions in ascending order.
  // Returns "" when they agree, else what differs, on one line ("rows: line
  // 9 is '...', the run gives '...'").
  virtual std::string Compare(std::uint64_t position, std::string_view expected) = 0;
};

// The rows file: row p is line p + 1 after the CSV header, if any. The file
// is read forward once, so checking every row of a huge file holds one line
// at a time. Throws std::runtime_error when the file cannot be opened or is not a
// regular file.
class RowsCheck : public TaskCheck {
 public:
  RowsCheck(const std::string& path, RowFormat format);
  std::string Expected(const CheckedRun& run) const override;
  std::string Compare(std::uint64_t position, std::string_view expected) override;

 private:
  RowFormat format_;
  FileInput in_;
  std::uint64_t next_ = 0;  // the position of the next line to read
  std::uint64_t headerLines_;
};

// The series lines of one task's run, taken as its rounds end: only their
// count and SHA-256 are kept.
class SeriesDigest final : public RoundRecorder {
 public:
  SeriesDigest(const SweepTask& task, RowFormat format);
  // "LINES SHA256" of the lines given so far; ends the digest.
  std::string Summary();

 protected:
  void Measured(const RoundPoint& point) override;

 private:
  std::uint64_t task_;
  int opinions_;
  RowFormat format_;
  std::uint64_t lines_ = 0;
  Sha256 digest_;
};

// The --series file: each task's rounds are the consecutive lines that start
// with its number, the tasks in the order of the rows. Read forward once,
// skipping the lines of tasks not chosen, one line at a time: the lines of
// a task are compared with its run by their count and digest. Throws
// std::runtime_error when the file cannot be opened.
class SeriesCheck : public TaskCheck {
 public:
  SeriesCheck(const std::string& path, RowFormat format, const Shard& part);
  std::string Expected(const CheckedRun& run) const override;
  std::string Compare(std::uint64_t position, std::string_view expected) override;

 private:
  // The task number a line starts with; none for a line that names none.
  std::optional<std::uint64_t> TaskOf(const std::string& line) const;
  bool Next();  // reads the next line into line_; false at the end

  RowFormat format_;
  Shard part_;
  FileInput in_;
  std::string line_;
  bool held_ = false;         // line_ holds a line not yet taken
  std::uint64_t lineNo_ = 0;  // of line_
};

// Whether the file at `path` starts as a series of `format` does: empty, or
// with the CSV series header, or with a JSON line of a task's round. Reads
// no more than its first line's worth; false for a file that cannot be read.
bool StartsAsSeries(const std::string& path, RowFormat format, int opinions);

}  // namespace impactsim
