// Picture view: shows a Picture. In the main window it is centred and scaled
// down proportionally when larger than the view; in the image windows it sizes
// itself to its picture. Reports double clicks and presses in picture coordinates.
#pragma once

#include <QPixmap>
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
  // The view takes the size of its picture (image windows).
  void setAutoSize(bool autoSize);

  // Schedules a repaint after the picture changed (after a sweep, a load).
  void pictureChanged();

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

  Picture picture_;
  bool fitted_ = true;
  bool autoSize_ = false;
  // The picture as drawn, at its drawn size; converted on the first paint after
  // a change or a resize.
  QPixmap pixmap_;
  bool pixmapValid_ = false;
};

}  // namespace morvane
