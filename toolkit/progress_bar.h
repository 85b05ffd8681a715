// Progress bar stepped by the sweeps. A sweep never returns to the event loop,
// so the bar repaints itself synchronously, at most a few times a second, so
// that painting stays a negligible share of the sweep.
#pragma once

#include <QElapsedTimer>
#include <QProgressBar>

namespace morvane {

class ProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  explicit ProgressBar(QWidget* parent = nullptr);
  void setMax(int maximum);
  void setPosition(int position);
  int position() const { return value(); }
  void step();

 private:
  void repaintThrottled();
  QElapsedTimer sinceRepaint_;
};

}  // namespace morvane
