#include "ui/main_window.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace impactsim::ui {

namespace {

// Synchronous repaints within a round, at most this often.
constexpr qint64 kFrameMilliseconds = 16;

int ItemOf(const std::array<std::int32_t, 4>& items, std::int32_t value) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == value) return static_cast<int>(i);
  }
  return 0;
}

}  // namespace

PictureBox::PictureBox(const picture::Raster& picture, QWidget* parent)
    : QWidget(parent), picture_(&picture) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect(), ViewOf(*picture_), event->rect());
}

TForm1::TForm1(const WindowLayout& layout, Clock& clock, QWidget* parent)
    : QMainWindow(parent),
      layout_(&layout),
      pictures_(layout),
      sim_(std::make_unique<Simulation>(*layout.Program, clock,
                                        static_cast<const SettingsSource&>(*this),
                                        static_cast<RunObserver&>(*this))) {
  CreateControls();
  FormCreate();
}

TForm1::~TForm1() {
  // Closing the window on its way out moves the focus, and the controls the
  // cue reads are about to go.
  disconnect(focusWatch_);
}

// The order of creation decides how the controls stack and their default
// focus chain, so it stays fixed; ChainFocus() then sets the Tab order.
void TForm1::CreateControls() {
  QWidget* client = CreateClientArea();
  CreateTitleAndCounters(client);
  CreateMapChartAndLog(client);
  CreateSettingsPanel(client);
  CreateRadioGroups(client);
  CreateCheckBoxes(client);
  CreateButtons(client);
  NameControls();
  SelectDefaults();
  ChainFocus();
  RouteEnterToEnd();
}

// Every control carries its name, for the focus order and for tests.
void TForm1::NameControls() {
  const std::pair<QWidget*, const char*> names[] = {{StaticText1, "StaticText1"},
                                                    {StaticText2, "StaticText2"},
                                                    {Label2, "Label2"},
                                                    {Label3, "Label3"},
                                                    {MapBox, "MapBox"},
                                                    {ProcessBox, "ProcessBox"},
                                                    {Memo1, "Memo1"},
                                                    {Panel1, "Panel1"},
                                                    {RadioGroup1, "RadioGroup1"},
                                                    {RadioGroup2, "RadioGroup2"},
                                                    {RadioGroup3, "RadioGroup3"},
                                                    {RadioGroup4, "RadioGroup4"},
                                                    {RadioGroup5, "RadioGroup5"},
                                                    {CheckBox1, "CheckBox1"},
                                                    {CheckBox2, "CheckBox2"},
                                                    {CheckBox3, "CheckBox3"},
                                                    {CheckBox4, "CheckBox4"},
                                                    {CheckBox5, "CheckBox5"},
                                                    {BitBtn1, "BitBtn1"},
                                                    {BitBtn2, "BitBtn2"}};
  for (const auto& [widget, name] : names) {
    if (widget != nullptr) widget->setObjectName(QString::fromLatin1(name));
  }
  for (std::size_t k = 1; k <= 12; ++k) Edit[k]->setObjectName(QStringLiteral("Edit%1").arg(k));
  help1->setObjectName(QStringLiteral("help1"));
}

// The selections the window opens with: the program's defaults.
void TForm1::SelectDefaults() {
  const RunSettings& d = layout_->Program->Defaults;
  RadioGroup1->SetItemIndex(ItemOf(kRoundsItems, d.Rounds));
  RadioGroup4->SetItemIndex(InitialDistItem(d.InitialShare));
  RadioGroup5->SetItemIndex(static_cast<int>(*d.Distance.MenuItem()));
  if (CheckBox1 != nullptr) CheckBox1->setChecked(d.Edge);
  if (CheckBox2 != nullptr) CheckBox2->setChecked(d.WideScope);
  if (CheckBox3 != nullptr) CheckBox3->setChecked(d.RemoveSelf);
  CheckBox4->setChecked(d.SummationM);
  CheckBox5->setChecked(d.RandomSeq);
}

// Tab visits the controls in FocusOrder(). A radio group stands in the order
// with all its items, of which only the selected one takes the focus. Labels,
// the panel and the pictures take no focus; Start has it when the window opens.
void TForm1::ChainFocus() {
  std::vector<QWidget*> chain;
  for (QWidget* w : FocusOrder()) {
    if (auto* g = qobject_cast<RadioGroup*>(w)) {
      for (int i = 0; i < g->Count(); ++i) chain.push_back(g->Item(i));
    } else {
      chain.push_back(w);
    }
  }
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);
  for (QWidget* w :
       {static_cast<QWidget*>(StaticText1), static_cast<QWidget*>(StaticText2),
        static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label3), static_cast<QWidget*>(Panel1),
        static_cast<QWidget*>(MapBox), static_cast<QWidget*>(ProcessBox)}) {
    w->setFocusPolicy(Qt::NoFocus);
  }
  BitBtn1->setFocus(Qt::OtherFocusReason);
}

// Enter in a field, group or box activates End (see eventFilter); the buttons
// and the log take Enter for themselves. End's cue follows the focus.
void TForm1::RouteEnterToEnd() {
  focusWatch_ = connect(qApp, &QApplication::focusChanged, this,
                        [this](QWidget*, QWidget* now) { ShowDefaultCue(now); });
  for (QWidget* w : FocusOrder()) {
    if (auto* g = qobject_cast<RadioGroup*>(w)) {
      for (int i = 0; i < g->Count(); ++i) g->Item(i)->installEventFilter(this);
    } else if (w != Memo1 && qobject_cast<QPushButton*>(w) == nullptr) {
      w->installEventFilter(this);
    }
  }
}

std::vector<QWidget*> TForm1::FocusOrder() const {
  std::vector<QWidget*> order = {BitBtn1,     BitBtn2,     RadioGroup2, CheckBox4,   Edit[1],
                                 Edit[2],     Memo1,       RadioGroup1, RadioGroup3, CheckBox1,
                                 RadioGroup4, RadioGroup5, CheckBox2};
  for (std::size_t k = 3; k <= 12; ++k) order.push_back(Edit[k]);
  order.push_back(CheckBox3);
  order.push_back(CheckBox5);
  std::erase(order, nullptr);
  return order;
}

void TForm1::ShowDefaultCue(QWidget* focus) {
  if (focus == nullptr || focus->window() != this) return;
  // A focused push button also marks itself while it has the focus, and
  // unmarks itself when it loses it; End is marked again here after that.
  BitBtn2->setDefault(focus != BitBtn1 && focus != Memo1);
}

bool TForm1::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
      FitFrame();
      break;
    default:
      break;
  }
  return handled;
}

void TForm1::FitFrame() {
  // The frame's margins are known only once a window manager has taken the
  // window on; without one they stay zero and the window keeps its size.
  if (frameFitted_ || !isVisible()) return;
  const QSize margins = frameGeometry().size() - geometry().size();
  if (margins.width() <= 0 && margins.height() <= 0) return;
  frameFitted_ = true;
  resize(layout_->OuterSize - margins);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      BitBtn2->click();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

RunSettings TForm1::CurrentSettings() const {
  RunSettings s;
  s.Rounds = kRoundsItems[static_cast<std::size_t>(RadioGroup1->ItemIndex())];
  s.InitialShare = kInitialDistItems[static_cast<std::size_t>(RadioGroup4->ItemIndex())];
  s.Distance = static_cast<DistancePar>(RadioGroup5->ItemIndex());
  s.Edge = CheckBox1 != nullptr && CheckBox1->isChecked();
  s.WideScope = CheckBox2 != nullptr && CheckBox2->isChecked();
  s.RemoveSelf = CheckBox3 != nullptr && CheckBox3->isChecked();
  s.SummationM = CheckBox4->isChecked();
  s.RandomSeq = CheckBox5->isChecked();
  return s;
}

// ---- Operations of the window

void TForm1::DefaultValues() {
  sim_->DefaultValues();
}

void TForm1::FormCreate() {
  PaintB1();
}

void TForm1::PaintB1() {
  // Builds a new population and draws it with an empty chart. Runs when the
  // window is created; later paint requests show the retained pictures, so a
  // finished run's map and chart stay on view.
  MapBox->resize(picture::kMapSize, picture::kMapSize);
  Surface surface(pictures_.Map().Pixels());
  surface.SetBrush(Qt::black);
  surface.Rectangle(0, 0, layout_->OuterSize.width(), layout_->OuterSize.height());
  DefaultValues();
  StrategyMap();
  DrawMap();
  ProcessFrame();
  PresentFrame();
}

void TForm1::StrategyMap() {
  pictures_.SetWindowSize(frameGeometry().size());
  pictures_.StrategyMap();
}

void TForm1::DrawMap() {
  pictures_.DrawMap(sim_->Model().PopulationGrid);
}

void TForm1::DrawMap(const Grid& population) {
  pictures_.DrawMap(population);
}

void TForm1::DrawCell(int x, int y, std::uint8_t opinion) {
  pictures_.DrawCell(x, y, opinion);
}

void TForm1::ProcessFrame() {
  pictures_.SetWindowSize(frameGeometry().size());
  pictures_.ProcessFrame();
}

void TForm1::DrawProcess(std::int32_t round, const Census& current, const Census& previous) {
  pictures_.SetOpinionCount(sim_->Model().OpinionCount);
  pictures_.DrawProcess(round, current, previous);
}

void TForm1::BitBtn1Click() {
  // The whole run happens here, on the window's thread; input that arrives
  // meanwhile is served after it ends.
  if (running_) return;
  running_ = true;
  frameClock_.start();
  sim_->Run();
  PresentFrame();
  running_ = false;
  // Input that came during the run was read from the window system and
  // queued, so the event loop, back in its wait, would sleep on it until
  // some later event woke it: wake it, so the queued clicks and keys are
  // served now.
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    dispatcher->wakeUp();
  }
}

void TForm1::BitBtn2Click() {
  close();
}

void TForm1::help1Click() {
  for (const QString& line : layout_->HelpLines) AppendLine(line);
}

// ---- What the run reports

void TForm1::ShowRound(std::int32_t roundNo) {
  Edit[1]->setText(QString::number(roundNo));
}

void TForm1::ShowIteration(std::int32_t iterationNo) {
  // Recorded at every turn, put on screen with the next frame.
  iteration_ = iterationNo;
  if (frameClock_.isValid() && frameClock_.elapsed() >= kFrameMilliseconds) PresentFrame();
}

void TForm1::ShowInitialCount(int opinion, std::string_view text) {
  Edit[static_cast<std::size_t>(opinion + 2)]->setText(QString::fromLatin1(text));
}

void TForm1::ShowRoundCount(int opinion, std::string_view text) {
  Edit[static_cast<std::size_t>(opinion + 7)]->setText(QString::fromLatin1(text));
}

void TForm1::AppendLog(std::string_view line) {
  AppendLine(QString::fromLatin1(line));
}

// The round's end: everything it drew and wrote, its log line included, goes
// on the screen.
void TForm1::RoundClosed(std::int32_t, std::int32_t, const Census&) {
  PresentFrame();
}

void TForm1::AppendLine(const QString& line) {
  // Every line ends with a line break, so the caret then sits on a new
  // empty line. Text typed at the end of the log without a break of its own
  // is given one first, so the line never joins it.
  QTextCursor end(Memo1->document());
  end.movePosition(QTextCursor::End);
  end.beginEditBlock();
  if (!end.atBlockStart()) end.insertText(QStringLiteral("\n"));
  end.insertText(line + QLatin1Char('\n'));
  end.endEditBlock();
  Memo1->setTextCursor(end);
  // The end in view: scrolled down to the last line, and back to the left
  // edge whenever that line fits, rather than left where a longer line put it.
  QScrollBar* across = Memo1->horizontalScrollBar();
  across->setValue(0);
  Memo1->ensureCursorVisible();
}

void TForm1::PresentFrame() {
  // Brings the screen up to date with what has been drawn and written:
  // synchronous repaints of just the parts that changed.
  if (iteration_ != iterationShown_ && iteration_ > 0) {
    Edit[2]->setText(QString::number(iteration_));
    iterationShown_ = iteration_;
  }
  const QRect mapDirty = Surface(pictures_.Map().Pixels()).TakeDirty();
  const QRect chartDirty = Surface(pictures_.Chart().Pixels()).TakeDirty();
  if (!mapDirty.isEmpty()) MapBox->update(mapDirty);
  if (!chartDirty.isEmpty()) ProcessBox->update(chartDirty);
  // One synchronous repaint paints every region marked since the last frame
  // (map, chart, fields, log) and puts it on the screen.
  if (isVisible()) Edit[2]->repaint();
  // During a run the window system's own requests are served at the frame
  // rate too: a part of the window uncovered meanwhile is painted again.
  // Input (pointer, keys, the close box) stays queued until the run ends.
  if (running_) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  if (frameClock_.isValid()) frameClock_.restart();
}

}  // namespace impactsim::ui
