#pragma once
// Verifying a sweep's file: its tasks re-run as the description beside it
// (FILE.meta.json) records the sweep, and every row (and every task's
// rounds in the series) compared byte for byte, with the digests recorded.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sweep/arguments.h"
#include "sweep/verify_checks.h"

namespace impactsim {

// What verify is asked; whether the tasks named are in the file is only
// known once it is read.
struct VerifyRequest {
  std::string Path;                            // the --out file of a sweep
  std::optional<std::uint64_t> Sample;         // N rows picked at random
  std::vector<PositionSet::Range> TaskRanges;  // the rows of these tasks
  unsigned Jobs = 1;
  bool Quiet = false;  // no progress bar
};

// Checks the arguments of a verify, by key: "file", "sample", "tasks" (task
// numbers and ranges A-B), "jobs" and the switch "quiet". Throws InputError
// for the first problem; touches no file.
VerifyRequest ResolveVerify(const Arguments& arguments);

// What a front end hears of a verify while it runs, on the calling thread.
class VerifyListener {
 public:
  virtual ~VerifyListener() = default;
  // The rows that will be checked.
  virtual void Started(std::uint64_t rows) { (void)rows; }
  // Rows checked so far; at least every fifth of a second. May throw to
  // stop.
  virtual void Progress(std::uint64_t done) { (void)done; }
  // One difference, as one line, as soon as it is found.
  virtual void Found(const std::string& line) { (void)line; }
};

// What verify found.
struct VerifyReport {
  std::vector<std::string> Findings;  // every difference, one line each
  std::uint64_t Checked = 0;          // rows re-run and compared
  std::uint64_t Differing = 0;        // of those, rows that differ
  std::uint64_t Rows = 0;             // rows in the file
  std::uint64_t Present = 0;          // of the shard's tasks, those with a row
  std::uint64_t ShardTasks = 0;
  std::string Digests;  // "rows_sha256 agrees", "no rows_sha256 recorded", ...

  bool Agrees() const { return Findings.empty(); }
  // "agrees: checked 3 rows of 3, all agree; ..." (no line break).
  std::string Summary() const;
};

// Reads FILE.meta.json, rebuilds the sweep from the command line it records
// (FILE in place of its --out), and checks FILE: the CSV header, each chosen
// row against the row its task's run makes now (and the task's rounds, for a
// sweep with a series), the rows past the shard's last task, an unfinished
// last line, and the recorded digests. The rows are re-run on
// request.Jobs threads. Throws InputError for bad input (FILE or its
// description unreadable or not a sweep's, a task not in FILE) before
// anything is checked; a run that fails throws std::runtime_error.
VerifyReport VerifySweep(const VerifyRequest& request, VerifyListener& listener);

}  // namespace impactsim
