#include "ui/radio_group.h"

#include <QButtonGroup>
#include <QKeyEvent>

namespace impactsim::ui {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns,
                       QWidget* parent)
    : QGroupBox(caption, parent), columns_(columns) {
  auto* group = new QButtonGroup(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group->addButton(button, i);
    button->installEventFilter(this);
    buttons_.push_back(button);
  }
  connect(group, &QButtonGroup::idClicked, this, [this](int id) { SetItemIndex(id); });
  SetItemIndex(0);
}

void RadioGroup::SetItemIndex(int index) {
  index_ = index;
  for (int i = 0; i < Count(); ++i) {
    QRadioButton* button = Item(i);
    button->setChecked(i == index);
    // Only the selected item is a focus stop, so Tab enters the group once.
    button->setFocusPolicy(i == index ? Qt::StrongFocus : Qt::ClickFocus);
  }
}

QStringList RadioGroup::Items() const {
  QStringList items;
  for (const QRadioButton* b : buttons_) items << b->text();
  return items;
}

void RadioGroup::LayOut() {
  // Items below the caption, spread evenly over the rows of each column.
  const int rows = (Count() + columns_ - 1) / columns_;
  const int captionHeight = fontMetrics().height();
  const int innerWidth = width() - 8 - 4;
  const int columnWidth = innerWidth / columns_;
  const int rowHeight = rows > 0 ? (height() - captionHeight - 4) / rows : 0;
  for (int i = 0; i < Count(); ++i) {
    const int column = i / rows;
    const int row = i % rows;
    // In a group too small to show them the items shrink to a point and are
    // not drawn, but stay in the focus order.
    Item(i)->setGeometry(8 + column * columnWidth, captionHeight + row * rowHeight,
                         std::max(columnWidth - 2, 1), std::max(rowHeight, 1));
  }
}

bool RadioGroup::ShowsContents() const {
  return height() >= fontMetrics().height();
}

void RadioGroup::paintEvent(QPaintEvent* event) {
  if (ShowsContents()) QGroupBox::paintEvent(event);
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  LayOut();
}

bool RadioGroup::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Paint && !ShowsContents()) return true;
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    int step = 0;
    if (key == Qt::Key_Down || key == Qt::Key_Right) step = 1;
    if (key == Qt::Key_Up || key == Qt::Key_Left) step = -1;
    if (step != 0) {
      SetItemIndex((index_ + step + Count()) % Count());
      Item(index_)->setFocus(Qt::TabFocusReason);
      return true;
    }
  }
  return QGroupBox::eventFilter(watched, event);
}

}  // namespace impactsim::ui
