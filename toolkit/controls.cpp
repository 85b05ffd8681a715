#include "toolkit/controls.h"

#include <QHeaderView>
#include <QRadioButton>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>

namespace morvane {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent) {
  auto* layout = new QVBoxLayout(this);
  for (const QString& item : items) {
    auto* button = new QRadioButton(item, this);
    button->setAutoExclusive(true);
    layout->addWidget(button);
    buttons_.push_back(button);
    // Only the user's clicks are reported; setItemIndex is silent.
    connect(button, &QRadioButton::clicked, this, [this] { emit clicked(); });
  }
}

int RadioGroup::itemIndex() const {
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    if (buttons_[i]->isChecked()) return static_cast<int>(i);
  }
  return -1;
}

void RadioGroup::setItemIndex(int index) {
  if (index >= 0 && index < count()) {
    button(index)->setChecked(true);
    return;
  }
  // No item: auto-exclusive buttons refuse to uncheck the checked one, so
  // release it for a moment.
  for (QRadioButton* b : buttons_) {
    if (!b->isChecked()) continue;
    b->setAutoExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(true);
  }
}

void Edit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // Leaving means the focus went to another control of the window: a message
  // box or another window coming to the front does not count.
  const Qt::FocusReason reason = event->reason();
  if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) emit exited();
}

Memo::Memo(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);  // long lines wrap, as in a memo
}

void Memo::clearLines() {
  clear();
}

void Memo::appendLine(const QString& line) {
  appendPlainText(line);
}

QStringList Memo::lines() const {
  const QString text = toPlainText();
  if (text.isEmpty()) return {};
  return text.split(QLatin1Char('\n'));
}

StringGrid::StringGrid(QWidget* parent) : QTableWidget(parent) {
  horizontalHeader()->hide();
  verticalHeader()->hide();
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setShowGrid(true);
  // Tab leaves the grid for the next control; arrows move between cells.
  setTabKeyNavigation(false);
}

void StringGrid::setSize(int cols, int rows) {
  setColumnCount(std::max(cols, 0));
  setRowCount(std::max(rows, 0));
}

void StringGrid::setDefaultCellSize(int width, int height) {
  horizontalHeader()->setMinimumSectionSize(
      std::min(horizontalHeader()->minimumSectionSize(), width));
  verticalHeader()->setMinimumSectionSize(std::min(verticalHeader()->minimumSectionSize(), height));
  horizontalHeader()->setDefaultSectionSize(width);
  verticalHeader()->setDefaultSectionSize(height);
  for (int c = 0; c < columnCount(); ++c) setColumnWidth(c, width);
  for (int r = 0; r < rowCount(); ++r) setRowHeight(r, height);
}

QString StringGrid::cell(int col, int row) const {
  const QTableWidgetItem* it = item(row, col);
  return it ? it->text() : QString();
}

void StringGrid::setCell(int col, int row, const QString& text) {
  if (col < 0 || row < 0 || col >= columnCount() || row >= rowCount()) return;
  if (QTableWidgetItem* it = item(row, col)) {
    it->setText(text);
  } else {
    setItem(row, col, new QTableWidgetItem(text));
  }
}

}  // namespace morvane
