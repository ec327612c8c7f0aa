// impactsim-glyphs: writes the glyph tables of the fonts the pictures write
// in, as a C++ source for the picture library. Run by the build; not
// installed.
//
//   impactsim-glyphs FILE.cpp
//
// Each font is drawn exactly as the windows drew text onto their pictures:
// the window's face through its installed substitute, at a size in pixels,
// with no antialiasing. For every printable ASCII character the table holds
// the glyph's 1-bit ink relative to its origin on the baseline and its
// advance, and for every pair of them the kerning the font's text layout
// applies (ligatures are not kept), all in the 64ths of a pixel the layout itself works in (see
// picture/glyph_font.h for how a run is put together from them).

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextLayout>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ui/fonts.h"

namespace {

struct GlyphFace {
  const char* function;  // the accessor in picture/glyph_font.h
  const char* stem;      // names of the font's arrays
  int pixels;
  bool bold;
};

const GlyphFace kFonts[] = {
    {"ChartTitleFont", "kTitle", 15, true},
    {"ChartLabelFont", "kLabel", 13, true},
};

constexpr char kFirst = 32;  // ' '
constexpr char kLast = 126;  // '~'
constexpr int kCanvas = 96;  // the square a single glyph is drawn in
constexpr int kOrigin = 32;  // its origin's x and baseline's y there
const QRgb kInk = qRgb(0, 0, 128);

struct Ink {
  int left = 0, top = 0, width = 0;
  std::vector<std::uint32_t> rows;
};

QFont FontOf(const GlyphFace& face) {
  QFont font = impactsim::ui::MakeFont(impactsim::ui::kTimesNewRoman, face.pixels, face.bold);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

// The character drawn alone with its origin at (kOrigin, kOrigin), as the
// pictures drew text, and its ink cut out; false if it is too wide to store.
bool InkOf(const QFont& font, char c, Ink& ink) {
  QImage image(kCanvas, kCanvas, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
  painter.setFont(font);
  painter.setPen(QColor(kInk));
  painter.drawText(QPoint(kOrigin, kOrigin), QString(QChar::fromLatin1(c)));
  painter.end();
  int left = kCanvas, top = kCanvas, right = -1, bottom = -1;
  for (int y = 0; y < kCanvas; ++y) {
    for (int x = 0; x < kCanvas; ++x) {
      if (image.pixel(x, y) != kInk) continue;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  ink = Ink{};
  if (right < 0) return true;
  if (right - left >= 32 || left == 0 || top == 0 || right == kCanvas - 1 ||
      bottom == kCanvas - 1) {
    return false;
  }
  ink.left = left - kOrigin, ink.top = top - kOrigin, ink.width = right - left + 1;
  for (int y = top; y <= bottom; ++y) {
    std::uint32_t row = 0;
    for (int x = left; x <= right; ++x) {
      if (image.pixel(x, y) == kInk) row |= std::uint32_t{1} << (x - left);
    }
    ink.rows.push_back(row);
  }
  return true;
}

// The positions the font's layout gives the characters of `text`, in 64ths.
std::vector<long> Positions(const QFont& font, QPaintDevice* device, const QString& text) {
  QTextLayout layout(text, font, device);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  std::vector<long> positions;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    for (const QPointF& p : run.positions()) positions.push_back(std::lround(p.x() * 64));
  }
  return positions;
}

// The font's table: glyphs, kernings and metrics, appended to `out`.
bool WriteFont(const GlyphFace& face, std::ostream& out) {
  const QFont font = FontOf(face);
  QImage device(1, 1, QImage::Format_RGB32);
  const QFontMetricsF metrics(font, &device);
  const QFontMetrics whole(font, &device);
  std::ostringstream rows, glyphs, kernings;
  std::size_t rowCount = 0;
  for (char c = kFirst; c <= kLast; ++c) {
    Ink ink;
    if (!InkOf(font, c, ink)) {
      std::cerr << "impactsim-glyphs: the glyph of '" << c << "' is too large to store\n";
      return false;
    }
    for (const std::uint32_t row : ink.rows) rows << "0x" << std::hex << row << std::dec << ", ";
    const long advance = std::lround(metrics.horizontalAdvance(QChar::fromLatin1(c)) * 64);
    // The row count as a std::size_t: a literal 0 would also be a null
    // pointer, which some C++ libraries' span constructors cannot tell apart.
    glyphs << "    {" << int{c} << ", " << advance << ", " << ink.left << ", " << ink.top << ", "
           << ink.width << ", std::span(" << face.stem << "Rows + " << rowCount << ", std::size_t{"
           << ink.rows.size() << "})},\n";
    rowCount += ink.rows.size();
    for (char d = kFirst; d <= kLast; ++d) {
      const QString pair = QString(QChar::fromLatin1(c)) + QChar::fromLatin1(d);
      const std::vector<long> at = Positions(font, &device, pair);
      // A pair the layout joins into one glyph (a ligature such as "fi")
      // has no kerning; the table draws such text glyph by glyph.
      if (at.size() != 2) continue;
      if (const long kern = at[1] - at[0] - advance; kern != 0) {
        kernings << "    {" << int{c} << ", " << int{d} << ", " << kern << "},\n";
      }
    }
  }
  out << "const std::uint32_t " << face.stem << "Rows[] = {" << rows.str() << "};\n"
      << "const Glyph " << face.stem << "Glyphs[] = {\n"
      << glyphs.str() << "};\n"
      << "const Kerning " << face.stem << "Kernings[] = {\n"
      << kernings.str() << "    {0, 0, 0}};\n"
      << "const GlyphFont " << face.stem << "Font{" << whole.ascent() << ", " << whole.descent()
      << ", " << face.stem << "Glyphs, std::span(" << face.stem << "Kernings, std::size("
      << face.stem << "Kernings) - 1)};\n\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: impactsim-glyphs FILE.cpp\n";
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  impactsim::ui::InstallFontSubstitutes();
  std::ostringstream source;
  source << "// The glyph tables of the pictures' fonts, written by impactsim-glyphs.\n"
         << "#include <iterator>\n\n#include \"picture/glyph_font.h\"\n\n"
         << "namespace impactsim::picture {\n\nnamespace {\n\n";
  for (const GlyphFace& face : kFonts) {
    if (!WriteFont(face, source)) return 1;
  }
  source << "}  // namespace\n\n";
  for (const GlyphFace& face : kFonts) {
    source << "const GlyphFont& " << face.function << "() {\n  return " << face.stem
           << "Font;\n}\n\n";
  }
  source << "}  // namespace impactsim::picture\n";
  std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
  file << source.str();
  file.close();
  if (!file) {
    std::cerr << "impactsim-glyphs: cannot write " << argv[1] << '\n';
    return 1;
  }
  return 0;
}
