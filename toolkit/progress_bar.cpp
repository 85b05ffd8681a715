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
}

void ProgressBar::setPosition(int position) {
  setValue(position);
  if (position == 0) {
    // The end of a sweep: show the empty bar at once.
    repaint();
    sinceRepaint_.restart();
  } else {
    repaintThrottled();
  }
}

void ProgressBar::step() {
  setValue(value() + 1);
  repaintThrottled();
}

void ProgressBar::repaintThrottled() {
  if (sinceRepaint_.elapsed() < kRepaintIntervalMs) return;
  repaint();
  sinceRepaint_.restart();
}

}  // namespace morvane
