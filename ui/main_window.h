#pragma once
// The main window of either program: the controls that choose a run's
// conditions, Start and End, the map, the evolution chart, the counters, the
// census fields and the log. It supplies the run's settings from its controls
// and shows what the run reports.

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <memory>

#include "model/random_source.h"
#include "model/run_observer.h"
#include "model/run_settings.h"
#include "model/simulation.h"
#include "ui/radio_group.h"
#include "ui/run_pictures.h"
#include "ui/surface.h"
#include "ui/window_layout.h"

namespace impactsim::ui {

// Shows a surface's picture; repaints draw from the picture, so nothing drawn
// is lost when the window is covered or restored.
class PictureBox : public QWidget {
 public:
  PictureBox(const picture::Raster& picture, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const picture::Raster* picture_;
};

class TForm1 : public QMainWindow, private RunObserver, private SettingsSource {
 public:
  // clock: where the random source reads the time of day (the system clock
  // in the programs, a fixed one in tests).
  TForm1(const WindowLayout& layout, Clock& clock, QWidget* parent = nullptr);
  ~TForm1() override;

  // The operations of the window, by name.
  void DefaultValues();
  void PaintB1();
  void StrategyMap() override;
  void DrawMap();
  void ProcessFrame() override;
  void FormCreate();
  void BitBtn1Click();  // Start: one complete run
  void BitBtn2Click();  // End: closes the window
  void help1Click();    // appends the help text to the log

  const WindowLayout& Layout() const { return *layout_; }
  const Simulation& Engine() const { return *sim_; }
  const picture::MapPicture& Map() const { return pictures_.Map(); }
  const picture::ChartPicture& Chart() const { return pictures_.Chart(); }

  // Controls, named by kind and number. Check boxes a program lacks are null.
  QLabel* StaticText1;
  QLabel* StaticText2;
  QLabel* Label2;
  QLabel* Label3;
  std::array<QLineEdit*, 13> Edit{};  // Edit[1] .. Edit[12]
  PictureBox* MapBox;
  PictureBox* ProcessBox;
  QPlainTextEdit* Memo1;
  QFrame* Panel1;
  RadioGroup* RadioGroup1;
  RadioGroup* RadioGroup2;
  RadioGroup* RadioGroup3;
  RadioGroup* RadioGroup4;
  RadioGroup* RadioGroup5;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QCheckBox* CheckBox3 = nullptr;
  QCheckBox* CheckBox4;
  QCheckBox* CheckBox5;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
  QAction* help1;

  // The focus order, first to last.
  std::vector<QWidget*> FocusOrder() const;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Building the window, in this order. The Create functions, which make
  // the controls with their places, fonts and colours, are in
  // window_controls.cpp.
  void CreateControls();
  QWidget* CreateClientArea();  // the frame, its client area and the menu
  void CreateTitleAndCounters(QWidget* client);
  void CreateMapChartAndLog(QWidget* client);
  void CreateSettingsPanel(QWidget* client);
  void CreateRadioGroups(QWidget* client);
  void CreateCheckBoxes(QWidget* client);
  void CreateButtons(QWidget* client);
  void NameControls();
  void SelectDefaults();
  void ChainFocus();
  void RouteEnterToEnd();

  // Sizes the window so that its frame, where a window manager draws one,
  // has the layout's outer size; once, as soon as the frame is known.
  void FitFrame();
  // End shows the default button's cue exactly while Enter would press it:
  // with the focus anywhere but on Start (which takes Enter itself) or the
  // log (which takes it as a new line).
  void ShowDefaultCue(QWidget* focus);

  void AppendLine(const QString& line);
  void PresentFrame();

  // Settings from the controls.
  RunSettings CurrentSettings() const override;

  // What the run reports.
  void DrawMap(const Grid& population) override;
  void DrawCell(int x, int y, std::uint8_t opinion) override;
  void DrawProcess(std::int32_t round, const Census& current, const Census& previous) override;
  void ShowRound(std::int32_t roundNo) override;
  void ShowIteration(std::int32_t iterationNo) override;
  void ShowInitialCount(int opinion, std::string_view text) override;
  void ShowRoundCount(int opinion, std::string_view text) override;
  void AppendLog(std::string_view line) override;
  void RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) override;

  const WindowLayout* layout_;
  RunPictures pictures_;  // the map and the chart, retained off screen
  std::unique_ptr<Simulation> sim_;
  bool running_ = false;
  bool frameFitted_ = false;
  QMetaObject::Connection focusWatch_;  // focus changes, for End's cue
  std::int32_t iterationShown_ = -1;
  std::int32_t iteration_ = 0;
  QElapsedTimer frameClock_;
};

}  // namespace impactsim::ui
