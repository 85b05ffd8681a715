// The small controls of the windows, as the handlers use them: radio groups
// with an item index, edit boxes with change and exit events, the message log,
// string grids with [column, row] cells.
#pragma once

#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTableWidget>
#include <vector>

class QRadioButton;

namespace morvane {

class RadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  RadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);
  int itemIndex() const;  // -1 when none is selected
  void setItemIndex(int index);
  QRadioButton* button(int index) const { return buttons_[static_cast<std::size_t>(index)]; }
  int count() const { return static_cast<int>(buttons_.size()); }

 signals:
  void clicked();

 private:
  std::vector<QRadioButton*> buttons_;
};

class Edit : public QLineEdit {
  Q_OBJECT
 public:
  using QLineEdit::QLineEdit;
 signals:
  void exited();

 protected:
  void focusOutEvent(QFocusEvent* event) override;
};

class Memo : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit Memo(QWidget* parent = nullptr);
  void clearLines();
  void appendLine(const QString& line);
  // The log's lines, first to last; an empty list when the log is empty.
  QStringList lines() const;
};

class StringGrid : public QTableWidget {
  Q_OBJECT
 public:
  explicit StringGrid(QWidget* parent = nullptr);
  void setSize(int cols, int rows);
  void setDefaultCellSize(int width, int height);
  QString cell(int col, int row) const;
  void setCell(int col, int row, const QString& text);
};

}  // namespace morvane
