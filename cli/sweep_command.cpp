#include "cli/sweep_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <optional>
#include <string>

#include "cli/option_text.h"
#include "cli/output_file.h"
#include "cli/output_target.h"
#include "cli/progress_bar.h"
#include "cli/sweep_description.h"
#include "cli/sweep_out_file.h"
#include "cli/sweep_provenance.h"
#include "cli/sweep_series.h"
#include "sweep/sweep_runner.h"

namespace impactsim::cli {

namespace {

constexpr const char* kOutOption = "--out";

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

}  // namespace

namespace {

constexpr const char* kSeriesOption = "--series";

// The series file must be a file of its own: not the rows, nor their
// description, however it is spelled.
void CheckSeriesPath(const SweepRequest& request) {
  std::string error;
  const auto series = FindOutputTarget(request.SeriesPath, error);
  if (!series) throw UsageError(std::string(kSeriesOption) + ": " + error);
  for (const std::string& other : {request.OutPath, request.OutPath + kMetaSuffix}) {
    const auto target = FindOutputTarget(other, error);
    if (target && target->SameFileAs(*series)) {
      throw UsageError(std::string(kSeriesOption) + ": " + Quoted(request.SeriesPath) +
                       " is the same file as " + Quoted(other));
    }
  }
}

}  // namespace

int ExecuteSweep(const SweepRequest& request, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err) {
  if (request.List) return ListTasks(request, out, err);

  const SweepPlan& plan = request.Plan;
  const std::uint64_t shardTasks = request.Part.Size(plan.TaskCount());
  const bool withSeries = !request.SeriesPath.empty();
  OutState state;
  std::optional<RowSink> file;
  std::optional<RowSink> seriesFile;
  // After the files, so that a session that fails is recorded while they are
  // still locked.
  std::optional<SweepSession> session;
  if (!request.OutPath.empty()) {
    const std::string& path = request.OutPath;
    const std::string identity = SweepIdentity(plan, request.Format, request.Part);
    // Ready before any file is touched, so that nothing is created for a
    // description that cannot be made.
    const std::string description = SweepDescription(request, args, identity);
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
      throw UsageError(std::string(kOutOption) + ": expects a regular file, which rows are " +
                       "appended to and resumed from, got " + Quoted(path) + ", " +
                       KindOfFile(st.st_mode));
    }
    if (withSeries) CheckSeriesPath(request);
    // Existing files are locked before they are read.
    if (exists && S_ISREG(st.st_mode)) file.emplace(OpenOut(path, false), path);
    if (withSeries && ::stat(request.SeriesPath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      seriesFile.emplace(OpenOut(request.SeriesPath, false, kSeriesOption), request.SeriesPath,
                         kSeriesOption);
    }
    state = InspectOut(request, identity);
    session.emplace(request, args, description, state, err);
    const bool newRows = !file;
    const bool newSeries = withSeries && !seriesFile;
    if (!file) file.emplace(OpenOut(path, true), path);
    if (newSeries) {
      try {
        seriesFile.emplace(OpenOut(request.SeriesPath, true, kSeriesOption), request.SeriesPath,
                           kSeriesOption);
      } catch (...) {
        if (newRows) ::unlink(path.c_str());
        throw;
      }
    }
    if (!session->Begin()) {
      if (newRows) ::unlink(path.c_str());
      if (newSeries) ::unlink(request.SeriesPath.c_str());
      return kExitFailed;
    }
    if (state.TornLine && !file->Truncate(state.KeepBytes)) {
      ReportError(err, file->Error());
      return kExitFailed;
    }
    if (state.SeriesSize > state.SeriesKeepBytes && !seriesFile->Truncate(state.SeriesKeepBytes)) {
      ReportError(err, seriesFile->Error());
      return kExitFailed;
    }
  } else {
    state.WriteHeader = request.Format == RowFormat::Csv;
  }
  RowSink stdoutSink(out);
  RowSink& sink = file ? *file : stdoutSink;
  if (state.WriteSeriesHeader && !seriesFile->Write(SeriesHeader())) {
    ReportError(err, seriesFile->Error());
    return kExitFailed;
  }
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
  work.Produce = [&request, first, withSeries](std::uint64_t i) {
    const SweepTask task = request.Plan.Task(request.Part.TaskAt(first + i));
    try {
      const RunOutcome outcome = RunTask(task, withSeries);
      return ItemText(
          FormatRow(request.Format, task, &outcome),
          withSeries ? FormatSeries(request.Format, task.Number, outcome.Rounds) : std::string());
    } catch (const std::exception& e) {
      throw std::runtime_error("task " + std::to_string(task.Number) + ": " + e.what());
    }
  };
  // A task's rounds reach the series file before its row the rows file, so
  // every row kept has its rounds, and --resume cuts off rounds without one.
  RowSink* failed = nullptr;
  if (seriesFile) {
    work.ConsumeLead = [&seriesFile, &failed](std::string_view rounds) {
      if (seriesFile->Write(rounds)) return true;
      failed = &*seriesFile;
      return false;
    };
  }
  work.Consume = [&sink, &failed](std::string_view rows) {
    if (sink.Write(rows)) return true;
    failed = &sink;
    return false;
  };
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
    ReportError(err, failed != nullptr ? failed->Error() : sink.Error());
    return kExitFailed;
  }
  if (session && !session->Finish()) return kExitFailed;
  return kExitOk;
}
}  // namespace impactsim::cli
