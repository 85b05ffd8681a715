// Picture view: shows a Picture. In the main window it is centred and scaled
// down proportionally when larger than the view; in the image windows it sizes
// itself to its picture, times a zoom factor. Drawn smaller, each screen pixel
// is the area average of the picture pixels under it; drawn larger, each
// picture pixel is a square of screen pixels. Reports double clicks and
// presses in picture coordinates.
#pragma once

#include <QImage>
#include <QWidget>

#include "toolkit/picture.h"

namespace morvane {

class PictureView : public QWidget {
  Q_OBJECT
 public:
  explicit PictureView(QWidget* parent = nullptr);

  Picture& picture() { return picture_; }
  const Picture& picture() const { return picture_; }

  // The view fits the picture into itself, centred, scaled down when larger.
  void setFitted(bool fitted);
  // The view takes the size of its picture (image windows), times the zoom.
  void setAutoSize(bool autoSize);
  // Zoom factor of an autosize view (1: the picture's own size).
  void setZoom(double factor);
  double zoom() const { return zoom_; }
  // Size of the picture drawn at the zoom factor.
  QSize zoomedSize() const;

  // Schedules a repaint after the picture changed (after a sweep, a load).
  void pictureChanged();
  // Schedules a repaint of rows y0 .. y1-1 only, which alone changed.
  void rowsChanged(int y0, int y1);

  // Maps a point of the widget to picture coordinates.
  QPoint toPicture(QPoint widgetPoint) const;

  // The picture's size in autosize mode, the plain widget's hint otherwise.
  QSize sizeHint() const override;

 signals:
  void doubleClicked();
  void pressed(int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QRect targetRect() const;
  void applyAutoSize();
  // The drawn picture is kept whole when at most this many pixels; a larger one
  // (a zoomed window) is drawn anew for the part being painted.
  static constexpr qint64 kKeptPixels = 4 << 20;

  Picture picture_;
  bool fitted_ = true;
  bool autoSize_ = false;
  double zoom_ = 1.0;
  // The picture as drawn, at its drawn size: rows of it are worked out again on
  // the first paint after the picture rows under them changed, all of it after
  // a load or a resize.
  QImage drawn_;
  bool drawnValid_ = false;
  // Picture rows changed since the last paint: [changedTop_, changedBottom_).
  int changedTop_ = 0;
  int changedBottom_ = 0;
};

}  // namespace morvane
