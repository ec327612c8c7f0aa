#include "run_command.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>

#include "fonts.h"
#include "output_file.h"
#include "run_observer.h"
#include "run_pictures.h"
#include "simulation.h"

namespace impactsim::cli {

namespace {

// Passes the log through to the output stream as it is produced and the
// census rows to the census file; ignores everything that is only drawn.
class RunRecorder final : public RunObserver {
 public:
  RunRecorder(std::ostream& log, OutputFile* census, ui::RunPictures* pictures)
      : log_(&log), census_(census), pictures_(pictures) {}

  // The map and the chart, drawn only when a picture of them is asked for.
  void StrategyMap() override {
    if (pictures_ != nullptr) pictures_->StrategyMap();
  }
  void DrawMap(const Grid& population) override {
    if (pictures_ != nullptr) pictures_->DrawMap(population);
  }
  void DrawCell(int x, int y, std::uint8_t opinion) override {
    if (pictures_ != nullptr) pictures_->DrawCell(x, y, opinion);
  }
  void ProcessFrame() override {
    if (pictures_ != nullptr) pictures_->ProcessFrame();
  }
  void DrawProcess(std::int32_t round, const Census& current, const Census& previous) override {
    if (pictures_ != nullptr) pictures_->DrawProcess(round, current, previous);
  }

  void AppendLog(std::string_view line) override { *log_ << line << '\n'; }
  void RunStarted(const Census& census) override {
    if (census_ != nullptr) census_->Write(CensusRow(0, 0, census));
  }
  void RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) override {
    if (census_ != nullptr) census_->Write(CensusRow(roundNo, changes, census));
  }

 private:
  std::ostream* log_;
  OutputFile* census_;
  ui::RunPictures* pictures_;
};

// Painting the chart's text needs a GUI application object. Without one, a
// run makes its own on the offscreen platform, so no display is needed; it
// lives until the process ends.
void EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 3;
  static char name[] = "impactsim", platform[] = "-platform", offscreen[] = "offscreen";
  static char* argv[] = {name, platform, offscreen, nullptr};
  // Qt's own notes about its environment are not for the runner's user:
  // stderr carries only the seed and errors.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
      std::fprintf(stderr, "impactsim: %s\n", qPrintable(message));
    }
  });
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
  ui::InstallFontSubstitutes();
}

// A picture as PNG bytes.
std::string PngBytes(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

// Creates the temporary file of an output that was asked for.
void OpenOutput(std::optional<OutputFile>& file, std::string_view option, const std::string& path) {
  if (path.empty()) return;
  file.emplace(path);
  std::string reason;
  if (!file->Open(reason)) {
    file.reset();
    throw UsageError(std::string(option) + ": cannot write '" + path + "': " + reason);
  }
}

// Puts an output in place; reports and returns false if that fails.
bool CommitOutput(std::optional<OutputFile>& file, std::string_view option, std::ostream& err) {
  if (!file) return true;
  std::string reason;
  if (file->Commit(reason)) return true;
  ReportError(err, std::string(option) + ": writing '" + file->Path() + "' failed: " + reason);
  return false;
}

}  // namespace

void ReportError(std::ostream& err, std::string_view message) {
  err << "impactsim: " << message << '\n' << std::flush;
}

std::string CensusRow(std::int32_t round, std::int32_t changes, const Census& census) {
  return std::to_string(round) + ',' + std::to_string(changes) + ',' + std::to_string(census[1]) +
         ',' + std::to_string(census[2]) + '\n';
}

std::string GridText(const Grid& population) {
  std::string text;
  text.reserve(static_cast<std::size_t>(population.Total() + population.Side()));
  for (int y = 1; y <= population.Side(); ++y) {
    for (int x = 1; x <= population.Side(); ++x) {
      text += static_cast<char>('0' + population.At(x, y).Opinion);
    }
    text += '\n';
  }
  return text;
}

int ExecuteRun(const RunRequest& request, Clock& systemClock, std::ostream& out,
               std::ostream& err) {
  std::optional<OutputFile> census;
  std::optional<OutputFile> grid;
  std::optional<OutputFile> mapPng;
  std::optional<OutputFile> chartPng;
  OpenOutput(census, kCensusCsvOption, request.CensusCsvPath);
  OpenOutput(grid, kGridOutOption, request.GridOutPath);
  OpenOutput(mapPng, kMapPngOption, request.MapPngPath);
  OpenOutput(chartPng, kChartPngOption, request.ChartPngPath);
  std::optional<ui::RunPictures> pictures;
  if (mapPng || chartPng) {
    EnsureGuiApplication();
    pictures.emplace(ui::WindowOf(*request.Program));
  }

  // The clock is read once, so the printed seed repeats this very run.
  const std::uint32_t seed = request.Seed ? *request.Seed : systemClock.MillisecondsOfDay();
  err << "seed: " << seed << '\n' << std::flush;

  FixedClock clock(seed);
  FixedSettings settings(request.Settings);
  if (census) census->Write(kCensusHeader);
  RunRecorder recorder(out, census ? &*census : nullptr, pictures ? &*pictures : nullptr);
  auto sim = std::make_unique<Simulation>(*request.Program, clock, settings, recorder);
  // The window builds a population when it opens; the run builds its own
  // again from the same clock.
  sim->DefaultValues();
  sim->Run();
  if (grid) grid->Write(GridText(sim->Model().PopulationGrid));
  if (mapPng) mapPng->Write(PngBytes(pictures->Map().Picture().Image()));
  if (chartPng) chartPng->Write(PngBytes(pictures->Chart().Picture().Image()));

  bool written = CommitOutput(census, kCensusCsvOption, err);
  written = CommitOutput(grid, kGridOutOption, err) && written;
  written = CommitOutput(mapPng, kMapPngOption, err) && written;
  written = CommitOutput(chartPng, kChartPngOption, err) && written;
  out.flush();
  if (!out) {
    ReportError(err, "stdout: write failed");
    written = false;
  }
  return written ? kExitOk : kExitFailed;
}

}  // namespace impactsim::cli
