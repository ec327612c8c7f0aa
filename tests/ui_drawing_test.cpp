// Pixel checks of the drawing surface, the population map and the chart.

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPolygon>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "picture/chart_picture.h"
#include "picture/glyph_font.h"
#include "picture/map_picture.h"
#include "ui/fonts.h"
#include "ui/opinion_colours.h"
#include "ui/surface.h"

using namespace impactsim;
using namespace impactsim::ui;
using picture::ChartPicture;
using picture::kMapSize;
using picture::MapPicture;
using picture::Raster;

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kMagenta = qRgb(255, 0, 255);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kNavy = qRgb(0, 0, 128);
const QRgb kBackground = qRgb(1, 2, 3);

int Count(const QImage& image, QRgb colour, QRect area) {
  int n = 0;
  area &= image.rect();
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) n += image.pixel(x, y) == colour ? 1 : 0;
  }
  return n;
}
int Count(const QImage& image, QRgb colour) {
  return Count(image, colour, image.rect());
}

// A vertical run of one colour at column x, rows y0..y1.
struct Segment {
  int x, y0, y1;
  QRgb colour;
};

Census ToCensus(const QList<int>& counts) {
  Census census{};
  for (qsizetype i = 0; i < counts.size(); ++i) census[static_cast<std::size_t>(i + 1)] = counts[i];
  return census;
}

}  // namespace

Q_DECLARE_METATYPE(Segment)

class SurfaceTest : public QObject {
  Q_OBJECT
 private slots:
  void rectangle_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("ltrb");  // left, top, right, bottom packed as x, y, w, h
    QTest::addColumn<int>("penPixels");
    QTest::addColumn<int>("brushPixels");
    QTest::addColumn<QRect>("dirty");
    QTest::addColumn<QPolygon>("penPoints");
    QTest::newRow("inside") << QSize(20, 20) << QRect(2, 3, 12, 9) << 28 << 32 << QRect(2, 3, 10, 6)
                            << QPolygon({{2, 3}, {11, 3}, {2, 8}, {11, 8}});
    QTest::newRow("one pixel") << QSize(20, 20) << QRect(5, 5, 6, 6) << 1 << 0 << QRect(5, 5, 1, 1)
                               << QPolygon({{5, 5}});
    QTest::newRow("two by two") << QSize(20, 20) << QRect(5, 5, 7, 7) << 4 << 0 << QRect(5, 5, 2, 2)
                                << QPolygon({{6, 6}});
    QTest::newRow("three by three")
        << QSize(20, 20) << QRect(5, 5, 8, 8) << 8 << 1 << QRect(5, 5, 3, 3) << QPolygon({{7, 7}});
    QTest::newRow("larger than the surface")
        << QSize(320, 320) << QRect(0, 0, 699, 651) << 639 << 319 * 319 << QRect(0, 0, 320, 320)
        << QPolygon({{0, 0}, {319, 0}, {0, 319}});
    QTest::newRow("over the top left corner") << QSize(20, 20) << QRect(-5, -5, 5, 5) << 9 << 16
                                              << QRect(0, 0, 5, 5) << QPolygon({{4, 0}, {0, 4}});
    QTest::newRow("outside") << QSize(20, 20) << QRect(30, 30, 40, 40) << 0 << 0 << QRect()
                             << QPolygon();
    QTest::newRow("no width") << QSize(20, 20) << QRect(5, 5, 5, 9) << 0 << 0 << QRect()
                              << QPolygon();
  }
  void rectangle() {
    QFETCH(QSize, size);
    QFETCH(QRect, ltrb);
    QFETCH(int, penPixels);
    QFETCH(int, brushPixels);
    QFETCH(QRect, dirty);
    QFETCH(QPolygon, penPoints);
    Raster raster(size.width(), size.height(), kBackground);
    Surface s(raster);
    s.SetPen(kRed);
    s.SetBrush(kBlue);
    s.Rectangle(ltrb.x(), ltrb.y(), ltrb.width(), ltrb.height());
    QCOMPARE(Count(s.Image(), kRed), penPixels);
    QCOMPARE(Count(s.Image(), kBlue), brushPixels);
    QCOMPARE(s.TakeDirty(), dirty);
    for (const QPoint& p : penPoints) QCOMPARE(s.Image().pixel(p), kRed);
  }

  void line_data() {
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<int>("pixels");
    QTest::newRow("horizontal axis") << QPoint(10, 330) << QPoint(210, 330) << 200;
    QTest::newRow("vertical axis") << QPoint(10, 30) << QPoint(10, 330) << 300;
    QTest::newRow("leftwards") << QPoint(210, 330) << QPoint(10, 330) << 200;
    QTest::newRow("diagonal") << QPoint(0, 0) << QPoint(5, 5) << 5;
    QTest::newRow("shallow") << QPoint(0, 0) << QPoint(10, 3) << 10;
    QTest::newRow("shallow, up and left") << QPoint(30, 20) << QPoint(3, 11) << 27;
    QTest::newRow("steep") << QPoint(3, 0) << QPoint(0, 10) << 10;
    QTest::newRow("steep chart edge") << QPoint(14, 64) << QPoint(10, 130) << 66;
    QTest::newRow("zero length") << QPoint(7, 7) << QPoint(7, 7) << 0;
    QTest::newRow("clipped") << QPoint(-5, 2) << QPoint(5, 2) << 5;
  }
  void line() {
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(int, pixels);
    Raster raster(400, 400, kBackground);
    Surface s(raster);
    s.SetPen(kRed);
    s.Line(from.x(), from.y(), to.x(), to.y());
    const QImage& image = s.Image();
    QCOMPARE(Count(image, kRed), pixels);
    QCOMPARE(image.pixel(to), kBackground);
    if (pixels > 0 && image.rect().contains(from)) QCOMPARE(image.pixel(from), kRed);
    // One pixel per step along the major axis, each within half a pixel of
    // the ideal line.
    const bool xMajor = std::abs(to.x() - from.x()) >= std::abs(to.y() - from.y());
    const auto major = [&](QPoint p) { return xMajor ? p.x() : p.y(); };
    const auto minor = [&](QPoint p) { return xMajor ? p.y() : p.x(); };
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) != kRed) continue;
        const QPoint p(x, y);
        const double t = double(major(p) - major(from)) / (major(to) - major(from));
        QVERIFY(t >= 0 && t < 1);
        QVERIFY(std::abs(minor(from) + t * (minor(to) - minor(from)) - minor(p)) <= 0.5);
      }
    }
  }

  // Trapezoids as the chart draws them: vertical sides at x1 and x2, pen and
  // brush alike. Every column from x1 to x2 must be filled from the top to
  // the bottom of the outline in that column, and nothing else.
  void chartPolygon_data() {
    QTest::addColumn<int>("x1");
    QTest::addColumn<int>("x2");
    QTest::addColumn<QList<int>>("ys");  // top left, top right, bottom right, bottom left
    QTest::newRow("rectangle") << 10 << 14 << QList<int>{64, 64, 130, 130};
    QTest::newRow("flat line") << 10 << 14 << QList<int>{130, 130, 130, 130};
    QTest::newRow("dying band") << 10 << 14 << QList<int>{64, 64, 64, 130};
    QTest::newRow("new band") << 10 << 14 << QList<int>{100, 64, 130, 100};
    QTest::newRow("both edges steep down") << 10 << 14 << QList<int>{64, 200, 300, 120};
    QTest::newRow("both edges steep up") << 206 << 210 << QList<int>{250, 70, 90, 330};
    QTest::newRow("narrowing") << 10 << 14 << QList<int>{64, 150, 160, 330};
    QTest::newRow("shallow edges") << 0 << 40 << QList<int>{10, 21, 35, 30};
  }
  void chartPolygon() {
    QFETCH(int, x1);
    QFETCH(int, x2);
    QFETCH(QList<int>, ys);
    const QPoint band[] = {{x1, ys[0]}, {x2, ys[1]}, {x2, ys[2]}, {x1, ys[3]}};
    Raster edgeRaster(220, 350, kBackground);
    Surface edges(edgeRaster);
    edges.SetPen(kBlue);
    for (int i = 0; i < 4; ++i) {
      edges.Line(band[i].x(), band[i].y(), band[(i + 1) % 4].x(), band[(i + 1) % 4].y());
    }
    const QImage outline = edges.Image();
    QImage expected(220, 350, QImage::Format_RGB32);
    expected.fill(kBackground);
    QRect drawn;
    for (int x = x1; x <= x2; ++x) {
      int lo = 350, hi = -1;
      for (int y = 0; y < 350; ++y) {
        if (outline.pixel(x, y) == kBlue) lo = std::min(lo, y), hi = std::max(hi, y);
      }
      for (int y = lo; y <= hi; ++y) expected.setPixel(x, y, kBlue);
      drawn |= QRect(QPoint(x, lo), QPoint(x, hi));
    }
    Raster raster(220, 350, kBackground);
    Surface s(raster);
    s.SetPen(kBlue);
    s.SetBrush(kBlue);
    s.Polygon(band);
    QCOMPARE(s.Image(), expected);
    QCOMPARE(s.TakeDirty(), drawn);
    QCOMPARE(s.Image().pixel(x1, ys[0]), kBlue);
    QCOMPARE(s.Image().pixel(x2, ys[2]), kBlue);
  }

  // A concave polygon with distinct pen and brush: the notch stays empty,
  // the closing edge is outlined.
  void concavePolygon() {
    Raster raster(20, 20, kBackground);
    Surface s(raster);
    s.SetPen(kRed);
    s.SetBrush(kBlue);
    const QPoint shape[] = {{2, 2}, {12, 2}, {12, 12}, {7, 6}, {2, 12}};
    s.Polygon(shape);
    for (const QPoint& p : shape) QCOMPARE(s.Image().pixel(p), kRed);
    QCOMPARE(s.Image().pixel(2, 7), kRed);          // closing edge
    QCOMPARE(s.Image().pixel(4, 4), kBlue);         // interior
    QCOMPARE(s.Image().pixel(7, 10), kBackground);  // notch
    QCOMPARE(s.Image().pixel(13, 7), kBackground);
    QCOMPARE(s.TakeDirty(), QRect(2, 2, 11, 11));
  }

  // Text from the glyph tables against the same text drawn by Qt's own font
  // machinery as the tables were made: the same pixels, and the dirty box
  // exactly the box of what changed. Kerned pairs ("Te", "AV", "fr"),
  // descenders, overhangs and runs cut by the picture's edges.
  void text_data() {
    QTest::addColumn<bool>("title");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << true << QPoint(60, 2) << QStringLiteral("Evolution Process");
    QTest::newRow("vertical label") << false << QPoint(10, 16) << QStringLiteral("frequency");
    QTest::newRow("horizontal label") << false << QPoint(80, 20) << QStringLiteral("Round");
    QTest::newRow("kerned pairs, title")
        << true << QPoint(3, 5) << QStringLiteral("AVAWAY Te To Ty LT P. \"y,\" f] j/q|g @~");
    QTest::newRow("every class, label")
        << false << QPoint(1, 9) << QStringLiteral("{Wj} 0123456789 (Qq) [Lg] <%&#$> Fr 'ff'");
    QTest::newRow("cut at the left and the top")
        << true << QPoint(-7, -6) << QStringLiteral("Jump W");
    QTest::newRow("cut at the right and the bottom")
        << false << QPoint(170, 30) << QStringLiteral("Wavy gap");
  }
  void text() {
    QFETCH(bool, title);
    QFETCH(QPoint, at);
    QFETCH(QString, text);
    const QSize size(200, 40);
    QImage expected(size, QImage::Format_RGB32);
    expected.fill(kBackground);
    QFont font = MakeFont(kTimesNewRoman, title ? 15 : 13, true);
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics m(font, &expected);
    QPainter painter(&expected);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.fillRect(QRect(at.x(), at.y(), m.horizontalAdvance(text), m.ascent() + m.descent()),
                     QColor(kWhite));
    painter.setFont(font);
    painter.setPen(QColor(kNavy));
    painter.drawText(at + QPoint(0, m.ascent()), text);
    painter.end();
    QRect changed;
    for (int y = 0; y < size.height(); ++y) {
      for (int x = 0; x < size.width(); ++x) {
        if (expected.pixel(x, y) != kBackground) changed |= QRect(x, y, 1, 1);
      }
    }

    Raster raster(size.width(), size.height(), kBackground);
    Surface s(raster);
    s.SetBrush(kWhite);
    s.SetFontColour(kNavy);
    s.Text(at.x(), at.y(), title ? picture::ChartTitleFont() : picture::ChartLabelFont(), text);
    QCOMPARE(s.Image(), expected);
    QCOMPARE(s.TakeDirty(), changed);
  }

  void dirtyAccumulatesUntilTaken() {
    Raster raster(50, 50, kBackground);
    Surface s(raster);
    QCOMPARE(s.TakeDirty(), QRect());
    s.Line(3, 40, 10, 40);
    s.Rectangle(20, 5, 30, 15);
    QCOMPARE(s.TakeDirty(), QRect(QPoint(3, 5), QPoint(29, 40)));
    QCOMPARE(s.TakeDirty(), QRect());
    s.Line(45, 45, 60, 45);
    QCOMPARE(s.TakeDirty(), QRect(QPoint(45, 45), QPoint(49, 45)));
  }
};

class MapPictureTest : public QObject {
  Q_OBJECT
  // Neighbours always differ, and no cell is black.
  static int OpinionAt(int x, int y) { return (x + 2 * y) % 5 + 1; }
  static Grid KnownGrid(int side) {
    Grid grid(side);
    for (int y = 1; y <= side; ++y) {
      for (int x = 1; x <= side; ++x)
        grid.At(x, y).Opinion = static_cast<std::uint8_t>(OpinionAt(x, y));
    }
    return grid;
  }

 private slots:
  void cellSquare_data() {
    QTest::addColumn<int>("cellSize");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("8 px [1,1]") << 8 << 1 << 1 << QPoint(0, 0);
    QTest::newRow("8 px [40,1]") << 8 << 40 << 1 << QPoint(312, 0);
    QTest::newRow("8 px [1,40]") << 8 << 1 << 40 << QPoint(0, 312);
    QTest::newRow("8 px [40,40]") << 8 << 40 << 40 << QPoint(312, 312);
    QTest::newRow("8 px [17,5]") << 8 << 17 << 5 << QPoint(128, 32);
    QTest::newRow("16 px [1,1]") << 16 << 1 << 1 << QPoint(0, 0);
    QTest::newRow("16 px [20,1]") << 16 << 20 << 1 << QPoint(304, 0);
    QTest::newRow("16 px [1,20]") << 16 << 1 << 20 << QPoint(0, 304);
    QTest::newRow("16 px [20,20]") << 16 << 20 << 20 << QPoint(304, 304);
  }
  // The cell's square: a one-pixel black frame round its colour; frames of
  // neighbours meet in two-pixel black separators.
  void cellSquare() {
    QFETCH(int, cellSize);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QPoint, topLeft);
    MapPicture map(cellSize);
    map.DrawMap(KnownGrid(kMapSize / cellSize));
    const QImage& image = ImageOf(map.Pixels());
    const QRgb colour = OpinionColour(OpinionAt(x, y)).rgb();
    const QRect square(topLeft, QSize(cellSize, cellSize));
    const QRect inner = square.adjusted(1, 1, -1, -1);
    QCOMPARE(Count(image, colour, inner), inner.width() * inner.height());
    QCOMPARE(Count(image, kBlack, square), 4 * cellSize - 4);
    if (square.right() < kMapSize - 1)
      QCOMPARE(image.pixel(square.right() + 1, inner.top()), kBlack);
    if (square.bottom() < kMapSize - 1)
      QCOMPARE(image.pixel(inner.left(), square.bottom() + 1), kBlack);
    // The whole map: frames only, no overlap or gap between squares.
    const int side = kMapSize / cellSize;
    QCOMPARE(Count(image, kBlack), side * side * (4 * cellSize - 4));
  }

  void drawCell_data() {
    QTest::addColumn<int>("cellSize");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QRect>("square");
    QTest::newRow("8 px [40,40]") << 8 << 40 << 40 << QRect(312, 312, 8, 8);
    QTest::newRow("8 px [3,7]") << 8 << 3 << 7 << QRect(16, 48, 8, 8);
    QTest::newRow("16 px [1,1]") << 16 << 1 << 1 << QRect(0, 0, 16, 16);
  }
  void drawCell() {
    QFETCH(int, cellSize);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QRect, square);
    MapPicture map(cellSize);
    map.DrawMap(KnownGrid(kMapSize / cellSize));
    map.Pixels().TakeDirty();
    const QImage before = ImageOf(map.Pixels());
    map.DrawCell(x, y, 9);
    QCOMPARE(ToRect(map.Pixels().TakeDirty()), square);
    const QImage& after = ImageOf(map.Pixels());
    const QRect inner = square.adjusted(1, 1, -1, -1);
    QCOMPARE(Count(after, OpinionColour(9).rgb(), inner), inner.width() * inner.height());
    int changed = 0;
    for (int py = 0; py < kMapSize; ++py) {
      for (int px = 0; px < kMapSize; ++px) changed += before.pixel(px, py) != after.pixel(px, py);
    }
    QCOMPARE(changed, inner.width() * inner.height());
  }

  // A map of another side than the window's: cells of the size that fits
  // it into the map (at least a pixel, unframed under 3), the picture grown
  // only past kMapSize cells; the last cell in its colour where expected.
  void otherSides_data() {
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("cellSize");
    QTest::addColumn<int>("width");
    QTest::newRow("40") << 40 << 8 << 320;
    QTest::newRow("20") << 20 << 16 << 320;
    QTest::newRow("53") << 53 << 6 << 320;
    QTest::newRow("4") << 4 << 80 << 320;
    QTest::newRow("160") << 160 << 2 << 320;
    QTest::newRow("400") << 400 << 1 << 400;
  }
  void otherSides() {
    QFETCH(int, side);
    QFETCH(int, cellSize);
    QFETCH(int, width);
    MapPicture map(8);
    map.DrawMap(KnownGrid(side));
    QCOMPARE(map.CellSize(), cellSize);
    QCOMPARE(map.Pixels().Width(), width);
    const int at = (side - 1) * cellSize + cellSize / 2;
    QCOMPARE(ImageOf(map.Pixels()).pixel(at, at), OpinionColour(OpinionAt(side, side)).rgb());
    // The rows of small cells cover the whole picture: no frame, no black.
    QCOMPARE(Count(ImageOf(map.Pixels()), kBlack) == 0, cellSize < 3);
  }

  void strategyMap_data() {
    QTest::addColumn<int>("cellSize");
    QTest::addColumn<QSize>("window");
    QTest::newRow("8 px, window larger than the map") << 8 << QSize(640, 480);
    QTest::newRow("16 px, exactly the map") << 16 << QSize(320, 320);
  }
  void strategyMap() {
    QFETCH(int, cellSize);
    QFETCH(QSize, window);
    MapPicture map(cellSize);
    map.DrawMap(KnownGrid(kMapSize / cellSize));
    map.StrategyMap(window.width(), window.height());
    QCOMPARE(Count(ImageOf(map.Pixels()), kBlack), kMapSize * kMapSize);
  }
};

class ChartPictureTest : public QObject {
  Q_OBJECT
 private slots:
  void columnOf_data() {
    QTest::addColumn<int>("round");
    QTest::addColumn<int>("column");
    const int rows[][2] = {{1, 1}, {2, 2}, {50, 50}, {51, 1}, {100, 50}, {101, 1}, {499, 49}};
    for (const auto& r : rows) QTest::addRow("round %d", r[0]) << r[0] << r[1];
  }
  void columnOf() {
    QFETCH(int, round);
    QFETCH(int, column);
    QCOMPARE(ChartPicture::ColumnOf(round), column);
  }

  // Another population size keeps the window's chart height: k rounded up.
  void scaleFollowsCellTotal_data() {
    QTest::addColumn<int>("baseTotal");
    QTest::addColumn<int>("baseK");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("k");
    QTest::newRow("own 1600") << 1600 << 6 << 1600 << 6;
    QTest::newRow("400 on 1600/6") << 1600 << 6 << 400 << 2;
    QTest::newRow("160000 on 1600/6") << 1600 << 6 << 160'000 << 600;
    QTest::newRow("16 on 1600/6") << 1600 << 6 << 16 << 1;
    QTest::newRow("6400 on 400/2") << 400 << 2 << 6400 << 32;
    QTest::newRow("401 on 400/2") << 400 << 2 << 401 << 3;
  }
  void scaleFollowsCellTotal() {
    QFETCH(int, baseTotal);
    QFETCH(int, baseK);
    QFETCH(int, total);
    QFETCH(int, k);
    ChartPicture chart(baseTotal, baseK);
    chart.FollowCellTotal(total);
    QCOMPARE(chart.CellsPerPixel(), k);
  }

  void frame() {
    ChartPicture chart(1600, 6);
    chart.ProcessFrame(640, 480);
    const QImage& image = ImageOf(chart.Pixels());
    QCOMPARE(Count(image, kBlack, QRect(0, 0, 220, 1)), 220);
    QCOMPARE(Count(image, kBlack, QRect(0, 0, 1, 350)), 350);
    QCOMPARE(image.pixel(219, 349), kWhite);
    QCOMPARE(image.pixel(219, 1), kWhite);
    QCOMPARE(Count(image, kBlack, QRect(10, 40, 1, 290)), 290);   // vertical axis
    QCOMPARE(Count(image, kBlack, QRect(10, 330, 200, 1)), 200);  // horizontal axis
    QCOMPARE(image.pixel(210, 330), kWhite);
    QCOMPARE(image.pixel(9, 100), kWhite);
    QCOMPARE(Count(image, kWhite, QRect(11, 40, 199, 290)), 199 * 290);
    // Each text's box holds its colour on white; nothing else has any colour.
    const struct {
      int x, y, pixels;
      QString text;
      QRgb colour;
    } texts[] = {{60, 2, 15, QStringLiteral("Evolution Process"), kNavy},
                 {10, 16, 13, QStringLiteral("frequency"), kBlack},
                 {80, 335, 13, QStringLiteral("Round"), kBlack}};
    for (const auto& t : texts) {
      const QFontMetrics m(MakeFont(kTimesNewRoman, t.pixels, true), &image);
      const QRect box(t.x, t.y, m.horizontalAdvance(t.text), m.ascent() + m.descent());
      QVERIFY2(Count(image, t.colour, box) > 20, qPrintable(t.text));
    }
    QCOMPARE(Count(image, kWhite) + Count(image, kBlack) + Count(image, kNavy), 220 * 350);
  }

  void process_data() {
    QTest::addColumn<int>("cellTotal");
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("round");
    QTest::addColumn<QList<int>>("current");
    QTest::addColumn<QList<int>>("previous");
    QTest::addColumn<QList<Segment>>("segments");
    QTest::addColumn<QRect>("dirty");
    const QRect cleared(QPoint(10, 30), QPoint(210, 330));
    QTest::newRow("halvorn 1200/400")
        << 1600 << 6 << 1 << QList<int>{1200, 400} << QList<int>{1200, 400}
        << QList<Segment>{{10, 30, 63, kBlack},  {10, 64, 129, kBlue},  {10, 130, 330, kMagenta},
                          {12, 30, 63, kWhite},  {14, 64, 129, kBlue},  {14, 130, 330, kMagenta},
                          {15, 31, 329, kWhite}, {15, 330, 330, kBlack}}
        << cleared;
    QTest::newRow("kestane 200/200")
        << 400 << 2 << 1 << QList<int>{200, 200} << QList<int>{200, 200}
        << QList<Segment>{{12, 30, 129, kWhite},
                          {10, 130, 229, kBlue},
                          {14, 130, 229, kBlue},
                          {12, 230, 330, kMagenta}}
        << cleared;
    QTest::newRow("kestane one cell, alone")
        << 400 << 2 << 1 << QList<int>{0, 1} << QList<int>{0, 1}
        << QList<Segment>{{10, 130, 130, kBlue},  {12, 130, 130, kBlue},  {14, 130, 130, kBlue},
                          {12, 129, 129, kWhite}, {12, 131, 329, kWhite}, {15, 130, 130, kWhite}}
        << cleared;
    QTest::newRow("kestane one cell, covered by opinion 1")
        << 400 << 2 << 1 << QList<int>{399, 1} << QList<int>{399, 1}
        << QList<Segment>{{12, 130, 330, kMagenta}} << cleared;
    QTest::newRow("kestane four opinions, highest on top")
        << 400 << 2 << 1 << QList<int>{100, 100, 120, 80} << QList<int>{100, 100, 120, 80}
        << QList<Segment>{{12, 130, 169, OpinionColour(4).rgb()},
                          {12, 170, 229, OpinionColour(3).rgb()},
                          {12, 230, 279, kBlue},
                          {12, 280, 330, kMagenta}}
        << cleared;
    QTest::newRow("kestane round 2")
        << 400 << 2 << 2 << QList<int>{200, 200} << QList<int>{200, 200}
        << QList<Segment>{{18, 130, 229, kBlue},
                          {14, 230, 330, kMagenta},
                          {13, 130, 330, kWhite},
                          {19, 130, 330, kWhite}}
        << QRect(QPoint(14, 130), QPoint(18, 330));
    QTest::newRow("halvorn round 50")
        << 1600 << 6 << 50 << QList<int>{1200, 400} << QList<int>{1200, 400}
        << QList<Segment>{{206, 64, 129, kBlue},
                          {210, 64, 129, kBlue},
                          {210, 130, 330, kMagenta},
                          {205, 64, 330, kWhite}}
        << QRect(QPoint(206, 64), QPoint(210, 330));
  }
  void process() {
    QFETCH(int, cellTotal);
    QFETCH(int, k);
    QFETCH(int, round);
    QFETCH(QList<int>, current);
    QFETCH(QList<int>, previous);
    QFETCH(QList<Segment>, segments);
    QFETCH(QRect, dirty);
    ChartPicture chart(cellTotal, k);
    chart.DrawProcess(round, ToCensus(current), ToCensus(previous),
                      static_cast<int>(current.size()));
    const QImage& image = ImageOf(chart.Pixels());
    for (const Segment& s : segments) {
      const int n = s.y1 - s.y0 + 1;
      QVERIFY2(Count(image, s.colour, QRect(s.x, s.y0, 1, n)) == n,
               qPrintable(QStringLiteral("x %1, y %2..%3").arg(s.x).arg(s.y0).arg(s.y1)));
    }
    QCOMPARE(Count(image, kWhite, QRect(211, 0, 9, 350)), 9 * 350);
    QCOMPARE(ToRect(chart.Pixels().TakeDirty()), dirty);
  }

  // A band whose opinion has died out narrows to nothing at the column's
  // right side; the column stays filled from the top of the scale down.
  void dyingBand() {
    ChartPicture chart(1600, 6);
    chart.DrawProcess(1, ToCensus({1600, 0}), ToCensus({1200, 400}), 2);
    const QImage& image = ImageOf(chart.Pixels());
    int lastBlue = 67;
    for (int x = 10; x <= 14; ++x) {
      const int blue = Count(image, kBlue, QRect(x, 0, 1, 350));
      QVERIFY(blue < lastBlue);
      if (blue > 0) QCOMPARE(Count(image, kBlue, QRect(x, 64, 1, blue)), blue);
      QCOMPARE(Count(image, kMagenta, QRect(x, 64 + blue, 1, 267 - blue)), 267 - blue);
      lastBlue = blue;
    }
    QCOMPARE(lastBlue, 0);
    QCOMPARE(image.pixel(10, 64), kBlue);
    QCOMPARE(image.pixel(10, 130), kMagenta);
  }

  // Round 51 starts again at column 1: the plot is cleared and the axes
  // redrawn. Right of x 210 only the frame is ever drawn.
  void wrapsAfterFiftyColumns() {
    ChartPicture chart(1600, 6);
    chart.ProcessFrame(640, 480);
    const Census census = ToCensus({1200, 400});
    for (int round = 1; round <= 120; ++round) {
      chart.DrawProcess(round, census, census, 2);
      const QImage& image = ImageOf(chart.Pixels());
      QCOMPARE(Count(image, kWhite, QRect(211, 1, 9, 349)), 9 * 349);
      if (round == 50) {
        QCOMPARE(image.pixel(210, 100), kBlue);
        QCOMPARE(image.pixel(15, 100), kBlue);
      }
      if (round == 51) {
        QCOMPARE(Count(image, kWhite, QRect(15, 30, 195, 300)), 195 * 300);
        QCOMPARE(Count(image, kBlack, QRect(10, 30, 1, 34)), 34);
        QCOMPARE(Count(image, kBlack, QRect(15, 330, 195, 1)), 195);
        QCOMPARE(image.pixel(12, 100), kBlue);
        // Column 50's right side, beside the plot, is cleared with it.
        QCOMPARE(Count(image, kWhite, QRect(210, 1, 1, 349)), 349);
      }
    }
  }

  // After the wrap the chart is exactly a new chart showing round 51 as its
  // first column: nothing of the previous cycle stays, whatever its shares.
  void wrapLeavesNothingOfTheLastCycle_data() {
    QTest::addColumn<int>("cellTotal");
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("rounds");
    QTest::newRow("halvorn, 51 rounds") << 1600 << 6 << 51;
    QTest::newRow("kestane, 51 rounds") << 400 << 2 << 51;
    QTest::newRow("halvorn, 101 rounds") << 1600 << 6 << 101;
  }
  void wrapLeavesNothingOfTheLastCycle() {
    QFETCH(int, cellTotal);
    QFETCH(int, k);
    QFETCH(int, rounds);
    // Shares that move every round, so every column has its own edges.
    const auto census = [cellTotal](int round) {
      const int minority = cellTotal / 8 + (round * 37) % (cellTotal / 4);
      return ToCensus({cellTotal - minority, minority});
    };
    ChartPicture chart(cellTotal, k);
    chart.ProcessFrame(699, 651);
    for (int round = 1; round <= rounds; ++round)
      chart.DrawProcess(round, census(round), census(round - 1), 2);
    ChartPicture fresh(cellTotal, k);
    fresh.ProcessFrame(699, 651);
    fresh.DrawProcess(1, census(rounds), census(rounds - 1), 2);
    QCOMPARE(ImageOf(chart.Pixels()), ImageOf(fresh.Pixels()));
  }
};

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  InstallFontSubstitutes();
  int status = 0;
  SurfaceTest surface;
  status |= QTest::qExec(&surface, argc, argv);
  MapPictureTest map;
  status |= QTest::qExec(&map, argc, argv);
  ChartPictureTest chart;
  status |= QTest::qExec(&chart, argc, argv);
  return status == 0 ? 0 : 1;
}

#include "ui_drawing_test.moc"
