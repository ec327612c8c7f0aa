#pragma once
// A sweep carried out: its files checked, locked and described, the shard's
// missing tasks run on several threads, each row written in task order as
// soon as it and every earlier one are done, and the rounds of the series as
// they end, in task order too (SeriesSpool). Every
// front end writes a sweep through here, so their files are the same.

#include <cstdint>
#include <iosfwd>

#include "sweep/input_error.h"
#include "sweep/sweep_arguments.h"
#include "sweep/sweep_description.h"
#include "sweep/sweep_rows.h"

namespace impactsim {

// What a front end hears of a sweep while it runs. Every call comes on the
// thread that called WriteSweep.
class SweepListener {
 public:
  virtual ~SweepListener() = default;

  // The runs this session makes: the shard's tasks the file does not hold.
  virtual void Started(std::uint64_t runs) { (void)runs; }

  // Runs done so far, after each hand-over of rows and at least every
  // twentieth of a second. May throw to stop the sweep: the runs in progress
  // stop after their current round, and the files are left as a sweep cut
  // short leaves them, ready for resume.
  virtual void Progress(std::uint64_t done) { (void)done; }

  // Every row of the shard in order, when WantsRows(): those kept from the
  // file first, then each new one once it has been written.
  virtual bool WantsRows() const { return false; }
  virtual void Row(const SweepTask& task, const RowResult& row) {
    (void)task;
    (void)row;
  }

  // A failure after the checks: a write or the description that could not
  // be written. WriteSweep then returns false.
  virtual void Failed(const Problem& problem) = 0;
};

// Carries out a checked sweep (not a List). With an OutPath: checks the
// files (and, with Resume, that they belong to this very sweep) and throws
// InputError before anything is written; then writes FILE.meta.json, the CSV
// headers of empty files, and appends each row. Without one, the rows go to
// `rows` if given. `origin` is recorded in the description. Returns true
// when every task of the shard has its row, false after reporting a
// failure; a run that fails throws (the description records the session as
// failed).
bool WriteSweep(const SweepRequest& request, const SweepOrigin& origin, std::ostream* rows,
                SweepListener& listener);

}  // namespace impactsim
