#include "cli/run_command.h"

#include <memory>
#include <optional>
#include <ostream>
#include <span>

#include "cli/picture_part.h"
#include "cli/report.h"
#include "model/round_recorder.h"
#include "model/run_observer.h"
#include "model/seeded_run.h"
#include "sweep/output_file.h"
#include "sweep/start_file.h"
#include "sweep/sweep_series.h"
#include "sweep/text_escape.h"

namespace impactsim::cli {

namespace {

// Writes each round's series line to the file as the round ends.
class SeriesWriter final : public RoundRecorder {
 public:
  SeriesWriter(bool wrapped, int opinions, OutputFile& file)
      : RoundRecorder(wrapped, true), opinions_(opinions), file_(&file) {}

 protected:
  void Measured(const RoundPoint& point) override {
    file_->Write(FormatSeries(RowFormat::Csv, 0, std::span(&point, 1), opinions_));
    file_->Flush();
  }

 private:
  int opinions_;  // the run's, the series' census columns
  OutputFile* file_;
};

// Passes the log through to the output stream as it is produced and the
// census rows to the census file; what is drawn goes to the pictures, when a
// picture of the map or the chart is asked for.
class RunRecorder final : public DrawingRelay {
 public:
  RunRecorder(std::ostream& log, OutputFile* census, int opinions, RunPictureMaker* pictures,
              RoundRecorder* rounds, Grid* start)
      : DrawingRelay(pictures),
        log_(&log),
        census_(census),
        opinions_(opinions),
        rounds_(rounds),
        start_(start) {}

  void AppendLog(std::string_view line) override { *log_ << line << '\n'; }
  void RunStarted(const Census& census) override {
    if (census_ != nullptr) census_->Write(CensusRow(0, 0, census, opinions_));
    if (rounds_ != nullptr) rounds_->RunStarted(census);
  }
  void RoundPopulation(std::int32_t roundNo, const Grid& population) override {
    if (roundNo == 0 && start_ != nullptr) *start_ = population;
    if (rounds_ != nullptr) rounds_->RoundPopulation(roundNo, population);
  }
  void RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) override {
    // A long run shows its progress round by round, even through a pipe, and
    // holds nothing of its rounds.
    if (census_ != nullptr) {
      census_->Write(CensusRow(roundNo, changes, census, opinions_));
      census_->Flush();
    }
    if (rounds_ != nullptr) rounds_->RoundClosed(roundNo, changes, census);
    log_->flush();
  }

 private:
  std::ostream* log_;
  OutputFile* census_;
  int opinions_;  // the run's, the census's columns
  RoundRecorder* rounds_;
  Grid* start_;  // the population at round 0, when asked for
};

// Creates the temporary file of an output that was asked for.
void OpenOutput(std::optional<OutputFile>& file, const char* key, const std::string& path) {
  if (path.empty()) return;
  file.emplace(path);
  std::string reason;
  if (!file->Open(reason)) {
    file.reset();
    throw InputError(key, "cannot write " + Quoted(path) + ": " + reason);
  }
}

// Puts an output in place; reports and returns false if that fails.
bool CommitOutput(std::optional<OutputFile>& file, const char* key, std::ostream& err) {
  if (!file) return true;
  std::string reason;
  if (file->Commit(reason)) return true;
  ReportError(err, Problem{key, "writing " + Quoted(file->Path()) + " failed: " + reason});
  return false;
}

}  // namespace

std::string CensusHeader(int opinions) {
  std::string header = "round,changes";
  for (int k = 1; k <= opinions; ++k) header += ",opinion" + std::to_string(k);
  return header + '\n';
}

std::string CensusRow(std::int32_t round, std::int32_t changes, const Census& census,
                      int opinions) {
  std::string row = std::to_string(round) + ',' + std::to_string(changes);
  for (int k = 1; k <= opinions; ++k)
    row += ',' + std::to_string(census[static_cast<std::size_t>(k)]);
  return row + '\n';
}

std::string GridText(const Grid& population) {
  return PopulationText(population, false);
}

int ExecuteRun(const RunRequest& request, Clock& systemClock, std::ostream& out,
               std::ostream& err) {
  std::optional<OutputFile> census;
  std::optional<OutputFile> grid;
  std::optional<OutputFile> population;
  std::optional<OutputFile> start;
  std::optional<OutputFile> mapPng;
  std::optional<OutputFile> chartPng;
  std::optional<OutputFile> series;
  OpenOutput(census, kCensusCsvKey, request.CensusCsvPath);
  OpenOutput(grid, kGridOutKey, request.GridOutPath);
  OpenOutput(population, kPopulationOutKey, request.PopulationOutPath);
  OpenOutput(start, kStartOutKey, request.StartOutPath);
  OpenOutput(mapPng, kMapPngKey, request.MapPngPath);
  OpenOutput(chartPng, kChartPngKey, request.ChartPngPath);
  OpenOutput(series, kRunSeriesKey, request.SeriesPath);
  std::unique_ptr<RunPictureMaker> pictures;
  if (mapPng || chartPng) {
    std::string reason;
    pictures = LoadRunPictureMaker(*request.Program, reason);
    if (!pictures) {
      ReportError(err, Problem{mapPng ? kMapPngKey : kChartPngKey, reason});
      return kExitFailed;
    }
    pictures->SetOpinionCount(request.Settings.Opinions);
  }

  // The clock is read once, so the printed seed repeats this very run.
  const std::uint32_t seed = request.Seed ? *request.Seed : systemClock.MillisecondsOfDay();
  err << "seed: " << seed << '\n' << std::flush;

  const int opinions = request.Settings.Opinions;
  if (census) census->Write(CensusHeader(opinions));
  std::optional<SeriesWriter> rounds;
  if (series) {
    series->Write(SeriesHeader(opinions));
    rounds.emplace(GridWraps(*request.Program, request.Settings), opinions, *series);
  }
  Grid startPopulation;
  RunRecorder recorder(out, census ? &*census : nullptr, opinions, pictures.get(),
                       rounds ? &*rounds : nullptr, start ? &startPopulation : nullptr);
  // From here on, a Ctrl+C stops the run after its round (before, while a
  // FIFO waits for its reader, it ends the process at once).
  const StopRunsOnSignal stopping;
  const SeededRun run =
      RunSeeded(*request.Program, seed, request.Settings, recorder, std::nullopt, &StopRequested());
  // Stopped by a signal: nothing is put in place, and the caller ends the
  // process as the signal demands.
  if (run.Result.Cancelled) {
    out.flush();
    return kExitFailed;
  }
  if (grid) grid->Write(GridText(run.Population));
  if (population) population->Write(PopulationText(run.Population, true));
  if (start) start->Write(PopulationText(startPopulation, true));
  if (mapPng) mapPng->Write(pictures->MapPng());
  if (chartPng) chartPng->Write(pictures->ChartPng());

  // The whole log first: an output may go to the same stream (/dev/stdout).
  out.flush();
  bool written = CommitOutput(census, kCensusCsvKey, err);
  written = CommitOutput(grid, kGridOutKey, err) && written;
  written = CommitOutput(population, kPopulationOutKey, err) && written;
  written = CommitOutput(start, kStartOutKey, err) && written;
  written = CommitOutput(mapPng, kMapPngKey, err) && written;
  written = CommitOutput(chartPng, kChartPngKey, err) && written;
  written = CommitOutput(series, kRunSeriesKey, err) && written;
  if (!out) {
    ReportError(err, "stdout: write failed");
    written = false;
  }
  return written ? kExitOk : kExitFailed;
}

}  // namespace impactsim::cli
