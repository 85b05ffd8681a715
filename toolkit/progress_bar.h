// Progress bar stepped by the sweeps. A sweep never returns to the event loop,
// so the bar repaints itself synchronously, at most a few times a second, so
// that painting stays a negligible share of the sweep. The position is kept
// here at every step; the widget is told of it only when it is repainted.
#pragma once

#include <QElapsedTimer>
#include <QProgressBar>

namespace morvane {

class ProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  explicit ProgressBar(QWidget* parent = nullptr);
  void setMax(int maximum);
  // Position 0 ends a sweep and shows at once; any other shows within the
  // repaint interval. A position outside 0 .. maximum is ignored.
  void setPosition(int position);
  int position() const { return position_; }
  void step();

 private:
  void showThrottled();
  void showNow();
  QElapsedTimer sinceRepaint_;
  int position_ = 0;
};

}  // namespace morvane
