#include "toolkit/progress_bar.h"

namespace morvane {

namespace {
// Shortest time between two synchronous repaints during a sweep.
constexpr qint64 kRepaintIntervalMs = 50;
}  // namespace

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  setValue(0);
  sinceRepaint_.start();
}

void ProgressBar::setMax(int maximum) {
  setMaximum(maximum);
  position_ = value();
}

void ProgressBar::setPosition(int position) {
  // As the widget itself: a range of 0 .. 0 takes any position.
  if ((minimum() != 0 || maximum() != 0) && (position < minimum() || position > maximum())) return;
  position_ = position;
  if (position == 0) {
    // The end of a sweep: show the empty bar at once.
    showNow();
  } else {
    showThrottled();
  }
}

void ProgressBar::step() {
  setPosition(position_ + 1);
}

void ProgressBar::showThrottled() {
  if (sinceRepaint_.elapsed() < kRepaintIntervalMs) return;
  showNow();
}

void ProgressBar::showNow() {
  setValue(position_);
  repaint();
  sinceRepaint_.restart();
}

}  // namespace morvane
