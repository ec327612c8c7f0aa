// The description of a program's window for its web page: the real window,
// built off screen, read control by control.

#include "apps/webpage/window_description.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <stdexcept>

#include "model/random_source.h"
#include "sweep/setting_options.h"
#include "ui/main_window.h"
#include "ui/radio_group.h"

namespace impactsim::web {

namespace {

// The window's random source is never read: no run happens.
class StillClock final : public Clock {
 public:
  std::uint32_t MillisecondsOfDay() override { return 0; }
};

QJsonArray RectOf(const QWidget* w, const QWidget* client) {
  const QPoint at = w->mapTo(client, QPoint(0, 0));
  return {at.x(), at.y(), w->width(), w->height()};
}

QString Hex(const QColor& c) {
  return c.name(QColor::HexRgb);
}

QJsonObject FontOf(const QFont& f) {
  QJsonArray families{f.family()};
  for (const QString& s : QFont::substitutes(f.family())) families.append(s);
  return {{"families", families},
          {"pixelSize", f.pixelSize()},
          {"bold", f.bold()},
          {"underline", f.underline()},
          {"stretch", f.stretch()}};
}

QJsonObject Colours(const QWidget* w, QPalette::ColorRole text) {
  QJsonObject colours{{"text", Hex(w->palette().color(text))}};
  if (w->autoFillBackground()) colours["background"] = Hex(w->palette().color(QPalette::Window));
  return colours;
}

const SettingOption& Setting(std::string_view name) {
  for (const SettingOption& s : SettingOptions()) {
    if (s.Name == name) return s;
  }
  throw std::logic_error("no setting " + std::string(name));
}

// A radio group's option words, item by item, as the window turns its choice
// into settings; none for the groups the window does not read.
QJsonArray RadioWords(const QString& name, int count) {
  QJsonArray items;
  const char* setting = name == "RadioGroup1"   ? "rounds"
                        : name == "RadioGroup4" ? "initial-dist"
                        : name == "RadioGroup5" ? "distance"
                                                : nullptr;
  if (setting == nullptr) return items;
  const SettingOption& option = Setting(setting);
  for (int i = 0; i < count; ++i) {
    RunSettings s;
    const auto item = static_cast<std::size_t>(i);
    if (name == "RadioGroup1") s.Rounds = kRoundsItems[item];
    if (name == "RadioGroup4") s.InitialShare = kInitialDistItems[item];
    if (name == "RadioGroup5") s.Distance = static_cast<DistancePar>(i);
    items.append(QJsonArray{QStringLiteral("--%1").arg(option.Name.data()),
                            QString::fromStdString(option.Get(s))});
  }
  return items;
}

// A check box's switches: the word for checked, and for unchecked the off
// twin, or nothing where the program's default is off anyway.
QJsonObject CheckWords(const QString& name, const ProgramProfile& program) {
  const char* setting = name == "CheckBox1"   ? "edge"
                        : name == "CheckBox2" ? "wide-scope"
                        : name == "CheckBox3" ? "remove-self"
                        : name == "CheckBox4" ? "summation"
                                              : "sequential";
  const SettingOption& option = Setting(setting);
  QJsonObject words{{"on", QStringLiteral("--%1").arg(option.Name.data())}};
  if (!option.OffName.empty()) {
    words["off"] = QStringLiteral("--%1").arg(
        QString::fromUtf8(option.OffName.data(), static_cast<int>(option.OffName.size())));
  } else if (option.Get(program.Defaults) != "off") {
    throw std::logic_error("setting " + std::string(setting) + " has no way to turn it off");
  }
  return words;
}

QJsonObject Control(QWidget* w, const QWidget* client, const ProgramProfile& program) {
  const QString name = w->objectName();
  QJsonObject c{{"name", name}, {"rect", RectOf(w, client)}, {"font", FontOf(w->font())}};
  if (auto* g = qobject_cast<ui::RadioGroup*>(w)) {
    QJsonArray items, places;
    for (int i = 0; i < g->Count(); ++i) {
      items.append(g->Items()[i]);
      places.append(RectOf(g->Item(i), client));
    }
    c["kind"] = "radio";
    c["caption"] = g->title();
    c["items"] = items;
    c["itemRects"] = places;
    c["choice"] = g->ItemIndex();
    c["shown"] = g->ShowsContents();
    c["colours"] = Colours(w, QPalette::WindowText);
    c["words"] = RadioWords(name, g->Count());
  } else if (auto* b = qobject_cast<QCheckBox*>(w)) {
    c["kind"] = "check";
    c["caption"] = b->text();
    c["checked"] = b->isChecked();
    c["colours"] = Colours(w, QPalette::WindowText);
    c["words"] = CheckWords(name, program);
  } else if (auto* p = qobject_cast<QPushButton*>(w)) {
    c["kind"] = "button";
    c["caption"] = p->text();
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    c["kind"] = "label";
    c["caption"] = l->text();
    c["centred"] = (l->alignment() & Qt::AlignHCenter) != 0;
    c["colours"] = Colours(w, QPalette::WindowText);
  } else if (qobject_cast<QLineEdit*>(w) != nullptr) {
    c["kind"] = "field";
    c["colours"] = Colours(w, QPalette::Text);
  } else if (qobject_cast<QPlainTextEdit*>(w) != nullptr) {
    c["kind"] = "log";
  } else if (dynamic_cast<ui::PictureBox*>(w) != nullptr) {
    c["kind"] = "picture";
  } else {
    c["kind"] = "panel";
    c["colours"] = Colours(w, QPalette::WindowText);
  }
  return c;
}

}  // namespace

QJsonObject DescribeWindow(const ui::WindowLayout& layout) {
  StillClock clock;
  ui::TForm1 window(layout, clock);
  // Shown off screen, where no frame is drawn, so that the client area has
  // the size it has inside the window's outer size.
  window.show();
  QCoreApplication::processEvents();
  QWidget* client = window.centralWidget();
  QJsonArray controls;
  // Parents before children: the panel comes before what it holds.
  for (QWidget* w : client->findChildren<QWidget*>()) {
    // The window's own names only; Qt names some parts of its widgets "qt_...".
    if (w->objectName().isEmpty() || w->objectName().startsWith(QStringLiteral("qt_"))) continue;
    if (qobject_cast<ui::RadioGroup*>(w->parentWidget()) != nullptr) continue;
    controls.append(Control(w, client, *layout.Program));
  }
  QJsonArray help;
  for (const QString& line : layout.HelpLines) help.append(line);
  return {{"program", QString::fromUtf8(layout.Program->Name.data(),
                                        static_cast<int>(layout.Program->Name.size()))},
          {"title", window.windowTitle()},
          {"menu", QJsonArray{window.help1->text()}},
          {"menuHeight", window.menuBar()->sizeHint().height()},
          {"clientSize", QJsonArray{client->width(), client->height()}},
          {"background", Hex(client->palette().color(QPalette::Button))},
          {"font", FontOf(window.font())},
          {"controls", controls},
          {"help", help}};
}

}  // namespace impactsim::web
