// The window's controls: creating them in their fixed places with their
// fonts and colours. Naming them, the opening selections and the focus order
// are the window's own (main_window.cpp).

#include "ui/window_controls.h"

#include <QApplication>
#include <QMenuBar>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>

#include "ui/button_images.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/opinion_colours.h"

namespace impactsim::ui {

namespace {

const QColor kNavy(0, 0, 128);
// The platform names no scroll-bar colour; this is the customary one.
const QColor kScrollBarColour(200, 200, 200);

}  // namespace

void SetTextColour(QWidget* w, QPalette::ColorRole role, QColor colour) {
  QPalette palette = w->palette();
  palette.setColor(role, colour);
  w->setPalette(palette);
}

void SetBackground(QWidget* w, QColor colour) {
  QPalette palette = w->palette();
  palette.setColor(QPalette::Window, colour);
  w->setPalette(palette);
  w->setBackgroundRole(QPalette::Window);
  w->setForegroundRole(QPalette::WindowText);
  w->setAutoFillBackground(true);
}

QWidget* TForm1::CreateClientArea() {
  setWindowTitle(QStringLiteral("Artificial society"));
  setFont(MakeFont(kPGothic, 12));
  move(layout_->Position);
  resize(layout_->OuterSize);

  auto* client = new QWidget(this);
  setCentralWidget(client);
  client->setAutoFillBackground(true);
  client->setBackgroundRole(QPalette::Button);

  help1 = menuBar()->addAction(QStringLiteral("help"));
  connect(help1, &QAction::triggered, this, &TForm1::help1Click);
  return client;
}

// The title, the model's name, and the fields that count rounds, iterations
// and each opinion's holders at the start and at the latest round.
void TForm1::CreateTitleAndCounters(QWidget* client) {
  StaticText1 =
      Place(new QLabel(QStringLiteral("Social Impact Simulation"), client), 61, 2, 265, 31);
  StaticText1->setFont(MakeFont(kArialBlack, 19));
  SetTextColour(StaticText1, QPalette::WindowText, kNavy);
  SetBackground(StaticText1, QApplication::palette().color(QPalette::ToolTipBase));

  StaticText2 = Place(new QLabel(layout_->ModelName, client), 350, 8, layout_->ModelNameWidth, 22);
  StaticText2->setFont(MakeFont(kArialBlack, 13));
  SetBackground(StaticText2, QApplication::palette().color(QPalette::HighlightedText));

  const QFont labelFont = MakeFont(kPGothic, 16, true);
  const auto label = [&](const QString& text, int left, int top, int width) {
    auto* l = Place(new QLabel(text, client), left, top, width, 16);
    l->setFont(labelFont);
    l->setAlignment(Qt::AlignCenter);
    SetTextColour(l, QPalette::WindowText, Qt::white);
    SetBackground(l, kNavy);
    return l;
  };
  Label2 = label(QStringLiteral("Round"), 480, 40, 48);
  Label3 = label(QStringLiteral("Iteration"), 464, 62, 67);

  const QFont counterFont = MakeFont(kPGothic, 13);
  Edit[1] = Place(new QLineEdit(client), 536, 40, 40, 21);
  Edit[2] = Place(new QLineEdit(client), 536, 62, 40, 21);
  Edit[1]->setFont(counterFont);
  Edit[2]->setFont(counterFont);
  // Edit[3..7] hold the opening counts, Edit[8..12] the latest round's, each
  // in its opinion's colour; they are created column by column.
  const QFont censusFont = MakeFont(kPGothic, 12);
  for (int k = 1; k <= kCountFields; ++k) {
    const int left = 24 + 72 * (k - 1);
    for (int row = 0; row < 2; ++row) {
      QLineEdit*& field = Edit[static_cast<std::size_t>(k + 2 + 5 * row)];
      field = Place(new QLineEdit(client), left, row == 0 ? 48 : 80, 60, 20);
      field->setFont(censusFont);
      SetTextColour(field, QPalette::Text, OpinionColour(k));
    }
  }
}

void TForm1::CreateMapChartAndLog(QWidget* client) {
  MapBox = Place(new PictureBox(pictures_.Map().Pixels(), client), 48, 112, picture::kMapSize,
                 picture::kMapSize);
  ProcessBox = Place(new PictureBox(pictures_.Chart().Pixels(), client), 432, 88,
                     picture::kChartWidth, picture::kChartHeight);
  ProcessBox->setFont(MakeFont(kPGothic, 12));

  Memo1 = Place(new QPlainTextEdit(client), 24, 448, layout_->Memo1Width, 145);
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
}

// The raised panel with the mutation probability and "Summation M.", whose
// places inside it differ between the programs.
void TForm1::CreateSettingsPanel(QWidget* client) {
  Panel1 = Place(new QFrame(client), layout_->Panel1Left, 448, layout_->Panel1Width, 129);
  Panel1->setFrameStyle(QFrame::WinPanel | QFrame::Raised);
  SetBackground(Panel1, kScrollBarColour);

  RadioGroup2 = new RadioGroup(
      QStringLiteral("Pmutation"),
      {QStringLiteral("0.1"), QStringLiteral("0.2"), QStringLiteral("0.5")}, 1, Panel1);
  RadioGroup2->setFont(MakeFont(kGothic, 13, true));
  Place(RadioGroup2, layout_->RadioGroup2Place.x(), layout_->RadioGroup2Place.y(), 17, 9);
  RadioGroup2->LayOut();
  RadioGroup2->SetItemIndex(1);
  SetTextColour(RadioGroup2, QPalette::WindowText, kNavy);

  CheckBox4 = new QCheckBox(QStringLiteral("Summation M."), Panel1);
  Place(CheckBox4, layout_->CheckBox4Place.x(), layout_->CheckBox4Place.y(), 97, 17);
  CheckBox4->setFont(MakeFont(kPGothic, 12, true, true));
  SetTextColour(CheckBox4, QPalette::WindowText, kNavy);
}
void TForm1::CreateRadioGroups(QWidget* client) {
  const auto group = [&](RadioGroup* g, int left, int top, int width, int height, const QFont& f) {
    g->setFont(f);
    Place(g, left, top, width, height);
    g->LayOut();
    SetTextColour(g, QPalette::WindowText, kNavy);
    return g;
  };
  const QFont roundsFont = MakeFont(kGothic, 13, true);
  const QFont groupFont = MakeFont(kPGothic, 13, true);
  RadioGroup1 = group(new RadioGroup(QStringLiteral("Rounds"),
                                     {QStringLiteral("50"), QStringLiteral("100"),
                                      QStringLiteral("150"), QStringLiteral("500")},
                                     2, client),
                      layout_->RadioGroup1Left, 456, 113, 50, roundsFont);
  RadioGroup4 = group(new RadioGroup(QStringLiteral("Initial Dist"),
                                     {QStringLiteral("0.4"), QStringLiteral("0.3"),
                                      QStringLiteral("0.2"), QStringLiteral("0.1")},
                                     2, client),
                      layout_->RadioGroup45Left, 456, 97, 49, groupFont);
  RadioGroup5 =
      group(new RadioGroup(QStringLiteral("Distance Par"),
                           {QStringLiteral("nb"), QStringLiteral(" 0"), QStringLiteral(" 1"),
                            QStringLiteral(" 2"), QStringLiteral(" 3"), QStringLiteral(" 4")},
                           2, client),
            layout_->RadioGroup45Left, 512, 97, 49, groupFont);
  RadioGroup3 = group(new RadioGroup(QStringLiteral("N. Opinions"),
                                     {QStringLiteral(" 2"), QStringLiteral(" 3"),
                                      QStringLiteral(" 4"), QStringLiteral(" 5")},
                                     2, client),
                      layout_->RadioGroup3Left, 528, 17, 9, groupFont);
}

// The boxes a program lacks are not created and stay null.
void TForm1::CreateCheckBoxes(QWidget* client) {
  const ProgramProfile& program = *layout_->Program;
  const auto box = [&](const QString& caption, int left, int top, const QFont& f) {
    auto* c = Place(new QCheckBox(caption, client), left, top, 97, 17);
    c->setFont(f);
    SetTextColour(c, QPalette::WindowText, kNavy);
    return c;
  };
  const QFont wideFont = MakeFont(kPGothic, 13, true, true);
  const QFont narrowFont = MakeFont(kPGothic, 12, true, true);
  if (program.HasEdge) CheckBox1 = box(QStringLiteral("Edge"), 496, 456, wideFont);
  if (program.HasWideScope) CheckBox2 = box(QStringLiteral("Wide Scope"), 496, 472, wideFont);
  if (program.HasRemoveSelf) CheckBox3 = box(QStringLiteral("Remove Self"), 496, 488, narrowFont);
  CheckBox5 = box(QStringLiteral("Random Seq."), layout_->CheckBox5Place.x(),
                  layout_->CheckBox5Place.y(), narrowFont);
}

void TForm1::CreateButtons(QWidget* client) {
  BitBtn1 = Place(new QPushButton(QIcon(CheckMarkImage()), QStringLiteral("Start"), client), 600,
                  layout_->BitBtn1Top, 75, 25);
  BitBtn2 = Place(new QPushButton(QIcon(OpenDoorImage()), QStringLiteral("End"), client), 600,
                  layout_->BitBtn2Top, 75, 24);
  const QFont buttonFont = MakeFont(kGothic, 13, true);
  for (QPushButton* b : {BitBtn1, BitBtn2}) {
    b->setFont(buttonFont);
    b->setIconSize(QSize(18, 18));
    b->setAutoDefault(true);  // a focused button takes Enter for itself
  }
  BitBtn2->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
}

}  // namespace impactsim::ui
