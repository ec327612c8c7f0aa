#pragma once
// A captioned group of radio items, one or two columns filled column-first,
// with one item always selected. The group is a single stop in the focus
// order (the selected item takes the focus); the arrow keys move the
// selection within the group.
//
// A group too small to show its caption (shorter than a line of its font)
// draws nothing at all, neither caption, frame nor items, so no fragment of
// it lands on the controls around it; its items still take the focus and
// the arrow keys.

#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>
#include <vector>

namespace impactsim::ui {

class RadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  RadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent);

  int ItemIndex() const { return index_; }
  void SetItemIndex(int index);
  QStringList Items() const;
  int Columns() const { return columns_; }
  QRadioButton* Item(int index) const { return buttons_[static_cast<std::size_t>(index)]; }
  int Count() const { return static_cast<int>(buttons_.size()); }

  // Places the items inside the group's current size.
  void LayOut();

  // Whether the group is tall enough to show its caption, and so draws.
  bool ShowsContents() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::vector<QRadioButton*> buttons_;
  int columns_;
  int index_ = 0;
};

}  // namespace impactsim::ui
