#include "web/engine_api.h"

#include <emscripten/emscripten.h>

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_observer.h"
#include "model/seeded_run.h"
#include "picture/run_pictures.h"
#include "sweep/command_line_rules.h"
#include "sweep/input_error.h"
#include "sweep/run_options.h"
#include "sweep/start_file.h"

// The page's functions on the module, called if the page set them.
EM_JS(void, PageLogLine, (const char* text, int length), {
  if (Module.onLogLine) Module.onLogLine(UTF8ToString(text, length));
});
EM_JS(void, PageRound,
      (int round, int changes, const int* census, int opinions, const unsigned char* cells,
       int count),
      {
        if (Module.onRound) {
          Module.onRound(round, changes, HEAP32.slice(census >> 2, (census >> 2) + opinions),
                         HEAPU8.slice(cells, cells + count));
        }
      });

namespace impactsim {

namespace {

// What the last call left for the page to read.
struct LastRun {
  std::string Error;
  std::uint32_t Seed = 0;
  std::string Log;
  std::string FinalMap;
  std::optional<picture::RunPictures> Pictures;  // of a program that has them
};
LastRun& Last() {
  static LastRun last;
  return last;
}

// The lines of `args`; an empty last line (a final newline) is not a word.
std::vector<std::string> Words(std::string_view args) {
  std::vector<std::string> words;
  while (!args.empty()) {
    const std::size_t end = args.find('\n');
    words.emplace_back(args.substr(0, end));
    args = end == std::string_view::npos ? std::string_view{} : args.substr(end + 1);
  }
  return words;
}

// The run's options, parsed and checked as "impactsim run" does; throws
// InputError for the first problem.
RunRequest ParseRun(const std::vector<std::string>& words) {
  CLI::App app("", "impactsim");
  app.allow_extras();
  CLI::App* run = app.add_subcommand("run", "");
  run->allow_extras();
  RunOptions options;
  options.AddTo(*run);
  std::vector<std::string> args{"run"};
  args.insert(args.end(), words.begin(), words.end());
  const std::vector<std::string> given = WithoutEndOfOptions(args);
  std::vector<std::string> reversed(given.rbegin(), given.rend());  // the parser's order
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    throw InputError("", Describe(e, *run));
  }
  CheckLeftovers(app);
  CheckRepeatsAndSwitches(*run, given);
  RunRequest request = options.Resolve();
  for (const auto& [key, path] : request.OutputFiles()) {
    if (!path->empty()) throw InputError(key, "writes a file, which a web page cannot");
  }
  return request;
}

// Passes the log lines and each round's census and opinions to the page,
// and draws the map and the chart as the runner's picture part does, when
// there are pictures to draw: each round reaches the page once both are.
class PageReport final : public DrawingRelay {
 public:
  PageReport(std::string& log, picture::RunPictures* pictures)
      : DrawingRelay(pictures), log_(&log) {}

  void AppendLog(std::string_view line) override {
    log_->append(line).push_back('\n');
    PageLogLine(line.data(), static_cast<int>(line.size()));
  }
  void RunStarted(const Census& census) override { Closed(0, census); }
  void RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) override {
    (void)roundNo;
    Closed(changes, census);
  }
  void RoundPopulation(std::int32_t roundNo, const Grid& population) override {
    cells_.resize(static_cast<std::size_t>(population.Total()));
    for (std::size_t i = 0; i < cells_.size(); ++i) cells_[i] = population.Data()[i].Opinion;
    PageRound(roundNo, changes_, &census_[1], opinions_, cells_.data(),
              static_cast<int>(cells_.size()));
  }

  void SetOpinions(int opinions) { opinions_ = opinions; }

 private:
  void Closed(std::int32_t changes, const Census& census) {
    changes_ = changes;
    census_ = census;
  }

  std::string* log_;
  int opinions_ = 2;
  std::int32_t changes_ = 0;
  Census census_{};
  std::vector<unsigned char> cells_;
};

// A picture of the last run, or null before a run and after bad input.
const picture::Raster* PictureOf(bool map) {
  const std::optional<picture::RunPictures>& pictures = Last().Pictures;
  if (!pictures) return nullptr;
  return map ? &pictures->Map().Pixels() : &pictures->Chart().Pixels();
}

int WidthOf(const picture::Raster* raster) {
  return raster != nullptr ? raster->Width() : 0;
}

int HeightOf(const picture::Raster* raster) {
  return raster != nullptr ? raster->Height() : 0;
}

const std::uint32_t* PixelsOf(const picture::Raster* raster) {
  return raster != nullptr ? raster->Pixels().data() : nullptr;
}

}  // namespace

}  // namespace impactsim

extern "C" {

int impactsim_run(const char* args, std::uint32_t clockMs) {
  using namespace impactsim;
  LastRun& last = Last();
  last = LastRun{};
  RunRequest request;
  try {
    request = ParseRun(Words(args));
  } catch (const InputError& e) {
    last.Error = Render(e.What(), CommandLineName);
    return 2;
  }
  last.Seed = request.Seed ? *request.Seed : clockMs;
  if (const picture::PictureSizes* sizes = picture::PicturesOf(*request.Program)) {
    last.Pictures.emplace(*sizes, request.Program->CellTotal);
    last.Pictures->SetOpinionCount(request.Settings.Opinions);
  }
  PageReport report(last.Log, last.Pictures ? &*last.Pictures : nullptr);
  report.SetOpinions(request.Settings.Opinions);
  const SeededRun run = RunSeeded(*request.Program, last.Seed, request.Settings, report);
  last.FinalMap = PopulationText(run.Population, false);
  return 0;
}

const char* impactsim_error() {
  return impactsim::Last().Error.c_str();
}

std::uint32_t impactsim_seed() {
  return impactsim::Last().Seed;
}

const char* impactsim_log() {
  return impactsim::Last().Log.c_str();
}

const char* impactsim_final_map() {
  return impactsim::Last().FinalMap.c_str();
}

int impactsim_map_width() {
  return impactsim::WidthOf(impactsim::PictureOf(true));
}

int impactsim_map_height() {
  return impactsim::HeightOf(impactsim::PictureOf(true));
}

const std::uint32_t* impactsim_map_pixels() {
  return impactsim::PixelsOf(impactsim::PictureOf(true));
}

int impactsim_chart_width() {
  return impactsim::WidthOf(impactsim::PictureOf(false));
}

int impactsim_chart_height() {
  return impactsim::HeightOf(impactsim::PictureOf(false));
}

const std::uint32_t* impactsim_chart_pixels() {
  return impactsim::PixelsOf(impactsim::PictureOf(false));
}
}
