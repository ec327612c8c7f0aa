#include "cli/verify_command.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <system_error>

#include <CLI/CLI.hpp>

#include "cli/command_line.h"
#include "cli/output_target.h"
#include "cli/progress_bar.h"
#include "cli/sweep_description.h"
#include "cli/sweep_provenance.h"
#include "sweep/sweep_runner.h"

namespace impactsim::cli {

namespace {

using Json = nlohmann::json;

constexpr const char* kFileName = "FILE";
constexpr std::uint64_t kMaxTask = std::numeric_limits<std::uint64_t>::max();
const std::string kSampleAccepts = "an integer 1.." + std::to_string(kMaxTask);
const std::string kTasksAccepts =
    "task numbers as a range A-B or " + ListOf("task numbers and ranges");
const std::string kJobsAccepts = "an integer 1.." + std::to_string(kMaxJobs);

// The sweep a description records, rebuilt through the sweep's own command
// line checks, with FILE as its --out.
SweepRequest RecordedSweepOf(const std::string& path, const std::string& metaPath,
                             const std::string& metaText) {
  const std::string notASweep =
      std::string(kFileName) + ": " + Quoted(metaPath) + " does not describe a sweep";
  const Json meta = Json::parse(metaText, nullptr, false);
  if (!meta.is_object() || !meta.contains("sweep_identity")) throw UsageError(notASweep);
  const auto line = meta.find("command_line");
  if (line == meta.end() || !line->is_array() || line->size() < 2) throw UsageError(notASweep);
  std::vector<std::string> args;
  for (const Json& arg : *line) {
    if (!arg.is_string()) throw UsageError(notASweep);
    args.push_back(arg.get<std::string>());
  }
  if (args[0] != "impactsim" || args[1] != "sweep") throw UsageError(notASweep);
  args.erase(args.begin());
  // The recorded --out names where the file was written; FILE is where it
  // is, given as "--out=FILE" so that a FILE starting with '-' stays a value.
  bool out = false;
  std::string recordedOut;
  std::string recordedSeries;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--out" && i + 1 < args.size()) {
      recordedOut = args[i + 1];
      args[i] = "--out=" + path;
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      out = true;
    } else if (args[i].starts_with("--out=")) {
      recordedOut = args[i].substr(6);
      args[i] = "--out=" + path;
      out = true;
    } else if (args[i] == "--series" && i + 1 < args.size()) {
      recordedSeries = args[i + 1];
    } else if (args[i].starts_with("--series=")) {
      recordedSeries = args[i].substr(9);
    }
  }
  if (!out) throw UsageError(notASweep + " written to a file (no --out)");
  SweepRequest request;
  try {
    request = ParseSweepCommandLine(args);
  } catch (const UsageError& e) {
    throw UsageError(std::string(kFileName) + ": " + Quoted(metaPath) +
                     " records a sweep impactsim refuses: " + e.what());
  }

  // The identity must be the one the command line gives, in the scheme the
  // description names: else the description was edited or is of another
  // sweep.
  std::istringstream in(metaText);
  const std::optional<RecordedSweep> recorded = RecordedIdentity(in);
  if (!recorded) throw UsageError(notASweep);
  std::string expected;
  if (recorded->Scheme == kIdentityScheme) {
    expected = SweepIdentity(request.Plan, request.Format, request.Part);
  } else if (recorded->Scheme == kTaskListScheme) {
    expected = TaskListIdentity(request.Plan, request.Format, request.Part);
  } else {
    throw UsageError(std::string(kFileName) + ": " + Quoted(metaPath) +
                     " records identity scheme " + std::to_string(recorded->Scheme) +
                     ", which this version of impactsim does not know");
  }
  if (recorded->Identity != expected) {
    throw UsageError(std::string(kFileName) + ": " + Quoted(metaPath) +
                     " records an identity its command line does not give");
  }
  // The series is looked for where it stands to FILE as it stood to the
  // recorded --out (so the two may be moved together), else where the
  // command line named it.
  if (!recordedSeries.empty()) {
    namespace fs = std::filesystem;
    const fs::path series(recordedSeries);
    const fs::path rowsWere(recordedOut);
    request.SeriesPath = recordedSeries;
    if (series.is_absolute() == rowsWere.is_absolute()) {
      const fs::path beside =
          (fs::path(path).parent_path() / series.lexically_relative(rowsWere.parent_path()))
              .lexically_normal();
      std::error_code ignored;
      if (fs::exists(beside, ignored) || !fs::exists(series, ignored)) {
        request.SeriesPath = beside.string();
      }
    }
  }
  return request;
}

// The rows --tasks names, as positions in the file; every task must be one
// of the file's rows.
PositionSet NamedRows(const VerifyRequest& request, const Shard& part, std::uint64_t present) {
  const auto describe = [&]() {
    return " is not a row of " + Quoted(request.Path) + ", which holds the rows of " +
           (present == 0 ? std::string("no task")
                         : "tasks " + std::to_string(part.TaskAt(0)) + ".." +
                               std::to_string(part.TaskAt(present - 1)) +
                               (part.Count > 1 ? " of shard " + part.Text() : std::string()));
  };
  const auto position = [&](std::uint64_t task) {
    if (task < part.Index || (task - part.Index) % part.Count != 0 ||
        (task - part.Index) / part.Count >= present) {
      throw UsageError("--tasks: task " + std::to_string(task) + describe());
    }
    return (task - part.Index) / part.Count;
  };
  std::vector<PositionSet::Range> ranges;
  for (const PositionSet::Range& tasks : request.TaskRanges) {
    const std::uint64_t first = position(tasks.First);
    const std::uint64_t last = position(tasks.Last);
    // Every task between must be a row too: in the shard, one task in Count.
    if (part.Count > 1 && tasks.First != tasks.Last) {
      throw UsageError("--tasks: task " + std::to_string(tasks.First + 1) + describe());
    }
    ranges.push_back({first, last});
  }
  PositionSet set;
  std::uint64_t repeat = 0;
  if (!PositionSet::FromRanges(ranges, set, repeat)) {
    throw UsageError("--tasks: expects each task once, got " + std::to_string(part.TaskAt(repeat)) +
                     " again");
  }
  return set;
}

// The texts of the checks for one task, each as "<length>:<text>", so that
// they pass through the in-order hand-over as one string.
void AddFrame(std::string& frames, const std::string& text) {
  frames += std::to_string(text.size()) + ':' + text;
}

std::string NextFrame(std::string_view& frames) {
  const std::size_t colon = frames.find(':');
  const auto size = static_cast<std::size_t>(std::stoull(std::string(frames.substr(0, colon))));
  std::string text(frames.substr(colon + 1, size));
  frames.remove_prefix(colon + 1 + size);
  return text;
}

// An open file descriptor, closed when it goes out of scope.
struct Descriptor {
  explicit Descriptor(int fd) : Fd(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (Fd >= 0) ::close(Fd);
  }
  int Fd;
};

std::string Plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

}  // namespace

void VerifyOptions::AddTo(CLI::App& command) {
  command.footer(
      "Differences go to stdout, one line each, then a summary line.\n"
      "Exit status: 0 all checked agree, 1 something differs or a run failed, 2 bad input "
      "(nothing checked).");
  // Every operand is taken, so that a second one is refused by the rule for
  // repeats ("FILE: given more than once") rather than in the parser's words.
  fileOption_ =
      command.add_option("FILE", file_, "the --out file of a sweep, beside FILE.meta.json")
          ->expected(0, CLI::detail::expected_max_vector_size)
          ->type_name("");
  sample_.AddTo(command, "--sample", "N",
                "check N rows picked at random among those in FILE (default: every row)");
  tasks_.AddTo(command, "--tasks", "LIST",
               "check the rows of these tasks: " + kTasksAccepts + ", e.g. 0-9 or 3,17,20-29");
  jobs_.AddTo(command, "--jobs", "N",
              "threads: " + kJobsAccepts +
                  ", at most one per processor (default: one per "
                  "processor)");
  quiet_ = AddSwitch(command, "--quiet", "no progress bar on stderr");
}

VerifyRequest VerifyOptions::Resolve() const {
  VerifyRequest request;
  if (file_.empty()) {
    throw UsageError(std::string(kFileName) + ": required: the --out file of a sweep");
  }
  if (file_[0].empty()) throw UsageError(std::string(kFileName) + ": expects a file name, got ''");
  request.Path = file_[0];
  if (const auto text = sample_.Single(kSampleAccepts)) {
    request.Sample = ParseDigits(*text, 1, kMaxTask);
    if (!request.Sample) throw sample_.Rejected(kSampleAccepts, Quoted(*text));
  }
  for (const std::string& item : tasks_.Items(kTasksAccepts)) {
    const std::size_t dash = item.find('-');
    const auto first = ParseDigits(std::string_view(item).substr(0, dash), 0, kMaxTask);
    const auto last = dash == std::string::npos
                          ? first
                          : ParseDigits(std::string_view(item).substr(dash + 1), 0, kMaxTask);
    if (!first || !last) throw tasks_.Rejected(kTasksAccepts, Quoted(item));
    if (*first > *last) throw tasks_.Rejected("a range A-B with A <= B", Quoted(item));
    request.TaskRanges.push_back({*first, *last});
  }
  if (sample_.Present() && tasks_.Present()) {
    throw UsageError(tasks_.Name() + ": cannot be combined with " + sample_.Name());
  }
  request.Jobs = DefaultJobs();
  if (const auto text = jobs_.Single(kJobsAccepts)) {
    const auto jobs = ParseDigits(*text, 1, kMaxJobs);
    if (!jobs) throw jobs_.Rejected(kJobsAccepts, Quoted(*text));
    request.Jobs = ThreadsFor(static_cast<unsigned>(*jobs));
  }
  request.Quiet = quiet_->count() > 0;
  return request;
}

int ExecuteVerify(const VerifyRequest& request, std::ostream& out, std::ostream& err) {
  const std::string& path = request.Path;
  const std::string metaPath = path + kMetaSuffix;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    throw UsageError(std::string(kFileName) + ": cannot read " + Quoted(path) + ": " +
                     std::generic_category().message(errno));
  }
  if (!S_ISREG(st.st_mode)) {
    throw UsageError(std::string(kFileName) + ": expects the rows file of a sweep, got " +
                     Quoted(path) + ", " +
                     (S_ISDIR(st.st_mode) ? std::string("a directory") : KindOfFile(st.st_mode)));
  }
  // A file a sweep is still writing would be found unfinished; holding a
  // shared lock until the end keeps a sweep from starting on it meanwhile.
  const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.Fd < 0) {
    throw UsageError(std::string(kFileName) + ": cannot read " + Quoted(path) + ": " +
                     std::generic_category().message(errno));
  }
  if (::flock(file.Fd, LOCK_SH | LOCK_NB) != 0) {
    throw UsageError(std::string(kFileName) + ": " + Quoted(path) +
                     " is being written by a sweep; verify it once the sweep has ended");
  }
  std::ifstream metaIn(metaPath, std::ios::binary);
  if (!metaIn) {
    throw UsageError(std::string(kFileName) + ": cannot read " + Quoted(metaPath) +
                     ", the description of " + Quoted(path));
  }
  std::ostringstream metaText;
  metaText << metaIn.rdbuf();
  const SweepRequest sweep = RecordedSweepOf(path, metaPath, metaText.str());
  const Json meta = Json::parse(metaText.str());

  std::string reason;
  const std::optional<RowsFileScan> scan = ScanRowsFile(path, reason);
  if (!scan) throw UsageError(std::string(kFileName) + ": " + reason);
  const std::uint64_t shardTasks = sweep.Part.Size(sweep.Plan.TaskCount());
  const std::uint64_t rows = RowsIn(*scan, sweep.Format);
  const std::uint64_t present = std::min(rows, shardTasks);
  const PositionSet chosen =
      !request.TaskRanges.empty() ? NamedRows(request, sweep.Part, present)
      : request.Sample ? PositionSet::Sample(*request.Sample, present, std::random_device{}())
                       : PositionSet::All(present);

  // Everything after this point is a finding, not bad input.
  std::uint64_t problems = 0;
  const auto report = [&out, &problems](const std::string& line) {
    out << line << '\n';
    ++problems;
  };
  const std::uint64_t headerLines = sweep.Format == RowFormat::Csv ? 1 : 0;
  if (headerLines > 0) {
    std::ifstream in(path, std::ios::binary);
    std::string header;
    const bool whole = std::getline(in, header) && !in.eof();
    if (!whole || header + '\n' != CsvHeader(false)) {
      report("header: line 1 of " + Quoted(path) + " is not the CSV header of the sweep");
    }
  }

  // The checks each task's run is compared by, in the order their
  // differences are reported.
  std::vector<std::unique_ptr<TaskCheck>> checks;
  checks.push_back(std::make_unique<RowsCheck>(path, sweep.Format));
  const bool withSeries = !sweep.SeriesPath.empty();
  if (withSeries) {
    try {
      checks.push_back(std::make_unique<SeriesCheck>(sweep.SeriesPath, sweep.Format, sweep.Part));
    } catch (const std::runtime_error& e) {
      throw UsageError(std::string(kFileName) + ": " + e.what());
    }
  }

  std::uint64_t differing = 0;
  std::uint64_t consumed = 0;
  const bool showProgress = !request.Quiet && &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
  ProgressBar progress(showProgress ? &err : nullptr, chosen.Count());
  OrderedWork work;
  work.Count = chosen.Count();
  work.Jobs = request.Jobs;
  work.Produce = [&sweep, &chosen, &checks, withSeries](std::uint64_t k) {
    const SweepTask task = sweep.Plan.Task(sweep.Part.TaskAt(chosen.At(k)));
    std::string frames;
    try {
      const RunOutcome outcome = RunTask(task, withSeries);
      for (const auto& check : checks) AddFrame(frames, check->Expected(task, outcome));
    } catch (const std::exception& e) {
      throw std::runtime_error("task " + std::to_string(task.Number) + ": " + e.what());
    }
    return frames;
  };
  work.Consume = [&](std::string_view frames) {
    while (!frames.empty()) {
      const std::uint64_t position = chosen.At(consumed++);
      std::string differences;
      for (const auto& check : checks) {
        const std::string found = check->Compare(position, NextFrame(frames));
        if (found.empty()) continue;
        differences += (differences.empty() ? "" : "; ") + found;
      }
      if (!differences.empty()) {
        progress.Finish();
        ++differing;
        report("task " + std::to_string(sweep.Part.TaskAt(position)) + ": " + differences);
      }
    }
    return true;
  };
  work.Tick = [&progress](std::uint64_t done) { progress.Update(done); };
  progress.Update(0);
  try {
    RunInOrder(work);
  } catch (...) {
    progress.Finish();
    throw;
  }
  progress.Finish();

  if (rows > shardTasks) {
    const std::uint64_t first = shardTasks + headerLines + 1;
    report("lines " + std::to_string(first) + ".." + std::to_string(rows + headerLines) +
           ": past the last of the shard's " + Plural(shardTasks, "task", "tasks"));
  }
  if (scan->TornLine) {
    report("line " + std::to_string(scan->Lines + 1) +
           ": unfinished (no line break ends it), not a row");
  }
  std::string digest = "no rows_sha256 recorded";
  const auto recorded = meta.find("rows_sha256");
  if (recorded != meta.end()) {
    const std::string expected = recorded->is_string() ? recorded->get<std::string>() : "";
    if (expected == scan->Sha256) {
      digest = "rows_sha256 agrees";
    } else {
      digest = "rows_sha256 differs";
      const std::string said = recorded->is_string() ? expected : recorded->dump();
      report("rows_sha256: " + Quoted(path) + " has SHA-256 " + scan->Sha256 +
             ", its description records " + Quoted(said));
    }
  }
  if (withSeries) {
    const auto recordedSeries = meta.find("series_sha256");
    const std::optional<RowsFileScan> series = ScanRowsFile(sweep.SeriesPath, reason);
    if (!series) {
      report("series: " + reason);
    } else if (recordedSeries != meta.end()) {
      const std::string expected =
          recordedSeries->is_string() ? recordedSeries->get<std::string>() : "";
      if (expected == series->Sha256) {
        digest += ", series_sha256 agrees";
      } else {
        digest += ", series_sha256 differs";
        report("series_sha256: " + Quoted(sweep.SeriesPath) + " has SHA-256 " + series->Sha256 +
               ", its description records " +
               Quoted(recordedSeries->is_string() ? expected : recordedSeries->dump()));
      }
    }
  }
  out << (problems == 0 ? "agrees" : "differs") << ": checked "
      << Plural(chosen.Count(), "row", "rows") << " of " << rows << ", "
      << (differing == 0 ? std::string("all agree") : Plural(differing, "differs", "differ"))
      << "; the file holds " << present << " of the shard's " << shardTasks << " tasks; " << digest
      << '\n';
  out.flush();
  if (!out) {
    ReportError(err, "stdout: write failed");
    return kExitFailed;
  }
  return problems == 0 ? kExitOk : kExitFailed;
}

}  // namespace impactsim::cli
