#include "cli/sweep_out_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <system_error>

#include "cli/option_text.h"
#include "cli/output_target.h"
#include "cli/sweep_description.h"
#include "cli/sweep_series.h"

namespace impactsim::cli {

namespace {

constexpr const char* kOutOption = "--out";
constexpr const char* kResumeOption = "--resume";
constexpr const char* kSeriesOption = "--series";

std::string Reason(int errorNumber) {
  return std::generic_category().message(errorNumber);
}

// The description beside --out. Throws UsageError if there is none.
RecordedSweep ReadDescription(const SweepRequest& request) {
  const std::string& path = request.OutPath;
  const std::string metaPath = path + kMetaSuffix;
  std::ifstream metaIn(metaPath, std::ios::binary);
  if (!metaIn) {
    throw UsageError(std::string(kResumeOption) + ": cannot tell which sweep " + Quoted(path) +
                     " belongs to: " + Quoted(metaPath) + " cannot be read");
  }
  std::optional<RecordedSweep> recorded = RecordedIdentity(metaIn);
  if (!recorded) {
    throw UsageError(std::string(kResumeOption) + ": " + Quoted(metaPath) +
                     " does not describe a sweep");
  }
  return std::move(*recorded);
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
    throw UsageError(std::string(kResumeOption) + ": " + Quoted(metaPath) +
                     " records identity scheme " + std::to_string(recorded.Scheme) +
                     ", which this version of impactsim does not know");
  }
  if (recorded.Identity != expected) {
    throw UsageError(std::string(kResumeOption) + ": " + Quoted(request.OutPath) +
                     " belongs to a different sweep (other tasks, format or shard)");
  }
}

// Checks that the description beside --out names this very sweep, with the
// same columns, and a series exactly when one is asked for. Throws
// UsageError.
void CheckDescription(const SweepRequest& request, const std::string& identity) {
  const RecordedSweep recorded = ReadDescription(request);
  std::vector<std::string> columns;
  for (const Column& c : RowColumns()) columns.emplace_back(c.Name);
  if (!recorded.ColumnNames.empty() && recorded.ColumnNames != columns) {
    throw UsageError(std::string(kResumeOption) + ": " + Quoted(request.OutPath) +
                     " was written by another version of impactsim, with other columns; "
                     "continue it with that version, or start a new file");
  }
  CheckIdentity(request, identity, recorded);
  if (!request.SeriesPath.empty() && !recorded.Series) {
    throw UsageError(std::string(kSeriesOption) + ": the sweep in " + Quoted(request.OutPath) +
                     " was started without a series; continue it without --series");
  }
  if (request.SeriesPath.empty() && recorded.Series) {
    throw UsageError(std::string(kResumeOption) + ": the sweep in " + Quoted(request.OutPath) +
                     " also writes the series " + Quoted(recorded.SeriesFile) +
                     "; continue it with --series");
  }
  if (recorded.Series && *recorded.Series != SeriesIdentity(identity, request.Format)) {
    throw UsageError(std::string(kSeriesOption) + ": " + Quoted(request.OutPath + kMetaSuffix) +
                     " records a series of another kind; start a new file");
  }
}

}  // namespace

// Where the --series file stands before the rows are read.
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

void StatSeries(const SweepRequest& request, OutState& state) {
  if (request.SeriesPath.empty()) return;
  struct stat st {};
  state.SeriesExists = ::stat(request.SeriesPath.c_str(), &st) == 0;
  if (state.SeriesExists && !S_ISREG(st.st_mode)) {
    throw UsageError(std::string(kSeriesOption) + ": expects a regular file, which rounds are " +
                     "appended to and resumed from, got " + Quoted(request.SeriesPath) + ", " +
                     (S_ISDIR(st.st_mode) ? std::string("a directory") : KindOfFile(st.st_mode)));
  }
  state.SeriesSize = state.SeriesExists ? static_cast<std::uint64_t>(st.st_size) : 0;
}

OutState InspectOut(const SweepRequest& request, const std::string& identity) {
  const std::string& path = request.OutPath;
  OutState state;
  struct stat st {};
  state.Exists = ::stat(path.c_str(), &st) == 0;
  if (state.Exists && S_ISDIR(st.st_mode)) {
    throw UsageError(std::string(kOutOption) + ": cannot write " + Quoted(path) +
                     ": is a directory");
  }
  StatSeries(request, state);
  const bool seriesCsv = request.Format == RowFormat::Csv && !request.SeriesPath.empty();
  if (!state.Exists || st.st_size == 0) {
    state.WriteHeader = request.Format == RowFormat::Csv;
    state.WriteMeta = true;
    if (state.SeriesSize > 0) {
      // Rounds without a single row: a sweep cut short before its first
      // row, whose series starts again, or another sweep's file.
      if (!request.Resume) {
        throw UsageError(std::string(kSeriesOption) + ": " + Quoted(request.SeriesPath) +
                         " already holds rounds; use --resume to continue that sweep, or "
                         "another file");
      }
      CheckDescription(request, identity);
      std::ifstream seriesIn(request.SeriesPath, std::ios::binary);
      SeriesReader series(seriesIn, request.Format, request.SeriesPath);
      series.ReadHeader();
      series.ReadTail(TasksAfter(request, 0));
      state.SeriesKeepBytes = series.KeepBytes();
    }
    state.WriteSeriesHeader = seriesCsv && state.SeriesKeepBytes == 0;
    return state;
  }
  if (!request.Resume) {
    throw UsageError(std::string(kOutOption) + ": " + Quoted(path) +
                     " already holds rows; use --resume to continue that sweep, or another file");
  }

  CheckDescription(request, identity);

  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw UsageError(std::string(kResumeOption) + ": cannot read " + Quoted(path));
  }
  std::ifstream seriesIn;
  if (state.SeriesExists) {
    seriesIn.open(request.SeriesPath, std::ios::binary);
    if (!seriesIn) {
      throw UsageError(std::string(kSeriesOption) + ": cannot read " + Quoted(request.SeriesPath));
    }
  }
  SeriesReader series(seriesIn, request.Format, request.SeriesPath);
  if (!request.SeriesPath.empty()) series.ReadHeader();

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
      if (line + '\n' != CsvHeader(false)) {
        throw UsageError(std::string(kResumeOption) + ": " + Quoted(path) +
                         " does not start with the CSV header of a sweep");
      }
    } else {
      const std::string where =
          std::string(kResumeOption) + ": line " + std::to_string(lineNo) + " of " + Quoted(path);
      if (state.DoneRows >= shardTasks) {
        throw UsageError(where + " is one row more than the sweep has tasks");
      }
      const SweepTask task = request.Plan.Task(request.Part.TaskAt(state.DoneRows));
      const std::optional<RowResult> row = ReadRow(request.Format, line, task);
      if (!row || !ResultFitsTask(*row, task)) {
        throw UsageError(where + " is not the row of task " + std::to_string(task.Number) +
                         " of this sweep");
      }
      if (!request.SeriesPath.empty()) series.ReadTask(task, *row);
      ++state.DoneRows;
    }
    state.KeepBytes += line.size() + 1;
  }
  if (!in.eof()) throw UsageError(std::string(kResumeOption) + ": cannot read " + Quoted(path));
  state.WriteHeader = request.Format == RowFormat::Csv && lineNo == 0;
  if (!request.SeriesPath.empty()) {
    series.ReadTail(TasksAfter(request, state.DoneRows));
  }
  state.SeriesKeepBytes = series.KeepBytes();
  state.WriteSeriesHeader = seriesCsv && state.SeriesKeepBytes == 0;
  return state;
}

int OpenOut(const std::string& path, bool create, const char* option) {
  const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0 && errno != EEXIST) {
    throw UsageError(std::string(option) + ": cannot write " + Quoted(path) + ": " + Reason(errno));
  }
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (fd >= 0) ::close(fd);
    throw UsageError(std::string(option) + ": " + Quoted(path) +
                     " is being written by another sweep");
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
    error_ = "stdout: write failed";
    return false;
  }
  while (!text.empty()) {
    const ssize_t n = ::write(fd_, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = option_ + ": writing " + Quoted(path_) + " failed: " + Reason(n < 0 ? errno : EIO);
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool RowSink::Truncate(std::uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return true;
  error_ = option_ + ": cutting what an interrupted sweep left at the end of " + Quoted(path_) +
           " failed: " + Reason(errno);
  return false;
}

}  // namespace impactsim::cli
