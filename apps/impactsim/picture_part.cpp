// The runner's picture part: the window's own map and chart drawing, loaded
// by impactsim only for --map-png and --chart-png. It brings the GUI library
// with it, on the offscreen platform, so no display is needed.

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstring>
#include <exception>
#include <type_traits>

#include "cli/picture_part.h"
#include "programs/programs.h"
#include "ui/fonts.h"
#include "ui/run_pictures.h"
#include "ui/surface.h"
#include "ui/window_layout.h"

namespace impactsim {

namespace {

// Painting the chart's text needs a GUI application object; the part makes
// its own on the offscreen platform, alive until the process ends.
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

std::string PngBytes(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

// The window's map and chart pictures, drawn from what the run reports.
class PictureMaker final : public cli::RunPictureMaker {
 public:
  explicit PictureMaker(const ui::WindowLayout& layout) : pictures_(layout) {}

  void SetOpinionCount(int opinions) override { pictures_.SetOpinionCount(opinions); }
  void StrategyMap() override { pictures_.StrategyMap(); }
  void DrawMap(const Grid& population) override { pictures_.DrawMap(population); }
  void DrawCell(int x, int y, std::uint8_t opinion) override { pictures_.DrawCell(x, y, opinion); }
  void ProcessFrame() override { pictures_.ProcessFrame(); }
  void DrawProcess(std::int32_t round, const Census& current, const Census& previous) override {
    pictures_.DrawProcess(round, current, previous);
  }

  std::string MapPng() const override { return PngBytes(ui::ViewOf(pictures_.Map().Pixels())); }
  std::string ChartPng() const override { return PngBytes(ui::ViewOf(pictures_.Chart().Pixels())); }

 private:
  ui::RunPictures pictures_;
};

void SetError(char* error, std::size_t size, const char* text) {
  if (size == 0) return;
  std::strncpy(error, text, size - 1);
  error[size - 1] = '\0';
}

}  // namespace

}  // namespace impactsim

extern "C" __attribute__((visibility("default"))) impactsim::cli::RunPictureMaker*
impactsim_make_run_picture_maker(const char* program, char* error, std::size_t errorSize) {
  using namespace impactsim;
  static_assert(
      std::is_same_v<decltype(&impactsim_make_run_picture_maker), cli::MakeRunPictureMaker>);
  try {
    const ProgramProfile* profile = ProgramNamed(program);
    const ui::WindowLayout* layout = profile != nullptr ? ui::WindowOf(*profile) : nullptr;
    if (layout == nullptr) {
      SetError(error, errorSize, "no window is drawn for this program");
      return nullptr;
    }
    EnsureGuiApplication();
    return new PictureMaker(*layout);
  } catch (const std::exception& e) {
    SetError(error, errorSize, e.what());
    return nullptr;
  }
}
