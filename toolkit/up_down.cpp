#include "toolkit/up_down.h"

#include <QBoxLayout>
#include <QToolButton>

namespace morvane {

UpDown::UpDown(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), next_(new QToolButton(this)), previous_(new QToolButton(this)) {
  QBoxLayout* layout = nullptr;
  if (orientation == Qt::Vertical) {
    layout = new QVBoxLayout(this);
    next_->setArrowType(Qt::UpArrow);
    previous_->setArrowType(Qt::DownArrow);
    layout->addWidget(next_);
    layout->addWidget(previous_);
  } else {
    layout = new QHBoxLayout(this);
    previous_->setArrowType(Qt::LeftArrow);
    next_->setArrowType(Qt::RightArrow);
    layout->addWidget(previous_);
    layout->addWidget(next_);
  }
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (QToolButton* button : {next_, previous_}) {
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    button->setFocusPolicy(Qt::NoFocus);
  }
  connect(next_, &QToolButton::clicked, this, [this] { emit clicked(Arrow::Next); });
  connect(previous_, &QToolButton::clicked, this, [this] { emit clicked(Arrow::Previous); });
}

}  // namespace morvane
