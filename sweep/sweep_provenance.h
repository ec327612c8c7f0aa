#pragma once
// Where a sweep's rows came from: the builds, machines and times of the
// sessions that wrote them, and, once every row is there, the SHA-256 of the
// rows file; kept in the description (FILE.meta.json) beside the rows.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "sweep/input_error.h"
#include "sweep/output_file.h"
#include "sweep/sweep_arguments.h"
#include "sweep/sweep_description.h"
#include "sweep/sweep_out_file.h"

namespace impactsim {

// A rows file read once from start to end.
struct RowsFileScan {
  std::string Sha256;       // of all its bytes, 64 lower-case hex digits
  std::uint64_t Lines = 0;  // lines ending in '\n'
  bool TornLine = false;    // bytes after the last '\n'
  std::uint64_t Bytes = 0;
};

// Reads the file at `path`, a regular file (see ReadableFile); on failure
// returns nothing and sets the reason.
std::optional<RowsFileScan> ScanRowsFile(const std::string& path, std::string& error);

// The lines of a scanned file that are rows: all complete lines but a CSV
// file's header.
std::uint64_t RowsIn(const RowsFileScan& scan, RowFormat format);

// The description of an --out file over one session of its sweep. A new (or
// empty) file is described afresh; a continued one keeps its description,
// identity and first start included, and gains this session. A description
// written before identity schemes were recorded is left as it is.
//
// The description is written when the session starts (no finish yet) and
// rewritten when it ends: by Finish after the last row, or on destruction
// (a run or a write failed, or the session stopped early) as failed. Both
// record the time and the rows the file holds; Finish adds the SHA-256 of the
// rows file (and of the --series file) when every task of the shard has its
// row. A file complete when the session starts keeps its digests throughout. Every write goes
// through OutputFile: the old description or the new, never a mix. Where the new one cannot be
// written (a full disk, a file size limit), the session's status, "running", becomes "failed" in
// the bytes the description already holds, so that it never claims to run on. Where a failure after
// the checks goes: to the front end, which shows it.
using ReportProblem = std::function<void(const Problem&)>;

class SweepSession {
 public:
  // `description`: SweepDescription's text; `state`: what InspectOut found.
  // Prepares FILE.meta.json for writing before the rows file is created, so
  // that nothing is made for a description that cannot be written. Throws
  // InputError. Failures later are handed to `report`.
  SweepSession(const SweepRequest& request, const SweepOrigin& origin,
               const std::string& description, const OutState& state, ReportProblem report);
  SweepSession(const SweepSession&) = delete;
  SweepSession& operator=(const SweepSession&) = delete;
  ~SweepSession();

  // Writes the description of the started session. Returns false after
  // reporting a failure.
  bool Begin();

  // Records the session as ended after its last row, with the digest when
  // the file is complete. Returns false after reporting a failure.
  bool Finish();

 private:
  bool End(bool finished);
  bool Commit(OutputFile& file);
  bool MarkFailedInPlace() const;

  std::string rowsPath_;
  std::string seriesPath_;  // empty: no --series
  RowFormat format_;
  std::uint64_t shardTasks_;
  std::uint64_t rowsAtStart_;
  ReportProblem report_;
  std::optional<OutputFile> start_;  // none: an earlier version's description, left alone
  std::string meta_;                 // the description as JSON text
  bool keepsDigests_ = false;        // complete at the start: its digests stay
  bool begun_ = false;
  bool ended_ = false;
};

// The description a sweep of `rows` rows written to the caller, not to a
// file, would have: SweepDescription's fields with one complete session of
// this build, machine and origin.
std::string DescriptionWithoutFile(const std::string& description, const SweepOrigin& origin,
                                   std::uint64_t rows);

}  // namespace impactsim
