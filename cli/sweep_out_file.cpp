#include "cli/sweep_out_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <optional>
#include <ostream>
#include <system_error>

#include "cli/option_text.h"
#include "cli/sweep_description.h"

namespace impactsim::cli {

namespace {

constexpr const char* kOutOption = "--out";
constexpr const char* kResumeOption = "--resume";

std::string Reason(int errorNumber) {
  return std::generic_category().message(errorNumber);
}

// Checks that the description beside --out names this very sweep. Its
// identity is compared in the scheme it records: a description from before
// schemes were recorded holds the identity of the whole task list, computed
// only for such a file. Throws UsageError.
void CheckDescription(const SweepRequest& request, const std::string& identity) {
  const std::string& path = request.OutPath;
  const std::string metaPath = path + kMetaSuffix;
  std::ifstream metaIn(metaPath, std::ios::binary);
  if (!metaIn) {
    throw UsageError(std::string(kResumeOption) + ": cannot tell which sweep " + Quoted(path) +
                     " belongs to: " + Quoted(metaPath) + " cannot be read");
  }
  const std::optional<RecordedSweep> recorded = RecordedIdentity(metaIn);
  if (!recorded) {
    throw UsageError(std::string(kResumeOption) + ": " + Quoted(metaPath) +
                     " does not describe a sweep");
  }
  std::string expected;
  if (recorded->Scheme == kIdentityScheme) {
    expected = identity;
  } else if (recorded->Scheme == kTaskListScheme) {
    expected = TaskListIdentity(request.Plan, request.Format, request.Part);
  } else {
    throw UsageError(std::string(kResumeOption) + ": " + Quoted(metaPath) +
                     " records identity scheme " + std::to_string(recorded->Scheme) +
                     ", which this version of impactsim does not know");
  }
  if (recorded->Identity != expected) {
    throw UsageError(std::string(kResumeOption) + ": " + Quoted(path) +
                     " belongs to a different sweep (other tasks, format or shard)");
  }
}

}  // namespace

OutState InspectOut(const SweepRequest& request, const std::string& identity) {
  const std::string& path = request.OutPath;
  OutState state;
  struct stat st {};
  state.Exists = ::stat(path.c_str(), &st) == 0;
  if (state.Exists && S_ISDIR(st.st_mode)) {
    throw UsageError(std::string(kOutOption) + ": cannot write " + Quoted(path) +
                     ": is a directory");
  }
  if (!state.Exists || st.st_size == 0) {
    state.WriteHeader = request.Format == RowFormat::Csv;
    state.WriteMeta = true;
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
      const std::uint64_t task = request.Part.TaskAt(state.DoneRows);
      if (!RowBelongsTo(request.Format, line, request.Plan.Task(task))) {
        throw UsageError(where + " is not the row of task " + std::to_string(task) +
                         " of this sweep");
      }
      ++state.DoneRows;
    }
    state.KeepBytes += line.size() + 1;
  }
  if (!in.eof()) throw UsageError(std::string(kResumeOption) + ": cannot read " + Quoted(path));
  state.WriteHeader = request.Format == RowFormat::Csv && lineNo == 0;
  return state;
}

int OpenOut(const std::string& path, bool create) {
  const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0 && errno != EEXIST) {
    throw UsageError(std::string(kOutOption) + ": cannot write " + Quoted(path) + ": " +
                     Reason(errno));
  }
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (fd >= 0) ::close(fd);
    throw UsageError(std::string(kOutOption) + ": " + Quoted(path) +
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
      error_ = std::string(kOutOption) + ": writing " + Quoted(path_) +
               " failed: " + Reason(n < 0 ? errno : EIO);
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool RowSink::Truncate(std::uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return true;
  error_ = std::string(kOutOption) + ": cutting the unfinished last line of " + Quoted(path_) +
           " failed: " + Reason(errno);
  return false;
}

}  // namespace impactsim::cli
