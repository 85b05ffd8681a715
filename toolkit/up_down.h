// Up-down control: two arrow buttons, vertical or horizontal, reporting which
// arrow was pressed (next: up or right; previous: down or left). A press is
// always reported.
#pragma once

#include <QWidget>

class QToolButton;

namespace morvane {

class UpDown : public QWidget {
  Q_OBJECT
 public:
  enum class Arrow { Next, Previous };
  Q_ENUM(Arrow)
  UpDown(Qt::Orientation orientation, QWidget* parent = nullptr);
  QToolButton* nextButton() const { return next_; }
  QToolButton* previousButton() const { return previous_; }

 signals:
  void clicked(morvane::UpDown::Arrow arrow);

 private:
  QToolButton* next_;
  QToolButton* previous_;
};

}  // namespace morvane
