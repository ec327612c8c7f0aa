#include "sweep/sweep_out_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <ostream>
#include <sstream>
#include <system_error>

#include "sweep/input_error.h"
#include "sweep/output_target.h"
#include "sweep/readable_file.h"
#include "sweep/recorded_sweep.h"
#include "sweep/sweep_description.h"
#include "sweep/sweep_provenance.h"
#include "sweep/sweep_series.h"
#include "sweep/text_escape.h"

namespace impactsim {

namespace {

constexpr const char* kOut = "out";
constexpr const char* kResume = "resume";
constexpr const char* kSeries = "series";

// The description beside --out, as text. Throws InputError if there is none.
std::string ReadDescription(const SweepRequest& request) {
  const std::string& path = request.OutPath;
  const std::string metaPath = path + kMetaSuffix;
  std::string text;
  std::string reason;
  if (!ReadDescriptionFile(metaPath, text, reason)) {
    throw InputError(kResume, "cannot tell which sweep " + Quoted(path) + " belongs to: " +
                                  Quoted(metaPath) + " cannot be read: " + reason);
  }
  return text;
}

// The identity is compared in the scheme the description records: one from
// before schemes were recorded holds the identity of the whole task list,
// computed only for such a file.
void CheckIdentity(const SweepRequest& request, const std::string& identity,
                   const RecordedSweep& recorded) {
  const std::string metaPath = request.OutPath + kMetaSuffix;
  std::string expected;
  if (recorded.Scheme == kIdentityScheme) {
    expected = identity;
  } else if (recorded.Scheme == kTaskListScheme) {
    expected = TaskListIdentity(request.Plan, request.Format, request.Part);
  } else {
    throw InputError(kResume, Quoted(metaPath) + " records identity scheme " +
                                  std::to_string(recorded.Scheme) +
                                  ", which this version of impactsim does not know");
  }
  if (recorded.Identity != expected) {
    throw InputError(kResume, Quoted(request.OutPath) +
                                  " belongs to a different sweep (other tasks, format or shard)");
  }
}

// The description must be one verify can read back: its command line one
// the sweep takes, giving the identity, format, shard and tasks recorded,
// with the series this sweep writes, where the description names it. A
// series named outside UTF-8, which a description records escaped, is taken
// under the name it was recorded by.
void CheckReadBack(const SweepRequest& request, const std::string& metaText,
                   const std::string& seriesFile) {
  SweepRequest recorded;
  try {
    recorded = RecordedSweepOf(request.OutPath, request.OutPath + kMetaSuffix, metaText);
  } catch (const InputError& e) {
    throw InputError(kResume, e.Text());
  }
  if (request.SeriesPath.empty()) return;
  std::string error;
  const auto given = FindOutputTarget(request.SeriesPath, error);
  const auto named = FindOutputTarget(recorded.SeriesPath, error);
  const std::string escaped = RecordedArgument(request.SeriesPath);
  const bool recordedEscaped = escaped != request.SeriesPath && escaped == seriesFile;
  if (!recordedEscaped && (!given || !named || !given->SameFileAs(*named))) {
    throw InputError(kSeries,
                     Quoted(request.SeriesPath) + " is not the series the description of " +
                         Quoted(request.OutPath) + " names, " + Quoted(recorded.SeriesPath) +
                         "; continue the sweep with that file");
  }
}

// A complete sweep's files must still be the bytes its digests were taken
// of: edited rows or rounds are never taken for the sweep's own, nor given
// a new digest.
void CheckDigests(const SweepRequest& request, const RecordedSweep& recorded) {
  const auto check = [](const std::optional<std::string>& digest, const std::string& path,
                        const char* key, const char* field) {
    if (!digest) return;
    std::string reason;
    const std::optional<RowsFileScan> scan = ScanRowsFile(path, reason);
    if (!scan) throw InputError(key, reason);
    if (scan->Sha256 != *digest) {
      throw InputError(key, Quoted(path) +
                                " has changed since its sweep was complete: its SHA-256 "
                                "is not the " +
                                field + " its description records");
    }
  };
  check(recorded.RowsSha256, request.OutPath, kResume, "rows_sha256");
  if (!request.SeriesPath.empty()) {
    check(recorded.SeriesSha256, request.SeriesPath, kSeries, "series_sha256");
  }
}

// Checks that the description beside --out names this very sweep, with the
// same columns, and a series exactly when one is asked for (the one it
// names), and that the files of a complete sweep are as it left them.
// Throws InputError.
void CheckDescription(const SweepRequest& request, const std::string& identity) {
  const std::string metaPath = request.OutPath + kMetaSuffix;
  const std::string metaText = ReadDescription(request);
  std::istringstream metaIn(metaText);
  const std::optional<RecordedSweep> found = RecordedIdentity(metaIn);
  if (!found) throw InputError(kResume, Quoted(metaPath) + " does not describe a sweep");
  const RecordedSweep& recorded = *found;
  std::vector<std::string> columns;
  for (const Column& c : RowColumns(request.Plan.Columns())) columns.emplace_back(c.Name);
  if (!recorded.ColumnNames.empty() && recorded.ColumnNames != columns) {
    throw InputError(kResume,
                     Quoted(request.OutPath) +
                         " was written by another version of impactsim, with other columns; "
                         "continue it with that version, or start a new file");
  }
  // Rows of an earlier meaning are never continued; a rows scheme this
  // version does not know is refused by the read-back below, as verify
  // refuses it.
  if (recorded.RowsScheme == kEarlierRowsScheme) {
    throw InputError(kResume, Quoted(request.OutPath) +
                                  " was written by an earlier version of impactsim, whose rows "
                                  "give period 0 to a run that ends in unanimity (now 1, at rest, "
                                  "as for every run that stopped changing); continue it with that "
                                  "version, or start a new file");
  }
  CheckStartFiles(request.Plan, metaPath, metaText, "start");
  CheckIdentity(request, identity, recorded);
  if (!request.SeriesPath.empty() && !recorded.Series) {
    throw InputError(kSeries, "the sweep in " + Quoted(request.OutPath) +
                                  " was started without a series; continue it without " +
                                  Ref(kSeries));
  }
  if (request.SeriesPath.empty() && recorded.Series) {
    throw InputError(kResume, "the sweep in " + Quoted(request.OutPath) +
                                  " also writes the series " + Quoted(recorded.SeriesFile) +
                                  "; continue it with " + Ref(kSeries));
  }
  if (recorded.Series && *recorded.Series != SeriesIdentity(identity, request.Format)) {
    throw InputError(kSeries,
                     Quoted(metaPath) + " records a series of another kind; start a new file");
  }
  CheckReadBack(request, metaText, recorded.SeriesFile);
  CheckDigests(request, recorded);
}

// The numbers of the shard's tasks from position `kept` on: after(k) is the
// k-th of them, none past the shard's last.
std::function<std::optional<std::uint64_t>(std::uint64_t)> TasksAfter(const SweepRequest& request,
                                                                      std::uint64_t kept) {
  return [&request, kept](std::uint64_t k) -> std::optional<std::uint64_t> {
    const std::uint64_t position = kept + k;
    if (position >= request.Part.Size(request.Plan.TaskCount())) return std::nullopt;
    return request.Plan.Task(request.Part.TaskAt(position)).Number;
  };
}

// Where the --series file stands before the rows are read.
void StatSeries(const SweepRequest& request, OutState& state) {
  if (request.SeriesPath.empty()) return;
  struct stat st {};
  state.SeriesExists = ::stat(request.SeriesPath.c_str(), &st) == 0;
  if (state.SeriesExists && !S_ISREG(st.st_mode)) {
    throw InputError(
        kSeries, "expects a regular file, which rounds are appended to and resumed from, got " +
                     Quoted(request.SeriesPath) + ", " +
                     (S_ISDIR(st.st_mode) ? std::string("a directory") : KindOfFile(st.st_mode)));
  }
  state.SeriesSize = state.SeriesExists ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// A file without a single row: a new sweep, unless its series already holds
// rounds (a sweep cut short before its first row, whose series starts again,
// or another sweep's file).
void InspectWithoutRows(const SweepRequest& request, const std::string& identity, OutState& state) {
  state.WriteHeader = request.Format == RowFormat::Csv;
  state.WriteMeta = true;
  if (state.SeriesSize == 0) return;
  if (!request.Resume) {
    throw InputError(kSeries, Quoted(request.SeriesPath) + " already holds rounds; use " +
                                  Ref(kResume) + " to continue that sweep, or another file");
  }
  CheckDescription(request, identity);
  FileInput seriesIn(request.SeriesPath);
  if (!seriesIn) {
    throw InputError(kSeries,
                     "cannot read " + Quoted(request.SeriesPath) + ": " + seriesIn.Reason());
  }
  SeriesReader series(seriesIn, request.Format, request.SeriesPath,
                      OpinionColumns(request.Plan.Columns()));
  series.ReadHeader();
  series.ReadTail(TasksAfter(request, 0));
  state.SeriesKeepBytes = series.KeepBytes();
}

// Reads the rows the file holds: every complete line must be the row of the
// shard's next task (and the series hold that task's rounds). Returns the
// lines read.
std::uint64_t ReadKeptRows(const SweepRequest& request, std::istream& in, SeriesReader& series,
                           const KeptRow& kept, OutState& state) {
  const std::string& path = request.OutPath;
  const std::uint64_t shardTasks = request.Part.Size(request.Plan.TaskCount());
  std::string line;
  std::uint64_t lineNo = 0;
  while (std::getline(in, line)) {
    if (in.eof()) {  // no newline: a write cut short
      state.TornLine = true;
      break;
    }
    ++lineNo;
    if (request.Format == RowFormat::Csv && lineNo == 1) {
      if (line + '\n' != CsvHeader(false, request.Plan.Columns())) {
        throw InputError(kResume, Quoted(path) + " does not start with the CSV header of a sweep");
      }
    } else {
      const std::string where = "line " + std::to_string(lineNo) + " of " + Quoted(path);
      if (state.DoneRows >= shardTasks) {
        throw InputError(kResume, where + " is one row more than the sweep has tasks");
      }
      const SweepTask task = request.Plan.Task(request.Part.TaskAt(state.DoneRows));
      const std::optional<RowResult> row = ReadRow(request.Format, line, task);
      if (!row || !ResultFitsTask(*row, task)) {
        throw InputError(kResume, where + " is not the row of task " + std::to_string(task.Number) +
                                      " of this sweep");
      }
      if (!request.SeriesPath.empty()) series.ReadTask(task, *row);
      if (kept) kept(task, *row);
      ++state.DoneRows;
    }
    state.KeepBytes += line.size() + 1;
  }
  if (!in.eof()) throw InputError(kResume, "cannot read " + Quoted(path));
  return lineNo;
}

}  // namespace

OutState InspectOut(const SweepRequest& request, const std::string& identity, const KeptRow& kept) {
  const std::string& path = request.OutPath;
  OutState state;
  struct stat st {};
  state.Exists = ::stat(path.c_str(), &st) == 0;
  if (state.Exists && S_ISDIR(st.st_mode)) {
    throw InputError(kOut, "cannot write " + Quoted(path) + ": is a directory");
  }
  StatSeries(request, state);
  const bool seriesCsv = request.Format == RowFormat::Csv && !request.SeriesPath.empty();
  if (!state.Exists || st.st_size == 0) {
    InspectWithoutRows(request, identity, state);
    state.WriteSeriesHeader = seriesCsv && state.SeriesKeepBytes == 0;
    return state;
  }
  if (!request.Resume) {
    throw InputError(kOut, Quoted(path) + " already holds rows; use " + Ref(kResume) +
                               " to continue that sweep, or another file");
  }
  CheckDescription(request, identity);
  FileInput in(path);
  if (!in) throw InputError(kResume, "cannot read " + Quoted(path) + ": " + in.Reason());
  FileInput seriesIn;
  if (state.SeriesExists) {
    seriesIn.Open(request.SeriesPath);
    if (!seriesIn) {
      throw InputError(kSeries,
                       "cannot read " + Quoted(request.SeriesPath) + ": " + seriesIn.Reason());
    }
  }
  SeriesReader series(seriesIn, request.Format, request.SeriesPath,
                      OpinionColumns(request.Plan.Columns()));
  if (!request.SeriesPath.empty()) series.ReadHeader();
  const std::uint64_t lines = ReadKeptRows(request, in, series, kept, state);
  state.WriteHeader = request.Format == RowFormat::Csv && lines == 0;
  if (!request.SeriesPath.empty()) series.ReadTail(TasksAfter(request, state.DoneRows));
  state.SeriesKeepBytes = series.KeepBytes();
  state.WriteSeriesHeader = seriesCsv && state.SeriesKeepBytes == 0;
  return state;
}

void CheckSeriesPath(const SweepRequest& request) {
  std::string error;
  const auto series = FindOutputTarget(request.SeriesPath, error);
  if (!series) throw InputError(kSeries, error);
  for (const std::string& other : {request.OutPath, request.OutPath + kMetaSuffix}) {
    const auto target = FindOutputTarget(other, error);
    if (target && target->SameFileAs(*series)) {
      throw InputError(kSeries,
                       Quoted(request.SeriesPath) + " is the same file as " + Quoted(other));
    }
  }
}

int OpenOut(const std::string& path, bool create, const char* key) {
  const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0 && errno != EEXIST) {
    throw InputError(key, "cannot write " + Quoted(path) + ": " + ErrnoText(errno));
  }
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (fd >= 0) ::close(fd);
    throw InputError(key, Quoted(path) + " is being written by another sweep");
  }
  return fd;
}

RowSink::~RowSink() {
  if (fd_ >= 0) ::close(fd_);
}

bool RowSink::Write(std::string_view text) {
  if (fd_ < 0) {
    out_->write(text.data(), static_cast<std::streamsize>(text.size()));
    out_->flush();
    if (*out_) return true;
    error_ = {"", "stdout: write failed"};
    return false;
  }
  while (!text.empty()) {
    const ssize_t n = ::write(fd_, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = {key_, "writing " + Quoted(path_) + " failed: " + ErrnoText(n < 0 ? errno : EIO)};
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool RowSink::Truncate(std::uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return true;
  error_ = {key_, "cutting what an interrupted sweep left at the end of " + Quoted(path_) +
                      " failed: " + ErrnoText(errno)};
  return false;
}

}  // namespace impactsim
