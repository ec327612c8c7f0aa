#include "sweep/sweep_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "sweep/output_target.h"
#include "sweep/series_spool.h"
#include "sweep/sweep_out_file.h"
#include "sweep/sweep_provenance.h"
#include "sweep/sweep_runner.h"
#include "sweep/sweep_series.h"
#include "sweep/text_escape.h"

namespace impactsim {

namespace {

constexpr const char* kOut = "out";
constexpr const char* kSeries = "series";

// The files of a sweep written to --out, open and locked, and the session
// that describes them. The session comes last, so that it is destroyed
// first: a session that fails is recorded while the files are still locked.
struct SweepFiles {
  OutState State;
  std::optional<RowSink> Rows;
  std::optional<RowSink> Series;
  std::optional<SweepSession> Session;
};

// Checks, locks and opens --out (and --series), and begins the session.
// Throws InputError before anything is written; returns false after
// reporting a failure to write.
bool OpenFiles(const SweepRequest& request, const SweepOrigin& origin, SweepListener& listener,
               SweepFiles& files) {
  const std::string& path = request.OutPath;
  const bool withSeries = !request.SeriesPath.empty();
  const std::string identity = SweepIdentity(request.Plan, request.Format, request.Part);
  // Ready before any file is touched, so that nothing is created for a
  // description that cannot be made.
  const std::string description = SweepDescription(request, origin.Args, identity);
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    throw InputError(kOut,
                     "expects a regular file, which rows are appended to and resumed from, got " +
                         Quoted(path) + ", " + KindOfFile(st.st_mode));
  }
  if (withSeries) CheckSeriesPath(request);
  // Existing files are locked before they are read.
  if (exists && S_ISREG(st.st_mode)) files.Rows.emplace(OpenOut(path, false), path);
  if (withSeries && ::stat(request.SeriesPath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    files.Series.emplace(OpenOut(request.SeriesPath, false, kSeries), request.SeriesPath, kSeries);
  }
  KeptRow kept;
  if (listener.WantsRows()) {
    kept = [&listener](const SweepTask& task, const RowResult& row) { listener.Row(task, row); };
  }
  files.State = InspectOut(request, identity, kept);
  files.Session.emplace(request, origin, description, files.State,
                        [&listener](const Problem& problem) { listener.Failed(problem); });
  const bool newRows = !files.Rows;
  const bool newSeries = withSeries && !files.Series;
  if (newRows) files.Rows.emplace(OpenOut(path, true), path);
  if (newSeries) {
    try {
      files.Series.emplace(OpenOut(request.SeriesPath, true, kSeries), request.SeriesPath, kSeries);
    } catch (...) {
      if (newRows) ::unlink(path.c_str());
      throw;
    }
  }
  if (!files.Session->Begin()) {
    if (newRows) ::unlink(path.c_str());
    if (newSeries) ::unlink(request.SeriesPath.c_str());
    return false;
  }
  // What a sweep cut short left after the last whole row, and after the
  // rounds of the last row kept, goes.
  const OutState& state = files.State;
  if (state.TornLine && !files.Rows->Truncate(state.KeepBytes)) {
    listener.Failed(files.Rows->Error());
    return false;
  }
  if (state.SeriesSize > state.SeriesKeepBytes && !files.Series->Truncate(state.SeriesKeepBytes)) {
    listener.Failed(files.Series->Error());
    return false;
  }
  return true;
}

// Hands each round of a task's run to the series spool as its line, as the
// round ends: nothing of the series is held per round.
class SeriesLines final : public RoundRecorder {
 public:
  SeriesLines(const SweepTask& task, RowFormat format, SeriesSpool& spool, std::uint64_t item)
      : RoundRecorder(GridWraps(*task.Program, task.Settings), true),
        task_(task.Number),
        opinions_(OpinionColumns(task.Columns)),
        format_(format),
        spool_(&spool),
        item_(item) {}

 protected:
  void Measured(const RoundPoint& point) override {
    spool_->Line(item_, FormatSeries(format_, task_, std::span(&point, 1), opinions_));
  }

 private:
  std::uint64_t task_;
  int opinions_;
  RowFormat format_;
  SeriesSpool* spool_;
  std::uint64_t item_;
};

// Task `first + i`'s run, its series streamed to `spool` if given; its row,
// or nothing once the work has been cancelled.
ItemText ProduceTask(const SweepTask& task, std::uint64_t i, RowFormat format, bool rows,
                     SeriesSpool* spool, bool wantsRows, const std::atomic<bool>* cancel) {
  try {
    std::optional<SeriesLines> lines;
    std::optional<RoundRecorder> plain;
    RoundRecorder& recorder =
        spool != nullptr ? static_cast<RoundRecorder&>(lines.emplace(task, format, *spool, i))
                         : plain.emplace(GridWraps(*task.Program, task.Settings), false);
    const RunOutcome outcome = RunTask(task, recorder, cancel);
    if (outcome.Result.Cancelled) return ItemText();  // the work has stopped: dropped
    if (spool != nullptr) spool->Done(i);
    const RowResult row = ResultOf(task, outcome);
    ItemText item(rows ? FormatRow(format, task, row) : std::string());
    if (wantsRows) item.Row = row;
    return item;
  } catch (const std::exception& e) {
    throw std::runtime_error("task " + std::to_string(task.Number) + ": " + e.what());
  }
}

// Runs the shard's tasks from position `first` on, handing each row to the
// sink in task order, its rounds to the series file as they end.
bool RunTasks(const SweepRequest& request, std::uint64_t first, RowSink* rows, RowSink* series,
              SweepListener& listener) {
  const std::uint64_t shardTasks = request.Part.Size(request.Plan.TaskCount());
  const bool wantsRows = listener.WantsRows();
  listener.Started(shardTasks - first);
  std::optional<SeriesSpool> spool;
  if (series != nullptr) spool.emplace(*series);
  SeriesSpool* spooled = spool ? &*spool : nullptr;
  std::atomic<bool> cancel{false};
  OrderedWork work;
  work.Count = shardTasks - first;
  work.Jobs = request.Jobs;
  work.Cancel = &cancel;
  work.Produce = [&request, first, rows, spooled, wantsRows, &cancel](std::uint64_t i) {
    const SweepTask task = request.Plan.Task(request.Part.TaskAt(first + i));
    return ProduceTask(task, i, request.Format, rows != nullptr, spooled, wantsRows, &cancel);
  };
  // A task's rounds reach the series file before its row the rows file, so
  // every row kept has its rounds, and --resume cuts off rounds without one.
  Problem failed;
  if (rows != nullptr) {
    work.Consume = [rows, spooled, &failed](std::string_view text) {
      if (const auto problem = spooled != nullptr ? spooled->Failure() : std::nullopt) {
        failed = *problem;
        return false;
      }
      if (rows->Write(text)) return true;
      failed = rows->Error();
      return false;
    };
  }
  if (wantsRows) {
    work.TakeRow = [&request, &listener, first](std::uint64_t i, const RowResult& row) {
      listener.Row(request.Plan.Task(request.Part.TaskAt(first + i)), row);
    };
  }
  // A series that cannot be written stops the runs at once, not at the end
  // of a long task.
  struct SeriesFailed {};
  work.Tick = [&listener, spooled](std::uint64_t done) {
    if (spooled != nullptr && spooled->Failure()) throw SeriesFailed{};
    listener.Progress(done);
  };
  listener.Progress(0);
  try {
    if (RunInOrder(work)) return true;
  } catch (const SeriesFailed&) {
    failed = *spooled->Failure();
  }
  listener.Failed(failed);
  return false;
}

}  // namespace

bool WriteSweep(const SweepRequest& request, const SweepOrigin& origin, std::ostream* rows,
                SweepListener& listener) {
  SweepFiles files;
  if (!request.OutPath.empty()) {
    if (!OpenFiles(request, origin, listener, files)) return false;
  } else {
    files.State.WriteHeader = request.Format == RowFormat::Csv;
  }
  std::optional<RowSink> stream;
  if (!files.Rows && rows != nullptr) stream.emplace(*rows);
  RowSink* sink = files.Rows ? &*files.Rows : stream ? &*stream : nullptr;
  RowSink* series = files.Series ? &*files.Series : nullptr;
  if (files.State.WriteSeriesHeader &&
      !series->Write(SeriesHeader(OpinionColumns(request.Plan.Columns())))) {
    listener.Failed(series->Error());
    return false;
  }
  if (files.State.WriteHeader && sink != nullptr &&
      !sink->Write(CsvHeader(false, request.Plan.Columns()))) {
    listener.Failed(sink->Error());
    return false;
  }
  if (!RunTasks(request, files.State.DoneRows, sink, series, listener)) return false;
  return !files.Session || files.Session->Finish();
}

}  // namespace impactsim
