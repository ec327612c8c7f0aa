// impactsim-icons: draws a window program's icon, a small map of one of its
// own runs in its map's colours, as SVG and as PNG images. Run by the build;
// not installed.
//
//   impactsim-icons PROGRAM DIR   writes DIR/PROGRAM.svg and DIR/PROGRAM-<size>.png
//
// The map is that of the first seeded run, on an 8 x 8 grid with the
// program's other settings, that ends with each opinion on a quarter of the
// cells or more: clusters of both colours. Each cell is a square of its
// opinion's colour in a black frame of an eighth of its width, as the
// window's map draws it; every size is a whole number of pixels per cell, so
// the PNG images and the SVG drawn at their size are the same pixels.

#include <QColor>
#include <QImage>
#include <QString>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "model/seeded_run.h"
#include "programs/programs.h"
#include "ui/opinion_colours.h"

namespace {

constexpr int kSide = 8;
constexpr int kSizes[] = {48, 64, 128, 256};
constexpr int kSvgCell = 32;  // the SVG's units per cell: 256 units in all

// The final population of the first seed whose run leaves each opinion on
// at least a quarter of the grid.
std::optional<impactsim::Grid> ClusteredMap(const impactsim::ProgramProfile& program) {
  impactsim::RunSettings settings = program.Defaults;
  settings.Side = kSide;
  settings.InitialShare = 0.4;
  for (std::uint32_t seed = 0; seed < 10000; ++seed) {
    impactsim::RunObserver quiet;
    const impactsim::SeededRun run = impactsim::RunSeeded(program, seed, settings, quiet);
    const auto& census = run.Result.EndCensus;
    if (census[1] * 4 >= kSide * kSide && census[2] * 4 >= kSide * kSide) return run.Population;
  }
  return std::nullopt;
}

std::string Hex(const QColor& colour) {
  return colour.name(QColor::HexRgb).toStdString();
}

bool WriteSvg(const impactsim::Grid& map, const std::string& path) {
  const int total = kSide * kSvgCell;
  const int frame = kSvgCell / 8;
  std::ofstream svg(path, std::ios::binary | std::ios::trunc);
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << total << "\" height=\"" << total
      << "\" viewBox=\"0 0 " << total << ' ' << total << "\">\n"
      << "<rect width=\"" << total << "\" height=\"" << total << "\" fill=\"#000000\"/>\n";
  for (int y = 1; y <= kSide; ++y) {
    for (int x = 1; x <= kSide; ++x) {
      svg << "<rect x=\"" << (x - 1) * kSvgCell + frame << "\" y=\"" << (y - 1) * kSvgCell + frame
          << "\" width=\"" << kSvgCell - 2 * frame << "\" height=\"" << kSvgCell - 2 * frame
          << "\" fill=\"" << Hex(impactsim::ui::OpinionColour(map.At(x, y).Opinion)) << "\"/>\n";
    }
  }
  svg << "</svg>\n";
  svg.close();
  return static_cast<bool>(svg);
}

QImage Png(const impactsim::Grid& map, int size) {
  const int cell = size / kSide;
  const int frame = cell / 8 > 0 ? cell / 8 : 1;
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(Qt::black);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      const int ix = px % cell;
      const int iy = py % cell;
      if (ix < frame || iy < frame || ix >= cell - frame || iy >= cell - frame) continue;
      image.setPixelColor(
          px, py, impactsim::ui::OpinionColour(map.At(px / cell + 1, py / cell + 1).Opinion));
    }
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: impactsim-icons PROGRAM DIR\n";
    return 2;
  }
  const impactsim::ProgramProfile* program = impactsim::ProgramNamed(argv[1]);
  if (program == nullptr) {
    std::cerr << "impactsim-icons: no program " << argv[1] << '\n';
    return 2;
  }
  const std::optional<impactsim::Grid> map = ClusteredMap(*program);
  if (!map) {
    std::cerr << "impactsim-icons: no run of " << argv[1] << " ends in clusters of both opinions\n";
    return 1;
  }
  const std::string stem = std::string(argv[2]) + "/" + argv[1];
  if (!WriteSvg(*map, stem + ".svg")) {
    std::cerr << "impactsim-icons: cannot write " << stem << ".svg\n";
    return 1;
  }
  for (const int size : kSizes) {
    const std::string path = stem + "-" + std::to_string(size) + ".png";
    if (!Png(*map, size).save(QString::fromStdString(path), "PNG")) {
      std::cerr << "impactsim-icons: cannot write " << path << '\n';
      return 1;
    }
  }
  return 0;
}
