#include "main_window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>

#include "button_images.h"
#include "fonts.h"
#include "opinion_colours.h"

namespace impactsim::ui {

namespace {

const QColor kNavy(0, 0, 128);
// The platform names no scroll-bar colour; this is the customary one.
const QColor kScrollBarColour(200, 200, 200);
// Synchronous repaints within a round, at most this often.
constexpr qint64 kFrameMilliseconds = 16;

void SetTextColour(QWidget* w, QPalette::ColorRole role, QColor colour) {
  QPalette palette = w->palette();
  palette.setColor(role, colour);
  w->setPalette(palette);
}

// A background of its own; the widget then draws its text in its own
// window-text colour rather than the button-face client area's.
void SetBackground(QWidget* w, QColor colour) {
  QPalette palette = w->palette();
  palette.setColor(QPalette::Window, colour);
  w->setPalette(palette);
  w->setBackgroundRole(QPalette::Window);
  w->setForegroundRole(QPalette::WindowText);
  w->setAutoFillBackground(true);
}

template <typename Widget>
Widget* Place(Widget* w, int left, int top, int width, int height) {
  w->setGeometry(left, top, width, height);
  return w;
}

int ItemOf(const std::array<std::int32_t, 4>& items, std::int32_t value) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == value) return static_cast<int>(i);
  }
  return 0;
}

}  // namespace

PictureBox::PictureBox(const Surface& picture, QWidget* parent)
    : QWidget(parent), picture_(&picture) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect(), picture_->Image(), event->rect());
}

TForm1::TForm1(const WindowSpec& spec, Clock& clock, QWidget* parent)
    : QMainWindow(parent),
      spec_(&spec),
      pictures_(spec),
      sim_(std::make_unique<Simulation>(*spec.Program, clock,
                                        static_cast<const SettingsSource&>(*this),
                                        static_cast<RunObserver&>(*this))) {
  CreateControls();
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  const ProgramSpec& program = *spec_->Program;
  setWindowTitle(QStringLiteral("Artificial society"));
  setFont(MakeFont(kPGothic, 12));
  move(spec_->Position);
  resize(spec_->OuterSize);

  auto* client = new QWidget(this);
  setCentralWidget(client);
  client->setAutoFillBackground(true);
  client->setBackgroundRole(QPalette::Button);

  help1 = menuBar()->addAction(QStringLiteral("help"));
  connect(help1, &QAction::triggered, this, &TForm1::help1Click);

  const QFont fontB = MakeFont(kGothic, 13, true);
  const QFont fontC = MakeFont(kPGothic, 13, true);
  const QFont fontD = MakeFont(kPGothic, 13, true, true);
  const QFont fontE = MakeFont(kPGothic, 12, true, true);
  const QFont fontF = MakeFont(kGothic, 13, true);
  const QFont fontG = MakeFont(kPGothic, 13);
  const QFont fontH = MakeFont(kPGothic, 12);
  const QFont fontI = MakeFont(kPGothic, 16, true);
  const QFont fontJ = MakeFont(kArialBlack, 19);
  const QFont fontK = MakeFont(kArialBlack, 13);

  StaticText1 =
      Place(new QLabel(QStringLiteral("Social Impact Simulation"), client), 61, 2, 265, 31);
  StaticText1->setFont(fontJ);
  SetTextColour(StaticText1, QPalette::WindowText, kNavy);
  SetBackground(StaticText1, QApplication::palette().color(QPalette::ToolTipBase));

  StaticText2 = Place(new QLabel(spec_->ModelName, client), 350, 8, spec_->ModelNameWidth, 22);
  StaticText2->setFont(fontK);
  SetBackground(StaticText2, QApplication::palette().color(QPalette::HighlightedText));

  const auto label = [&](const QString& text, int left, int top, int width) {
    auto* l = Place(new QLabel(text, client), left, top, width, 16);
    l->setFont(fontI);
    l->setAlignment(Qt::AlignCenter);
    SetTextColour(l, QPalette::WindowText, Qt::white);
    SetBackground(l, kNavy);
    return l;
  };
  Label2 = label(QStringLiteral("Round"), 480, 40, 48);
  Label3 = label(QStringLiteral("Iteration"), 464, 62, 67);

  Edit[1] = Place(new QLineEdit(client), 536, 40, 40, 21);
  Edit[2] = Place(new QLineEdit(client), 536, 62, 40, 21);
  Edit[1]->setFont(fontG);
  Edit[2]->setFont(fontG);
  for (int k = 1; k <= kCountFields; ++k) {
    const int left = 24 + 72 * (k - 1);
    for (int row = 0; row < 2; ++row) {
      QLineEdit*& field = Edit[static_cast<std::size_t>(k + 2 + 5 * row)];
      field = Place(new QLineEdit(client), left, row == 0 ? 48 : 80, 60, 20);
      field->setFont(fontH);
      SetTextColour(field, QPalette::Text, OpinionColour(k));
    }
  }

  MapBox = Place(new PictureBox(pictures_.Map().Picture(), client), 48, 112, kMapSize, kMapSize);
  ProcessBox = Place(new PictureBox(pictures_.Chart().Picture(), client), 432, 88, kChartWidth,
                     kChartHeight);
  ProcessBox->setFont(MakeFont(kPGothic, 12));

  Memo1 = Place(new QPlainTextEdit(client), 24, 448, spec_->Memo1Width, 145);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setTabChangesFocus(true);
  // Plain bevelled scroll bars: the log scrolls at every round's end, and
  // gradient-drawn ones would cost more to repaint than the round itself.
  if (QStyle* plain = QStyleFactory::create(QStringLiteral("Windows"))) {
    plain->setParent(this);
    Memo1->verticalScrollBar()->setStyle(plain);
    Memo1->horizontalScrollBar()->setStyle(plain);
  }

  Panel1 = Place(new QFrame(client), spec_->Panel1Left, 448, spec_->Panel1Width, 129);
  Panel1->setFrameStyle(QFrame::WinPanel | QFrame::Raised);
  SetBackground(Panel1, kScrollBarColour);

  RadioGroup2 = new RadioGroup(
      QStringLiteral("Pmutation"),
      {QStringLiteral("0.1"), QStringLiteral("0.2"), QStringLiteral("0.5")}, 1, Panel1);
  RadioGroup2->setFont(fontB);
  Place(RadioGroup2, spec_->RadioGroup2Place.x(), spec_->RadioGroup2Place.y(), 17, 9);
  RadioGroup2->LayOut();
  RadioGroup2->SetItemIndex(1);
  CheckBox4 = new QCheckBox(QStringLiteral("Summation M."), Panel1);
  Place(CheckBox4, spec_->CheckBox4Place.x(), spec_->CheckBox4Place.y(), 97, 17);
  CheckBox4->setFont(fontE);

  const auto group = [&](RadioGroup* g, int left, int top, int width, int height, const QFont& f) {
    g->setFont(f);
    Place(g, left, top, width, height);
    g->LayOut();
    SetTextColour(g, QPalette::WindowText, kNavy);
    return g;
  };
  RadioGroup1 = group(new RadioGroup(QStringLiteral("Rounds"),
                                     {QStringLiteral("50"), QStringLiteral("100"),
                                      QStringLiteral("150"), QStringLiteral("500")},
                                     2, client),
                      spec_->RadioGroup1Left, 456, 113, 50, fontB);
  RadioGroup4 = group(new RadioGroup(QStringLiteral("Initial Dist"),
                                     {QStringLiteral("0.4"), QStringLiteral("0.3"),
                                      QStringLiteral("0.2"), QStringLiteral("0.1")},
                                     2, client),
                      spec_->RadioGroup45Left, 456, 97, 49, fontC);
  RadioGroup5 =
      group(new RadioGroup(QStringLiteral("Distance Par"),
                           {QStringLiteral("nb"), QStringLiteral(" 0"), QStringLiteral(" 1"),
                            QStringLiteral(" 2"), QStringLiteral(" 3"), QStringLiteral(" 4")},
                           2, client),
            spec_->RadioGroup45Left, 512, 97, 49, fontC);
  RadioGroup3 = group(new RadioGroup(QStringLiteral("N. Opinions"),
                                     {QStringLiteral(" 2"), QStringLiteral(" 3"),
                                      QStringLiteral(" 4"), QStringLiteral(" 5")},
                                     2, client),
                      spec_->RadioGroup3Left, 528, 17, 9, fontC);
  SetTextColour(RadioGroup2, QPalette::WindowText, kNavy);

  const auto box = [&](const QString& caption, int left, int top, const QFont& f) {
    auto* c = Place(new QCheckBox(caption, client), left, top, 97, 17);
    c->setFont(f);
    SetTextColour(c, QPalette::WindowText, kNavy);
    return c;
  };
  if (program.HasEdge) CheckBox1 = box(QStringLiteral("Edge"), 496, 456, fontD);
  if (program.HasWideScope) CheckBox2 = box(QStringLiteral("Wide Scope"), 496, 472, fontD);
  if (program.HasRemoveSelf) CheckBox3 = box(QStringLiteral("Remove Self"), 496, 488, fontE);
  CheckBox5 = box(QStringLiteral("Random Seq."), spec_->CheckBox5Place.x(),
                  spec_->CheckBox5Place.y(), fontE);
  SetTextColour(CheckBox4, QPalette::WindowText, kNavy);

  BitBtn1 = Place(new QPushButton(QIcon(CheckMarkImage()), QStringLiteral("Start"), client), 600,
                  spec_->BitBtn1Top, 75, 25);
  BitBtn2 = Place(new QPushButton(QIcon(OpenDoorImage()), QStringLiteral("End"), client), 600,
                  spec_->BitBtn2Top, 75, 24);
  for (QPushButton* b : {BitBtn1, BitBtn2}) {
    b->setFont(fontF);
    b->setIconSize(QSize(18, 18));
    b->setAutoDefault(true);  // a focused button takes Enter for itself
  }
  BitBtn2->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);

  // Every control carries its name, for the focus order and for tests.
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

  // The selections the window opens with.
  const RunSettings& d = program.Defaults;
  RadioGroup1->SetItemIndex(ItemOf(kRoundsItems, d.Rounds));
  RadioGroup4->SetItemIndex(d.InitialDistIndex);
  RadioGroup5->SetItemIndex(static_cast<int>(d.Distance));
  if (CheckBox1 != nullptr) CheckBox1->setChecked(d.Edge);
  if (CheckBox2 != nullptr) CheckBox2->setChecked(d.WideScope);
  if (CheckBox3 != nullptr) CheckBox3->setChecked(d.RemoveSelf);
  CheckBox4->setChecked(d.SummationM);
  CheckBox5->setChecked(d.RandomSeq);

  // Focus order, and Enter in a field, group or box activates End.
  // A radio group stands in the order with all its items, of which only the
  // selected one takes the focus.
  const std::vector<QWidget*> order = FocusOrder();
  std::vector<QWidget*> chain;
  for (QWidget* w : order) {
    if (auto* g = qobject_cast<RadioGroup*>(w)) {
      for (int i = 0; i < g->Count(); ++i) chain.push_back(g->Item(i));
    } else {
      chain.push_back(w);
    }
  }
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);
  for (QWidget* w : order) {
    if (auto* g = qobject_cast<RadioGroup*>(w)) {
      for (int i = 0; i < g->Count(); ++i) g->Item(i)->installEventFilter(this);
    } else if (w != Memo1 && qobject_cast<QPushButton*>(w) == nullptr) {
      w->installEventFilter(this);
    }
  }
  for (QWidget* w :
       {static_cast<QWidget*>(StaticText1), static_cast<QWidget*>(StaticText2),
        static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label3), static_cast<QWidget*>(Panel1),
        static_cast<QWidget*>(MapBox), static_cast<QWidget*>(ProcessBox)}) {
    w->setFocusPolicy(Qt::NoFocus);
  }
  BitBtn1->setFocus(Qt::OtherFocusReason);
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
  s.InitialDistIndex = RadioGroup4->ItemIndex();
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
  MapBox->resize(kMapSize, kMapSize);
  Surface& surface = pictures_.Map().Picture();
  surface.SetBrush(Qt::black);
  surface.Rectangle(0, 0, spec_->OuterSize.width(), spec_->OuterSize.height());
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

void TForm1::DrawProcess(std::int32_t round) {
  const ModelState& m = sim_->Model();
  DrawProcess(round, m.OpinionCensus, m.PreviousCensus);
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
}

void TForm1::BitBtn2Click() {
  close();
}

void TForm1::help1Click() {
  for (const QString& line : spec_->HelpLines) AppendLine(line);
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
  Memo1->appendPlainText(line);
  Memo1->moveCursor(QTextCursor::End);
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
  const QRect mapDirty = pictures_.Map().Picture().TakeDirty();
  const QRect chartDirty = pictures_.Chart().Picture().TakeDirty();
  if (!mapDirty.isEmpty()) MapBox->update(mapDirty);
  if (!chartDirty.isEmpty()) ProcessBox->update(chartDirty);
  // One synchronous repaint paints every region marked since the last frame
  // (map, chart, fields, log) and puts it on the screen.
  if (isVisible()) Edit[2]->repaint();
  if (frameClock_.isValid()) frameClock_.restart();
}

}  // namespace impactsim::ui
