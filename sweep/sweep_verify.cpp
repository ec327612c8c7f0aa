#include "sweep/sweep_verify.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>

#include "model/round_recorder.h"
#include "sweep/input_error.h"
#include "sweep/output_target.h"
#include "sweep/readable_file.h"
#include "sweep/recorded_sweep.h"
#include "sweep/sweep_description.h"
#include "sweep/sweep_provenance.h"
#include "sweep/sweep_runner.h"
#include "sweep/text_escape.h"
#include "sweep/value_text.h"

namespace impactsim {

namespace {

using Json = nlohmann::json;

constexpr const char* kFile = "file";
constexpr std::uint64_t kMaxTask = std::numeric_limits<std::uint64_t>::max();
const std::string kSampleAccepts = "an integer 1.." + std::to_string(kMaxTask);
const std::string kTasksAccepts =
    "task numbers as a range A-B or " + ListOf("task numbers and ranges");

std::string Plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

// The rows the asked tasks are, as positions in the file; every task must
// be one of the file's rows.
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
      throw InputError("tasks", "task " + std::to_string(task) + describe());
    }
    return (task - part.Index) / part.Count;
  };
  std::vector<PositionSet::Range> ranges;
  for (const PositionSet::Range& tasks : request.TaskRanges) {
    const std::uint64_t first = position(tasks.First);
    const std::uint64_t last = position(tasks.Last);
    // Every task between must be a row too: in the shard, one task in Count.
    if (part.Count > 1 && tasks.First != tasks.Last) {
      throw InputError("tasks", "task " + std::to_string(tasks.First + 1) + describe());
    }
    ranges.push_back({first, last});
  }
  PositionSet set;
  std::uint64_t repeat = 0;
  if (!PositionSet::FromRanges(ranges, set, repeat)) {
    throw InputError(
        "tasks", "expects each task once, got " + std::to_string(part.TaskAt(repeat)) + " again");
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

// FILE opened and share-locked: a file a sweep is still writing would be
// found unfinished, and holding the lock until the end keeps a sweep from
// starting on it meanwhile.
ReadableFile OpenForVerify(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    throw InputError(kFile, "cannot read " + Quoted(path) + ": " + ErrnoText(errno));
  }
  if (!S_ISREG(st.st_mode)) {
    throw InputError(
        kFile, "expects the rows file of a sweep, got " + Quoted(path) + ", " +
                   (S_ISDIR(st.st_mode) ? std::string("a directory") : KindOfFile(st.st_mode)));
  }
  ReadableFile file(path);
  if (!file.IsOpen()) throw InputError(kFile, "cannot read " + Quoted(path) + ": " + file.Reason());
  if (::flock(file.Fd(), LOCK_SH | LOCK_NB) != 0) {
    throw InputError(
        kFile, Quoted(path) + " is being written by a sweep; verify it once the sweep has ended");
  }
  return file;
}

std::string ReadDescription(const std::string& path, const std::string& metaPath) {
  std::string text;
  std::string reason;
  if (!ReadDescriptionFile(metaPath, text, reason)) {
    throw InputError(kFile, "cannot read " + Quoted(metaPath) + ", the description of " +
                                Quoted(path) + ": " + reason);
  }
  return text;
}

// A verify under way: the sweep, the rows chosen and what was found.
class Verification {
 public:
  Verification(const VerifyRequest& request, VerifyListener& listener)
      : request_(request), listener_(listener) {}

  VerifyReport Run();

 private:
  void Report(const std::string& line) {
    listener_.Found(line);
    report_.Findings.push_back(line);
  }
  void CheckHeader();
  void CheckRows();
  void CheckTail(const RowsFileScan& scan);
  void CheckDigest(const Json& meta, const RowsFileScan& scan);

  const VerifyRequest& request_;
  VerifyListener& listener_;
  SweepRequest sweep_;
  PositionSet chosen_;
  VerifyReport report_;
};

VerifyReport Verification::Run() {
  const std::string& path = request_.Path;
  const std::string metaPath = path + kMetaSuffix;
  const ReadableFile file = OpenForVerify(path);
  const std::string metaText = ReadDescription(path, metaPath);
  sweep_ = RecordedSweepOf(path, metaPath, metaText);
  const Json meta = Json::parse(metaText);

  std::string reason;
  const std::optional<RowsFileScan> scan = ScanRowsFile(path, reason);
  if (!scan) throw InputError(kFile, reason);
  report_.ShardTasks = sweep_.Part.Size(sweep_.Plan.TaskCount());
  report_.Rows = RowsIn(*scan, sweep_.Format);
  report_.Present = std::min(report_.Rows, report_.ShardTasks);
  chosen_ = !request_.TaskRanges.empty() ? NamedRows(request_, sweep_.Part, report_.Present)
            : request_.Sample
                ? PositionSet::Sample(*request_.Sample, report_.Present, std::random_device{}())
                : PositionSet::All(report_.Present);
  report_.Checked = chosen_.Count();

  // Everything after this point is a finding, not bad input.
  CheckHeader();
  CheckRows();
  CheckTail(*scan);
  CheckDigest(meta, *scan);
  return report_;
}

void Verification::CheckHeader() {
  if (sweep_.Format != RowFormat::Csv) return;
  FileInput in(request_.Path);
  std::string header;
  const bool whole = std::getline(in, header) && !in.eof();
  if (!whole || header + '\n' != CsvHeader(false, sweep_.Plan.Columns())) {
    Report("header: line 1 of " + Quoted(request_.Path) + " is not the CSV header of the sweep");
  }
}

void Verification::CheckRows() {
  // The checks each task's run is compared by, in the order their
  // differences are reported.
  std::vector<std::unique_ptr<TaskCheck>> checks;
  checks.push_back(std::make_unique<RowsCheck>(request_.Path, sweep_.Format));
  const bool withSeries = !sweep_.SeriesPath.empty();
  if (withSeries) {
    try {
      checks.push_back(
          std::make_unique<SeriesCheck>(sweep_.SeriesPath, sweep_.Format, sweep_.Part));
    } catch (const std::runtime_error& e) {
      throw InputError(kFile, e.what());
    }
  }
  std::uint64_t consumed = 0;
  std::atomic<bool> cancel{false};
  OrderedWork work;
  work.Count = chosen_.Count();
  work.Jobs = request_.Jobs;
  work.Cancel = &cancel;
  work.Produce = [this, &checks, withSeries, &cancel](std::uint64_t k) {
    const SweepTask task = sweep_.Plan.Task(sweep_.Part.TaskAt(chosen_.At(k)));
    std::string frames;
    try {
      // The rounds, when the series is checked, are digested as they end.
      std::optional<SeriesDigest> rounds;
      std::optional<RoundRecorder> plain;
      RoundRecorder& recorder =
          withSeries ? static_cast<RoundRecorder&>(rounds.emplace(task, sweep_.Format))
                     : plain.emplace(GridWraps(*task.Program, task.Settings), false);
      const RunOutcome outcome = RunTask(task, recorder, &cancel);
      if (outcome.Result.Cancelled) return ItemText();  // the work has stopped: dropped
      const CheckedRun run{task, outcome, rounds ? &*rounds : nullptr};
      for (const auto& check : checks) AddFrame(frames, check->Expected(run));
    } catch (const std::exception& e) {
      throw std::runtime_error("task " + std::to_string(task.Number) + ": " + e.what());
    }
    return ItemText(frames);
  };
  work.Consume = [&](std::string_view frames) {
    while (!frames.empty()) {
      const std::uint64_t position = chosen_.At(consumed++);
      std::string differences;
      for (const auto& check : checks) {
        const std::string found = check->Compare(position, NextFrame(frames));
        if (found.empty()) continue;
        differences += (differences.empty() ? "" : "; ") + found;
      }
      if (differences.empty()) continue;
      ++report_.Differing;
      Report("task " + std::to_string(sweep_.Part.TaskAt(position)) + ": " + differences);
    }
    return true;
  };
  work.Tick = [this](std::uint64_t done) { listener_.Progress(done); };
  listener_.Started(chosen_.Count());
  listener_.Progress(0);
  RunInOrder(work);
}

void Verification::CheckTail(const RowsFileScan& scan) {
  const std::uint64_t headerLines = sweep_.Format == RowFormat::Csv ? 1 : 0;
  if (report_.Rows > report_.ShardTasks) {
    const std::uint64_t first = report_.ShardTasks + headerLines + 1;
    Report("lines " + std::to_string(first) + ".." + std::to_string(report_.Rows + headerLines) +
           ": past the last of the shard's " + Plural(report_.ShardTasks, "task", "tasks"));
  }
  if (scan.TornLine) {
    Report("line " + std::to_string(scan.Lines + 1) +
           ": unfinished (no line break ends it), not a row");
  }
}

void Verification::CheckDigest(const Json& meta, const RowsFileScan& scan) {
  // A recorded digest that is not a string never agrees; it is shown as it
  // is recorded.
  const auto said = [](const Json& recorded) {
    return recorded.is_string() ? recorded.get<std::string>() : recorded.dump();
  };
  std::string& digests = report_.Digests;
  digests = "no rows_sha256 recorded";
  const auto recorded = meta.find("rows_sha256");
  if (recorded != meta.end()) {
    if (recorded->is_string() && recorded->get<std::string>() == scan.Sha256) {
      digests = "rows_sha256 agrees";
    } else {
      digests = "rows_sha256 differs";
      Report("rows_sha256: " + Quoted(request_.Path) + " has SHA-256 " + scan.Sha256 +
             ", its description records " + Quoted(said(*recorded)));
    }
  }
  if (sweep_.SeriesPath.empty()) return;
  // The description names the series: the digest of a file that is not a
  // series is neither shown nor compared, so that no description can have
  // verify tell anything of a file that is not the sweep's.
  if (!StartsAsSeries(sweep_.SeriesPath, sweep_.Format, OpinionColumns(sweep_.Plan.Columns()))) {
    Report("series: " + Quoted(sweep_.SeriesPath) +
           " is not the series of a sweep (it does not start as one); its digest is not checked");
    return;
  }
  const auto recordedSeries = meta.find("series_sha256");
  std::string reason;
  const std::optional<RowsFileScan> series = ScanRowsFile(sweep_.SeriesPath, reason);
  if (!series) {
    Report("series: " + reason);
  } else if (recordedSeries != meta.end()) {
    if (recordedSeries->is_string() && recordedSeries->get<std::string>() == series->Sha256) {
      digests += ", series_sha256 agrees";
    } else {
      digests += ", series_sha256 differs";
      Report("series_sha256: " + Quoted(sweep_.SeriesPath) + " has SHA-256 " + series->Sha256 +
             ", its description records " + Quoted(said(*recordedSeries)));
    }
  }
}

}  // namespace

VerifyRequest ResolveVerify(const Arguments& arguments) {
  const ArgumentReader in(arguments);
  const auto file = arguments.Given.find(kFile);
  if (file == arguments.Given.end() || file->second.empty()) {
    throw InputError(kFile, "required: the " + Ref("out") + " file of a sweep");
  }
  if (file->second[0].empty()) throw InputError(kFile, "expects a file name, got ''");
  VerifyRequest request;
  request.Path = file->second[0];
  if (const auto text = in.Single("sample", kSampleAccepts)) {
    request.Sample = ParseDigits(*text, 1, kMaxTask);
    if (!request.Sample) throw Rejected("sample", kSampleAccepts, Quoted(*text));
  }
  for (const std::string& item : in.Items("tasks", kTasksAccepts)) {
    const std::size_t dash = item.find('-');
    const auto first = ParseDigits(std::string_view(item).substr(0, dash), 0, kMaxTask);
    const auto last = dash == std::string::npos
                          ? first
                          : ParseDigits(std::string_view(item).substr(dash + 1), 0, kMaxTask);
    if (!first || !last) throw Rejected("tasks", kTasksAccepts, Quoted(item));
    if (*first > *last) throw Rejected("tasks", "a range A-B with A <= B", Quoted(item));
    request.TaskRanges.push_back({*first, *last});
  }
  if (in.Present("sample") && in.Present("tasks")) {
    throw InputError("tasks", "cannot be combined with " + Ref("sample"));
  }
  request.Jobs = ResolveJobs(in);
  request.Quiet = in.Present("quiet");
  return request;
}

std::string VerifyReport::Summary() const {
  return std::string(Agrees() ? "agrees" : "differs") + ": checked " +
         Plural(Checked, "row", "rows") + " of " + std::to_string(Rows) + ", " +
         (Differing == 0 ? std::string("all agree") : Plural(Differing, "differs", "differ")) +
         "; the file holds " + std::to_string(Present) + " of the shard's " +
         std::to_string(ShardTasks) + " tasks; " + Digests;
}

VerifyReport VerifySweep(const VerifyRequest& request, VerifyListener& listener) {
  return Verification(request, listener).Run();
}

}  // namespace impactsim
