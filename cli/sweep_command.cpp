#include "sweep_command.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>

#include "output_file.h"
#include "run_command.h"
#include "sweep_runner.h"

#ifndef IMPACTSIM_PROJECT_VERSION
#error "IMPACTSIM_PROJECT_VERSION must be defined by the build"
#endif

namespace impactsim::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kOutOption = "--out";
constexpr const char* kResumeOption = "--resume";
constexpr const char* kMetaSuffix = ".meta.json";

std::string Reason(int errorNumber) {
  return std::generic_category().message(errorNumber);
}

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

const char* FormatName(RowFormat format) {
  return format == RowFormat::Csv ? "csv" : "jsonl";
}

// 64-bit FNV-1a: a fixed, documented hash, the same on every build.
class Fnv1a {
 public:
  void Add(std::string_view text) {
    for (const char c : text) {
      hash_ ^= static_cast<unsigned char>(c);
      hash_ *= 0x100000001b3ULL;
    }
  }
  std::string Hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
    return text;
  }

 private:
  std::uint64_t hash_ = 0xcbf29ce484222325ULL;
};

// Where --out stands before anything is written to it.
struct OutState {
  std::uint64_t KeepBytes = 0;  // complete lines already there
  std::uint64_t DoneRows = 0;   // rows among them: the shard's first tasks
  bool Exists = false;
  bool TornLine = false;  // an unfinished last line to cut off
  bool WriteHeader = false;
  bool WriteMeta = false;  // a new or empty file: describe the sweep afresh
};

// Checks --out against the request; reads, never writes. Throws UsageError.
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

  const std::string metaPath = path + kMetaSuffix;
  std::ifstream metaIn(metaPath, std::ios::binary);
  if (!metaIn) {
    throw UsageError(std::string(kResumeOption) + ": cannot tell which sweep " + Quoted(path) +
                     " belongs to: " + Quoted(metaPath) + " cannot be read");
  }
  const Json meta = Json::parse(metaIn, nullptr, false);
  const auto id = meta.is_object() ? meta.find("sweep_identity") : meta.end();
  if (!meta.is_object() || id == meta.end() || !id->is_string()) {
    throw UsageError(std::string(kResumeOption) + ": " + Quoted(metaPath) +
                     " does not describe a sweep");
  }
  if (id->get<std::string>() != identity) {
    throw UsageError(std::string(kResumeOption) + ": " + Quoted(path) +
                     " belongs to a different sweep (other tasks, format or shard)");
  }

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

Json MetaJson(const SweepRequest& request, const std::vector<std::string>& args,
              const std::string& identity) {
  Json meta;
  meta["tool"] = "impactsim";
  meta["version"] = IMPACTSIM_PROJECT_VERSION;
  Json commandLine = Json::array({"impactsim"});
  for (const std::string& arg : args) commandLine.push_back(arg);
  meta["command_line"] = commandLine;
  meta["format"] = FormatName(request.Format);
  meta["shard"] = request.Part.Text();
  meta["tasks"] = request.Plan.TaskCount();
  meta["shard_tasks"] = request.Part.Size(request.Plan.TaskCount());
  meta["sweep_identity"] = identity;
  Json columns = Json::array();
  for (const Column& c : RowColumns()) {
    columns.push_back(Json{{"name", c.Name}, {"meaning", c.Meaning}});
  }
  meta["columns"] = columns;
  return meta;
}

// Where the rows go: the --out file, appended to by whole writes, or a stream.
class RowSink {
 public:
  explicit RowSink(std::ostream& out) : out_(&out) {}
  RowSink(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  RowSink(const RowSink&) = delete;
  RowSink& operator=(const RowSink&) = delete;
  ~RowSink() {
    if (fd_ >= 0) ::close(fd_);
  }

  // Writes and flushes; on failure sets the reason and returns false.
  bool Write(std::string_view text) {
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

  // Cuts the file to its first `size` bytes; on failure sets the reason.
  bool Truncate(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return true;
    error_ = std::string(kOutOption) + ": cutting the unfinished last line of " + Quoted(path_) +
             " failed: " + Reason(errno);
    return false;
  }

  const std::string& Error() const { return error_; }

 private:
  std::ostream* out_ = nullptr;
  int fd_ = -1;
  std::string path_;
  std::string error_;
};

// The progress bar on a terminal, redrawn in place at most ten times a second.
class ProgressBar {
 public:
  ProgressBar(std::ostream* err, std::uint64_t total) : err_(err), total_(total) {}

  void Update(std::uint64_t done) {
    if (err_ == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) && done < total_) return;
    lastDraw_ = now;
    drawn_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    *err_ << "\r\x1b[K" << ProgressText(done, total_, seconds) << std::flush;
  }

  void Finish() {
    if (err_ != nullptr && drawn_) *err_ << '\n' << std::flush;
  }

 private:
  std::ostream* err_;
  std::uint64_t total_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastDraw_{};
  bool drawn_ = false;
};

std::string ClockText(std::uint64_t seconds) {
  char text[32];
  const auto h = static_cast<unsigned long long>(seconds / 3600);
  const auto m = static_cast<unsigned>(seconds / 60 % 60);
  const auto s = static_cast<unsigned>(seconds % 60);
  if (h > 0) {
    std::snprintf(text, sizeof text, "%llu:%02u:%02u", h, m, s);
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", m, s);
  }
  return text;
}

int ListTasks(const SweepRequest& request, std::ostream& out, std::ostream& err) {
  const std::uint64_t count = request.Part.Size(request.Plan.TaskCount());
  if (request.Format == RowFormat::Csv) out << CsvHeader(true);
  for (std::uint64_t p = 0; p < count && out; ++p) {
    out << FormatRow(request.Format, request.Plan.Task(request.Part.TaskAt(p)), nullptr);
  }
  out.flush();
  if (out) return kExitOk;
  ReportError(err, "stdout: write failed");
  return kExitFailed;
}

// Opens --out for appending and takes its lock: an existing file before it
// is read, so that no other sweep can change it between the checks and the
// appends; a new one, created here, after the checks.
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

}  // namespace

std::string SweepIdentity(const SweepPlan& plan, RowFormat format, const Shard& part) {
  Fnv1a hash;
  hash.Add("impactsim sweep\n");
  hash.Add(CsvHeader(false));
  hash.Add(std::string(FormatName(format)) + '\n');
  hash.Add(part.Text() + '\n');
  const std::uint64_t total = plan.TaskCount();
  for (std::uint64_t n = 0; n < total; ++n) {
    hash.Add(FormatRow(RowFormat::Csv, plan.Task(n), nullptr));
  }
  return hash.Hex();
}

std::string ProgressText(std::uint64_t done, std::uint64_t total, double seconds) {
  constexpr std::uint64_t kWidth = 24;
  const std::uint64_t filled = total == 0 ? kWidth : done * kWidth / total;
  std::string text = std::to_string(done) + "/" + std::to_string(total) + " runs [" +
                     std::string(filled, '#') + std::string(kWidth - filled, '.') + "]";
  if (done == 0 || seconds <= 0.0) return text + "  -- runs/s  --:-- left";
  const double rate = static_cast<double>(done) / seconds;
  char rateText[32];
  std::snprintf(rateText, sizeof rateText, "  %.1f runs/s  ", rate);
  const double left = std::ceil(static_cast<double>(total - done) / rate);
  return text + rateText + ClockText(static_cast<std::uint64_t>(left)) + " left";
}

int ExecuteSweep(const SweepRequest& request, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err) {
  if (request.List) return ListTasks(request, out, err);

  const SweepPlan& plan = request.Plan;
  const std::uint64_t shardTasks = request.Part.Size(plan.TaskCount());
  OutState state;
  std::optional<RowSink> file;
  if (!request.OutPath.empty()) {
    const std::string& path = request.OutPath;
    const std::string identity = SweepIdentity(plan, request.Format, request.Part);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
      file.emplace(OpenOut(path, false), path);
    }
    state = InspectOut(request, identity);
    std::optional<OutputFile> meta;
    if (state.WriteMeta) {
      meta.emplace(request.OutPath + kMetaSuffix);
      std::string reason;
      if (!meta->Open(reason)) {
        throw UsageError(std::string(kOutOption) + ": cannot write " + Quoted(meta->Path()) + ": " +
                         reason);
      }
    }
    if (!file) file.emplace(OpenOut(path, true), path);
    if (meta) {
      meta->Write(MetaJson(request, args, identity).dump(2) + '\n');
      std::string reason;
      if (!meta->Commit(reason)) {
        if (!state.Exists) ::unlink(path.c_str());
        ReportError(err, std::string(kOutOption) + ": writing " + Quoted(meta->Path()) +
                             " failed: " + reason);
        return kExitFailed;
      }
    }
    if (state.TornLine && !file->Truncate(state.KeepBytes)) {
      ReportError(err, file->Error());
      return kExitFailed;
    }
  } else {
    state.WriteHeader = request.Format == RowFormat::Csv;
  }
  RowSink stdoutSink(out);
  RowSink& sink = file ? *file : stdoutSink;
  if (state.WriteHeader && !sink.Write(CsvHeader(false))) {
    ReportError(err, sink.Error());
    return kExitFailed;
  }

  const bool showProgress = !request.Quiet && &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
  const std::uint64_t first = state.DoneRows;
  ProgressBar progress(showProgress ? &err : nullptr, shardTasks - first);
  OrderedWork work;
  work.Count = shardTasks - first;
  work.Jobs = request.Jobs;
  work.Produce = [&request, first](std::uint64_t i) {
    const SweepTask task = request.Plan.Task(request.Part.TaskAt(first + i));
    try {
      const RunOutcome outcome = RunTask(task);
      return FormatRow(request.Format, task, &outcome);
    } catch (const std::exception& e) {
      throw std::runtime_error("task " + std::to_string(task.Number) + ": " + e.what());
    }
  };
  work.Consume = [&sink](std::string_view rows) { return sink.Write(rows); };
  work.Tick = [&progress](std::uint64_t done) { progress.Update(done); };
  progress.Update(0);
  bool complete = false;
  try {
    complete = RunInOrder(work);
  } catch (...) {
    progress.Finish();
    throw;
  }
  progress.Finish();
  if (!complete) {
    ReportError(err, sink.Error());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace impactsim::cli
