// The windows of both programs, on the offscreen platform: controls, focus
// order, keys, the run's effects on the window, the log and the help text.

#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/opinion_colours.h"
#include "ui/surface.h"
#include "ui/window_layout.h"

using namespace impactsim;
using namespace impactsim::ui;

namespace {

struct Font {
  QString face;
  int pixels;
  bool bold;
  bool underline;
};
const Font A{kPGothic, 12, false, false}, B{kGothic, 13, true, false}, C{kPGothic, 13, true, false},
    D{kPGothic, 13, true, true}, E{kPGothic, 12, true, true}, F{kGothic, 13, true, false},
    G{kPGothic, 13, false, false}, H{kPGothic, 12, false, false}, I{kPGothic, 16, true, false},
    J{kArialBlack, 19, false, false}, K{kArialBlack, 13, false, false};

struct Control {
  const char* name;
  const char* kind;
  QRect place;
  QString caption;
  QStringList items;
  int initial;  // selected item, ticked box, default button; -1: nothing to check
  Font font;
};

// Every control of a program's window, as it must be. The two programs'
// differences are written out here, independently of the window's own data.
std::vector<Control> Controls(bool kestane) {
  const auto k = [kestane](int halvorn, int other) { return kestane ? other : halvorn; };
  std::vector<Control> c = {
      {"StaticText1", "label", {61, 2, 265, 31}, "Social Impact Simulation", {}, -1, J},
      {"StaticText2",
       "label",
       {350, 8, k(301, 213), 22},
       kestane ? "Model 2. (Lumere et al., 1994)" : "Model No.1-1(Vossa et al, 1990: Original)",
       {},
       -1,
       K},
      {"Label2", "label", {480, 40, 48, 16}, "Round", {}, -1, I},
      {"Label3", "label", {464, 62, 67, 16}, "Iteration", {}, -1, I},
      {"Edit1", "edit", {536, 40, 40, 21}, "", {}, -1, G},
      {"Edit2", "edit", {536, 62, 40, 21}, "", {}, -1, G},
      {"MapBox", "paint", {48, 112, 320, 320}, "", {}, -1, A},
      {"ProcessBox", "paint", {432, 88, 220, 350}, "", {}, -1, A},
      {"Memo1", "memo", {24, 448, k(233, 297), 145}, "", {}, -1, A},
      {"Panel1", "panel", {k(264, 336), 448, k(417, 353), 129}, "", {}, -1, A},
      {"RadioGroup2",
       "radio",
       {k(144, 344), k(64, 56), 17, 9},
       "Pmutation",
       {"0.1", "0.2", "0.5"},
       1,
       B},
      {"CheckBox4", "check", {k(232, 248), k(56, 8), 97, 17}, "Summation M.", {}, 0, E},
      {"RadioGroup1",
       "radio",
       {k(272, 352), 456, 113, 50},
       "Rounds",
       {"50", "100", "150", "500"},
       k(3, 0),
       B},
      {"RadioGroup4",
       "radio",
       {k(392, 472), 456, 97, 49},
       "Initial Dist",
       {"0.4", "0.3", "0.2", "0.1"},
       1,
       C},
      {"RadioGroup5",
       "radio",
       {k(392, 472), 512, 97, 49},
       "Distance Par",
       {"nb", " 0", " 1", " 2", " 3", " 4"},
       3,
       C},
      {"RadioGroup3",
       "radio",
       {k(368, 576), 528, 17, 9},
       "N. Opinions",
       {" 2", " 3", " 4", " 5"},
       0,
       C},
      {"CheckBox5", "check", {k(496, 584), k(520, 472), 97, 17}, "Random Seq.", {}, k(0, 1), E},
      {"BitBtn1", "button", {600, k(464, 496), 75, 25}, "Start", {}, 0, F},
      {"BitBtn2", "button", {600, k(496, 536), 75, 24}, "End", {}, 1, F},
  };
  for (int f = 0; f < 5; ++f) {
    const int left = 24 + 72 * f;
    c.push_back({nullptr, "edit", {left, 48, 60, 20}, "", {}, -1, H});
    c.push_back({nullptr, "edit", {left, 80, 60, 20}, "", {}, -1, H});
  }
  if (!kestane) {
    c.push_back({"CheckBox1", "check", {496, 456, 97, 17}, "Edge", {}, 1, D});
    c.push_back({"CheckBox2", "check", {496, 472, 97, 17}, "Wide Scope", {}, 0, D});
    c.push_back({"CheckBox3", "check", {496, 488, 97, 17}, "Remove Self", {}, 0, E});
  }
  return c;
}

const WindowLayout& LayoutOf(bool kestane) {
  return kestane ? KestaneWindow() : HalvornWindow();
}

// The log's lines; each ends with a line break, the last one included.
QStringList LogLines(const TForm1& w) {
  const QString text = w.Memo1->toPlainText();
  if (text.isEmpty()) return {};
  if (!text.endsWith(QLatin1Char('\n'))) {
    qWarning("the log's last line has no line break");
    return {};
  }
  return text.chopped(1).split(QLatin1Char('\n'));
}

// Each program's window shows the opinion colours of its population.
void ExpectMapShows(const TForm1& w) {
  const Grid& grid = w.Engine().Model().PopulationGrid;
  const int s = w.Layout().CellSize;
  const QImage& map = ImageOf(w.Map().Pixels());
  for (int x = 1; x <= grid.Side(); ++x) {
    for (int y = 1; y <= grid.Side(); ++y) {
      QCOMPARE(map.pixelColor((x - 1) * s + s / 2, (y - 1) * s + s / 2),
               OpinionColour(grid.At(x, y).Opinion));
    }
  }
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  void controls_data() {
    QTest::addColumn<bool>("kestane");
    QTest::addColumn<int>("row");
    for (bool kestane : {false, true}) {
      const std::vector<Control> rows = Controls(kestane);
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const QString name = rows[i].name ? QString::fromLatin1(rows[i].name)
                                          : QStringLiteral("census field %1").arg(i);
        QTest::newRow(qPrintable((kestane ? "kestane " : "halvorn ") + name))
            << kestane << static_cast<int>(i);
      }
    }
  }

  void controls() {
    QFETCH(bool, kestane);
    QFETCH(int, row);
    const Control c = Controls(kestane)[static_cast<std::size_t>(row)];
    FixedClock clock(1000);
    TForm1 w(LayoutOf(kestane), clock);
    QWidget* widget = nullptr;
    if (c.name != nullptr) {
      widget = w.findChild<QWidget*>(QString::fromLatin1(c.name));
    } else {
      for (int e = 3; e <= 12; ++e) {
        if (w.Edit[static_cast<std::size_t>(e)]->geometry() == c.place)
          widget = w.Edit[std::size_t(e)];
      }
    }
    QVERIFY2(widget != nullptr, c.name);
    QCOMPARE(widget->geometry(), c.place);
    QCOMPARE(widget->font().family(), c.font.face);
    QCOMPARE(widget->font().pixelSize(), c.font.pixels);
    // Arial Black is a heavy face: its substitute is given the black weight.
    QCOMPARE(widget->font().weight(), c.font.face == kArialBlack ? QFont::Black
                                      : c.font.bold              ? QFont::Bold
                                                                 : QFont::Normal);
    QCOMPARE(widget->font().underline(), c.font.underline);
    const QString kind = QString::fromLatin1(c.kind);
    if (kind == "label") {
      QCOMPARE(qobject_cast<QLabel*>(widget)->text(), c.caption);
    } else if (kind == "edit") {
      QVERIFY(qobject_cast<QLineEdit*>(widget) != nullptr);
    } else if (kind == "memo") {
      auto* memo = qobject_cast<QPlainTextEdit*>(widget);
      QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
      QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
      QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
      QVERIFY(memo->toPlainText().isEmpty());
    } else if (kind == "panel") {
      QCOMPARE(qobject_cast<QFrame*>(widget)->frameShadow(), QFrame::Raised);
    } else if (kind == "radio") {
      auto* group = qobject_cast<RadioGroup*>(widget);
      QCOMPARE(group->title(), c.caption);
      QCOMPARE(group->Items(), c.items);
      QCOMPARE(group->ItemIndex(), c.initial);
      QCOMPARE(group->Columns(), c.items.size() == 3 ? 1 : 2);
      if (group->width() > 17) {
        // Two columns filled column-first: the second half of the items
        // stands to the right of the first half.
        const int half = group->Count() / 2;
        QCOMPARE(group->Item(0)->x(), group->Item(half - 1)->x());
        QVERIFY(group->Item(half)->x() > group->Item(0)->x());
        QCOMPARE(group->Item(half)->y(), group->Item(0)->y());
      }
    } else if (kind == "check") {
      auto* box = qobject_cast<QCheckBox*>(widget);
      QCOMPARE(box->text(), c.caption);
      QCOMPARE(box->isChecked(), c.initial == 1);
    } else if (kind == "button") {
      auto* button = qobject_cast<QPushButton*>(widget);
      QCOMPARE(button->text(), c.caption);
      QCOMPARE(button->isDefault(), c.initial == 1);
      QCOMPARE(button->iconSize(), QSize(18, 18));
      QVERIFY(!button->icon().isNull());
    }
    // Census fields take the opinion colours.
    for (int f = 0; f < 5; ++f) {
      QCOMPARE(w.Edit[std::size_t(f + 3)]->palette().color(QPalette::Text), OpinionColour(f + 1));
      QCOMPARE(w.Edit[std::size_t(f + 8)]->palette().color(QPalette::Text), OpinionColour(f + 1));
    }
  }

  void window_caption_menu_and_absent_boxes() {
    for (bool kestane : {false, true}) {
      FixedClock clock(1000);
      TForm1 w(LayoutOf(kestane), clock);
      QCOMPARE(w.windowTitle(), QStringLiteral("Artificial society"));
      QCOMPARE(w.menuBar()->actions().size(), 1);
      QCOMPARE(w.menuBar()->actions()[0]->text(), QStringLiteral("help"));
      QVERIFY(w.menuBar()->actions()[0]->menu() == nullptr);
      QCOMPARE(w.findChildren<QCheckBox*>().size(), kestane ? 2 : 5);
      QCOMPARE(w.size(), LayoutOf(kestane).OuterSize);
      // Resizing moves no control.
      const QRect before = w.BitBtn2->geometry();
      w.resize(900, 800);
      QCOMPARE(w.BitBtn2->geometry(), before);
    }
  }

  void focus_order_data() {
    QTest::addColumn<bool>("kestane");
    QTest::addColumn<QStringList>("order");
    QStringList halvorn = {"BitBtn1",     "BitBtn2",     "RadioGroup2", "CheckBox4",   "Edit1",
                           "Edit2",       "Memo1",       "RadioGroup1", "RadioGroup3", "CheckBox1",
                           "RadioGroup4", "RadioGroup5", "CheckBox2"};
    for (int e = 3; e <= 12; ++e) halvorn << QStringLiteral("Edit%1").arg(e);
    halvorn << "CheckBox3"
            << "CheckBox5"
            << "BitBtn1";
    QStringList kestane = halvorn;
    kestane.removeAll("CheckBox1");
    kestane.removeAll("CheckBox2");
    kestane.removeAll("CheckBox3");
    QTest::newRow("halvorn") << false << halvorn;
    QTest::newRow("kestane") << true << kestane;
  }

  void focus_order() {
    QFETCH(bool, kestane);
    QFETCH(QStringList, order);
    FixedClock clock(1000);
    TForm1 w(LayoutOf(kestane), clock);
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QStringList seen;
    for (int i = 0; i < order.size(); ++i) {
      QWidget* f = QApplication::focusWidget();
      QVERIFY(f != nullptr);
      // A radio item stands for its group.
      if (auto* group = qobject_cast<RadioGroup*>(f->parentWidget())) f = group;
      seen << f->objectName();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(seen, order);
  }

  void enter_in_a_field_closes_and_end_closes() {
    for (const char* where : {"Edit3", "CheckBox4", "RadioGroup4", "End"}) {
      FixedClock clock(1000);
      TForm1 w(HalvornWindow(), clock);
      w.show();
      QApplication::setActiveWindow(&w);
      QVERIFY(QTest::qWaitForWindowActive(&w));
      if (QString::fromLatin1(where) == "End") {
        QTest::mouseClick(w.BitBtn2, Qt::LeftButton);
      } else {
        QWidget* target = w.findChild<QWidget*>(QString::fromLatin1(where));
        if (auto* group = qobject_cast<RadioGroup*>(target))
          target = group->Item(group->ItemIndex());
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
      }
      QVERIFY2(!w.isVisible(), where);
    }
    // The log takes Enter as a new line.
    FixedClock clock(1000);
    TForm1 w(HalvornWindow(), clock);
    w.show();
    w.Memo1->setFocus();
    QTest::keyClick(w.Memo1, Qt::Key_Return);
    QVERIFY(w.isVisible());
  }

  void opening_builds_and_draws_one_population() {
    for (bool kestane : {false, true}) {
      FixedClock clock(55'555);
      TForm1 w(LayoutOf(kestane), clock);
      ExpectMapShows(w);
      Census census{};
      TakeCensus(w.Engine().Model(), census);
      QCOMPARE(w.Edit[3]->text(), QString::number(census[1]));
      QCOMPARE(w.Edit[4]->text(), QString::number(census[2]));
      for (int e = 5; e <= 12; ++e) QVERIFY(w.Edit[std::size_t(e)]->text().isEmpty());
      QVERIFY(w.Edit[1]->text().isEmpty());
      // The chart starts as an empty frame: white plot area.
      QCOMPARE(ImageOf(w.Chart().Pixels()).pixelColor(100, 200), QColor(Qt::white));
    }
  }

  void run_log_matches_the_headless_runner_data() {
    QTest::addColumn<bool>("kestane");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("rounds");  // item of "Rounds"
    QTest::addColumn<bool>("sequential");
    QTest::newRow("halvorn defaults") << false << QStringList{} << 3 << false;
    QTest::newRow("halvorn sequential 50")
        << false << QStringList{"--rounds", "50", "--sequential"} << 0 << true;
    QTest::newRow("kestane defaults") << true << QStringList{"--program", "kestane"} << 0 << true;
    QTest::newRow("kestane simultaneous")
        << true << QStringList{"--program", "kestane", "--simultaneous"} << 0 << false;
  }

  void run_log_matches_the_headless_runner() {
    QFETCH(bool, kestane);
    QFETCH(QStringList, options);
    QFETCH(int, rounds);
    QFETCH(bool, sequential);
    const std::uint32_t seed = 12'345'000;
    FixedClock clock(seed);
    TForm1 w(LayoutOf(kestane), clock);
    w.show();
    w.help1Click();  // the log keeps what was there before the run
    w.RadioGroup1->SetItemIndex(rounds);
    w.CheckBox5->setChecked(sequential);
    QTest::mouseClick(w.BitBtn1, Qt::LeftButton);

    QProcess runner;
    runner.start(QStringLiteral(IMPACTSIM_BINARY),
                 QStringList{"run", "--seed", QString::number(seed)} + options);
    QVERIFY(runner.waitForFinished(60'000));
    QCOMPARE(runner.exitCode(), 0);
    // The log after the help text is the runner's output, byte for byte.
    const QString output = QString::fromUtf8(runner.readAllStandardOutput());
    QCOMPARE(w.Memo1->toPlainText(),
             LayoutOf(kestane).HelpLines.join(QLatin1Char('\n')) + QLatin1Char('\n') + output);
    QStringList expected = LayoutOf(kestane).HelpLines;
    expected += output.split(QLatin1Char('\n'));
    expected.removeLast();  // after the last line break
    QCOMPARE(LogLines(w), expected);

    // Counters and census fields after the run.
    const QString lastRound = expected.at(expected.size() - 2).section(QLatin1Char(' '), 0, 0);
    QCOMPARE(w.Edit[1]->text(), lastRound);
    QCOMPARE(w.Edit[2]->text(), QString::number(LayoutOf(kestane).Program->CellTotal));
    const Census& census = w.Engine().Model().OpinionCensus;
    QCOMPARE(w.Edit[8]->text(), QString::number(census[1]));
    QCOMPARE(w.Edit[9]->text(), QString::number(census[2]));
    ExpectMapShows(w);
    // The chart has grown a column per round.
    const int columns = std::min(lastRound.toInt(), picture::kChartColumns);
    const QImage& chart = ImageOf(w.Chart().Pixels());
    for (int c = 1; c <= columns; ++c) {
      QVERIFY(chart.pixelColor(4 * c + 8, 329) == OpinionColour(1) ||
              chart.pixelColor(4 * c + 8, 329 - 200 / 2) == OpinionColour(2));
    }
  }

  void headless_pictures_are_the_windows() {
    // impactsim draws the map and the chart with the window's own code.
    for (bool kestane : {false, true}) {
      const std::uint32_t seed = 43'210'000;
      FixedClock clock(seed);
      TForm1 w(LayoutOf(kestane), clock);
      w.show();
      QTest::mouseClick(w.BitBtn1, Qt::LeftButton);

      QTemporaryDir dir;
      const QString map = dir.filePath(QStringLiteral("map.png"));
      const QString chart = dir.filePath(QStringLiteral("chart.png"));
      QProcess runner;
      runner.start(
          QStringLiteral(IMPACTSIM_BINARY),
          QStringList{"run", "--seed", QString::number(seed), "--program",
                      kestane ? "kestane" : "halvorn", "--map-png", map, "--chart-png", chart});
      QVERIFY(runner.waitForFinished(60'000));
      QCOMPARE(runner.exitCode(), 0);
      const auto rgb = [](const QImage& image) {
        return image.convertToFormat(QImage::Format_RGB32);
      };
      QCOMPARE(rgb(QImage(map)), rgb(ImageOf(w.Map().Pixels())));
      QCOMPARE(rgb(QImage(chart)), rgb(ImageOf(w.Chart().Pixels())));
    }
  }

  void headless_pictures_of_more_opinions() {
    // Four opinions: every cell of the map in its opinion's colour, and a
    // band of the chart in each opinion's colour.
    QTemporaryDir dir;
    const QString map = dir.filePath(QStringLiteral("map.png"));
    const QString chart = dir.filePath(QStringLiteral("chart.png"));
    const QString grid = dir.filePath(QStringLiteral("grid.txt"));
    QProcess runner;
    runner.start(
        QStringLiteral(IMPACTSIM_BINARY),
        QStringList{"run", "--seed", "4321", "--program", "kestane", "--rounds", "1", "--opinions",
                    "4", "--map-png", map, "--chart-png", chart, "--grid-out", grid});
    QVERIFY(runner.waitForFinished(60'000));
    QCOMPARE(runner.exitCode(), 0);
    QFile file(grid);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    const QImage image(map);
    const int s = KestaneWindow().CellSize;
    int seen[5] = {};
    for (int y = 1; y <= 20; ++y) {
      for (int x = 1; x <= 20; ++x) {
        const int opinion = rows.at(y - 1).at(x - 1) - '0';
        QVERIFY(opinion >= 1 && opinion <= 4);
        ++seen[opinion];
        QCOMPARE(image.pixelColor((x - 1) * s + s / 2, (y - 1) * s + s / 2),
                 OpinionColour(opinion));
      }
    }
    const QImage bands = QImage(chart).convertToFormat(QImage::Format_RGB32);
    for (int opinion = 1; opinion <= 4; ++opinion) {
      QVERIFY(seen[opinion] > 10);
      int pixels = 0;
      for (int y = 0; y < bands.height(); ++y) {
        pixels += bands.pixelColor(12, y) == OpinionColour(opinion) ? 1 : 0;
      }
      QVERIFY2(pixels > 0, qPrintable(QString::number(opinion)));
    }
  }

  void repaints_keep_a_finished_run() {
    FixedClock clock(777);
    TForm1 w(KestaneWindow(), clock);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.BitBtn1, Qt::LeftButton);
    const Grid after = w.Engine().Model().PopulationGrid;
    const QImage map = ImageOf(w.Map().Pixels());
    const QImage chart = ImageOf(w.Chart().Pixels());
    const QString initial = w.Edit[3]->text();
    w.hide();
    w.showMinimized();
    w.showNormal();
    w.repaint();
    QApplication::processEvents();
    QVERIFY(w.Engine().Model().PopulationGrid == after);
    QCOMPARE(ImageOf(w.Map().Pixels()), map);
    QCOMPARE(ImageOf(w.Chart().Pixels()), chart);
    QCOMPARE(w.Edit[3]->text(), initial);
    // What is on screen is the retained picture.
    QCOMPARE(w.MapBox->grab().toImage().convertToFormat(QImage::Format_RGB32),
             map.convertToFormat(QImage::Format_RGB32));
  }

  void help_twice_appends_it_twice() {
    for (bool kestane : {false, true}) {
      FixedClock clock(1000);
      TForm1 w(LayoutOf(kestane), clock);
      w.help1->trigger();
      w.help1->trigger();
      const QStringList lines = LogLines(w);
      QCOMPARE(lines.size(), kestane ? 24 : 30);
      QCOMPARE(lines.first(), kestane ? QStringLiteral("このプログラムは Lumere, Vossa")
                                      : QStringLiteral("このプログラムは Vossa, Kettrin"));
      QCOMPARE(lines.at(5), QStringLiteral("  Rounds: 継続ラウンド数"));
      QCOMPARE(lines.at(kestane ? 10 : 13),
               kestane ? QStringLiteral("  Random Seq:チェックを外すと一斉変更")
                       : QStringLiteral("  Random Seq:セルのターンを randomize"));
      QCOMPARE(lines.last(), QStringLiteral("---  End of Help  ---"));
      QCOMPARE(lines.mid(0, lines.size() / 2), lines.mid(lines.size() / 2));
    }
  }

  // Each face the window names is mapped to the installed face we chose for
  // it, and to nothing else (whether that face is installed is the
  // machine's business, not ours).
  void fonts_substitute_the_faces_we_chose() {
    const std::pair<QString, QString> chosen[] = {
        {kPGothic, QStringLiteral("IPAPGothic")},
        {kGothic, QStringLiteral("IPAGothic")},
        {kTimesNewRoman, QStringLiteral("Liberation Serif")},
        {kArialBlack, QStringLiteral("Liberation Sans")}};
    for (const auto& [face, installed] : chosen) {
      // Family names match without regard to case; Qt keeps them in lower case.
      QCOMPARE(QFont::substitutes(face), QStringList{installed.toLower()});
    }
  }
};

QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
