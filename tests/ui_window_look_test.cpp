// What the windows show beyond their controls' places, on the offscreen
// platform: every caption inside its control, the two tiny radio groups
// invisible, End's default cue, the outer size without a frame, the log's
// line breaks, and window events served during a run.

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/window_layout.h"

using namespace impactsim;
using namespace impactsim::ui;

namespace {

const WindowLayout& LayoutOf(bool kestane) {
  return kestane ? KestaneWindow() : HalvornWindow();
}

// The pixels a caption needs: its advance, or as far as its ink reaches
// where a glyph overhangs the advance. The ink is found by drawing the text,
// since the font's bounding boxes are only bounds.
int TextNeed(const QFont& font, const QString& text) {
  const QFontMetrics metrics(font);
  const int margin = metrics.height();
  QImage image(metrics.horizontalAdvance(text) + 2 * margin, 3 * margin, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(margin, margin + metrics.ascent(), text);
  painter.end();
  int inkEnd = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != qRgb(255, 255, 255)) inkEnd = std::max(inkEnd, x + 1 - margin);
    }
  }
  return std::max(metrics.horizontalAdvance(text), inkEnd);
}

// The pixels the style leaves a control's caption, from where it starts to
// the control's right edge (or, for a centred label or a button, the room
// it is centred in).
int CaptionRoom(QWidget* w) {
  QStyle* style = w->style();
  if (auto* box = qobject_cast<QCheckBox*>(w)) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    return box->width() - style->subElementRect(QStyle::SE_CheckBoxContents, &option, box).left();
  }
  if (auto* item = qobject_cast<QRadioButton*>(w)) {
    QStyleOptionButton option;
    option.initFrom(item);
    option.text = item->text();
    return item->width() -
           style->subElementRect(QStyle::SE_RadioButtonContents, &option, item).left();
  }
  if (auto* button = qobject_cast<QPushButton*>(w)) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    // The image stands left of the caption, 4 pixels apart, both centred.
    return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width() -
           button->iconSize().width() - 4;
  }
  if (auto* group = qobject_cast<QGroupBox*>(w)) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    option.textAlignment = group->alignment();
    const QRect label =
        style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    return group->width() - label.left();
  }
  if (auto* label = qobject_cast<QLabel*>(w)) return label->contentsRect().width();
  return -1;
}

QString CaptionOf(QWidget* w) {
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  return {};
}

QImage Shot(QWidget* w) {
  return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Shows the window and makes it the active one, so that focus moves as
// keys move it.
bool Activate(TForm1& w) {
  w.show();
  QApplication::setActiveWindow(&w);
  return QTest::qWaitForWindowActive(&w);
}

}  // namespace

class WindowLookTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InstallFontSubstitutes(); }

  // Every caption, label and item shows in full: its text is no wider than
  // the room its control leaves it, measured in the font it is drawn with.
  void captions_fit_their_room_data() {
    QTest::addColumn<bool>("kestane");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("item");  // radio item, or -1 for the control's own caption
    const char* captioned[] = {"StaticText1", "StaticText2", "Label2",    "Label3",
                               "CheckBox1",   "CheckBox2",   "CheckBox3", "CheckBox4",
                               "CheckBox5",   "BitBtn1",     "BitBtn2"};
    for (bool kestane : {false, true}) {
      const char* program = kestane ? "kestane" : "halvorn";
      for (const char* name : captioned) {
        if (kestane && (QByteArray(name) == "CheckBox1" || QByteArray(name) == "CheckBox2" ||
                        QByteArray(name) == "CheckBox3"))
          continue;
        QTest::addRow("%s %s", program, name) << kestane << QString::fromLatin1(name) << -1;
      }
      // The groups large enough to show anything: caption and each item.
      const std::pair<const char*, int> groups[] = {
          {"RadioGroup1", 4}, {"RadioGroup4", 4}, {"RadioGroup5", 6}};
      for (const auto& [name, items] : groups) {
        for (int item = -1; item < items; ++item)
          QTest::addRow("%s %s %d", program, name, item)
              << kestane << QString::fromLatin1(name) << item;
      }
    }
  }

  void captions_fit_their_room() {
    QFETCH(bool, kestane);
    QFETCH(QString, control);
    QFETCH(int, item);
    FixedClock clock(1000);
    TForm1 w(LayoutOf(kestane), clock);
    w.show();
    QWidget* widget = w.findChild<QWidget*>(control);
    QVERIFY(widget != nullptr);
    if (item >= 0) widget = qobject_cast<RadioGroup*>(widget)->Item(item);
    const QString caption = CaptionOf(widget);
    QVERIFY(!caption.isEmpty());
    const int need = TextNeed(widget->font(), caption);
    const int room = CaptionRoom(widget);
    QVERIFY2(
        need <= room,
        qPrintable(
            QStringLiteral("\"%1\" needs %2 pixels, has %3").arg(caption).arg(need).arg(room)));
  }

  // Only where IPA P Gothic stands in is it condensed; the other faces keep
  // their width.
  void only_the_substituted_face_is_condensed() {
    const bool substituted = QFontInfo(QFont(kPGothic)).family() == QStringLiteral("IPAPGothic");
    QCOMPARE(MakeFont(kPGothic, 12, true, true).stretch(), substituted ? 95 : 0);
    QCOMPARE(MakeFont(kGothic, 13, true).stretch(), 0);
    QCOMPARE(MakeFont(kArialBlack, 19).stretch(), 0);
    QCOMPARE(MakeFont(kTimesNewRoman, 15, true).stretch(), 0);
  }

  // "Pmutation" and "N. Opinions" are too small to show anything: the
  // window looks exactly as it would without them, focused or not, yet
  // their selected items still take the focus.
  void tiny_groups_draw_nothing_data() {
    QTest::addColumn<bool>("kestane");
    QTest::newRow("halvorn") << false;
    QTest::newRow("kestane") << true;
  }

  void tiny_groups_draw_nothing() {
    QFETCH(bool, kestane);
    FixedClock clock(1000);
    TForm1 w(LayoutOf(kestane), clock);
    QVERIFY(Activate(w));
    QWidget* client = w.centralWidget();
    const QImage with = Shot(client);
    QImage focused[2];
    RadioGroup* tiny[] = {w.RadioGroup2, w.RadioGroup3};
    for (int g = 0; g < 2; ++g) {
      QRadioButton* selected = tiny[g]->Item(tiny[g]->ItemIndex());
      selected->setFocus(Qt::TabFocusReason);
      QCOMPARE(QApplication::focusWidget(), selected);
      focused[g] = Shot(client);
    }
    w.BitBtn1->setFocus(Qt::TabFocusReason);
    for (RadioGroup* g : tiny) g->hide();
    const QImage without = Shot(client);
    QCOMPARE(with, without);
    // With the focus on a tiny group, the neighbourhood of both groups is
    // still as without them (away from the buttons, whose cues follow the
    // focus).
    for (int g = 0; g < 2; ++g) {
      for (RadioGroup* group : tiny) {
        const QRect around =
            QRect(group->mapTo(client, QPoint(0, 0)), group->size()).adjusted(-4, -4, 4, 4);
        QCOMPARE(focused[g].copy(around), without.copy(around));
      }
    }
  }

  // Enter presses End from every control but Start and the log; End shows
  // the default cue exactly then, and Start while it has the focus.
  void end_shows_its_cue_while_enter_would_press_it_data() {
    QTest::addColumn<bool>("kestane");
    QTest::newRow("halvorn") << false;
    QTest::newRow("kestane") << true;
  }

  void end_shows_its_cue_while_enter_would_press_it() {
    QFETCH(bool, kestane);
    FixedClock clock(1000);
    TForm1 w(LayoutOf(kestane), clock);
    QVERIFY(Activate(w));
    const int stops = static_cast<int>(w.FocusOrder().size());
    QImage endWithCue;
    QImage endWithout;
    for (int i = 0; i <= stops; ++i) {  // round the order and back to Start
      QWidget* focus = QApplication::focusWidget();
      QVERIFY(focus != nullptr);
      const bool onStart = focus == w.BitBtn1;
      const bool enterPressesEnd = !onStart && focus != w.Memo1;
      QVERIFY2(w.BitBtn2->isDefault() == enterPressesEnd, qPrintable(focus->objectName()));
      QCOMPARE(w.BitBtn1->isDefault(), onStart);
      (enterPressesEnd ? endWithCue : endWithout) = Shot(w.BitBtn2);
      QTest::keyClick(focus, Qt::Key_Tab);
    }
    // The cue is something to see.
    QVERIFY(!endWithCue.isNull() && !endWithout.isNull());
    QVERIFY(endWithCue != endWithout);
  }

  // The outer size is the frame's once the window is shown: the offscreen
  // platform gives windows a frame of 2 pixels all round, as a window
  // manager would, so the window itself is 4 pixels smaller each way. Until
  // then, with no frame known, the window has the outer size itself.
  void outer_size_is_the_frames() {
    for (bool kestane : {false, true}) {
      FixedClock clock(1000);
      TForm1 w(LayoutOf(kestane), clock);
      const QSize outer = LayoutOf(kestane).OuterSize;
      QCOMPARE(w.size(), outer);
      w.show();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      QCOMPARE(w.frameGeometry().size(), outer);
      QCOMPARE(w.frameGeometry().topLeft(), LayoutOf(kestane).Position);
      QCOMPARE(w.size(), outer - QSize(4, 4));
      // Fitted once: the user may resize it afterwards.
      w.resize(800, 700);
      QTRY_COMPARE(w.size(), QSize(800, 700));
    }
  }

  // Each appended line ends with a line break: the caret waits on a new
  // empty line, a copy of the log ends with a break, and text the user typed
  // at the end keeps a line of its own.
  void log_lines_end_with_a_line_break() {
    FixedClock clock(1000);
    TForm1 w(KestaneWindow(), clock);
    QVERIFY(Activate(w));
    const QStringList help = KestaneWindow().HelpLines;
    w.help1Click();
    const QString once = help.join(QLatin1Char('\n')) + QLatin1Char('\n');
    QCOMPARE(w.Memo1->toPlainText(), once);
    QTextCursor caret = w.Memo1->textCursor();
    QVERIFY(caret.atEnd());
    QVERIFY(caret.block().text().isEmpty());
    QCOMPARE(caret.blockNumber(), help.size());

    w.Memo1->setFocus();
    QTest::keyClicks(w.Memo1, QStringLiteral("note"));
    w.help1Click();
    QCOMPARE(w.Memo1->toPlainText(), once + QStringLiteral("note\n") + once);

    w.Memo1->selectAll();
    w.Memo1->copy();
    QCOMPARE(QApplication::clipboard()->text(), w.Memo1->toPlainText());
    QVERIFY(QApplication::clipboard()->text().endsWith(QLatin1Char('\n')));
  }

  // During a run the window serves what the window system and Qt itself
  // post (paint and expose requests, timers) at every frame, not only after
  // the run: a timer due at once fires while the run is still on.
  void window_events_are_served_during_a_run() {
    FixedClock clock(12'345'000);
    TForm1 w(HalvornWindow(), clock);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.RadioGroup1->SetItemIndex(1);  // 100 rounds
    bool served = false;
    QString roundWhenServed;
    QTimer::singleShot(0, &w, [&] {
      served = true;
      roundWhenServed = w.Edit[1]->text();
    });
    w.BitBtn1Click();  // nothing else serves events until it returns
    QVERIFY(served);
    const QString lastRound = w.Edit[1]->text();
    QVERIFY(lastRound.toInt() > 1);
    QVERIFY2(roundWhenServed.toInt() < lastRound.toInt(), qPrintable(roundWhenServed));
  }
};

QTEST_MAIN(WindowLookTest)
#include "ui_window_look_test.moc"
