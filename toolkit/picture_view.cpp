#include "toolkit/picture_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "toolkit/fitted_drawing.h"

namespace morvane {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {}

void PictureView::setFitted(bool fitted) {
  fitted_ = fitted;
  if (fitted) setAutoSize(false);
  update();
}

void PictureView::setAutoSize(bool autoSize) {
  if (autoSize == autoSize_) return;
  autoSize_ = autoSize;
  if (autoSize) {
    fitted_ = false;
    applyAutoSize();
  } else {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    updateGeometry();
  }
  update();
}

void PictureView::applyAutoSize() {
  setFixedSize(picture_.width(), picture_.height());
  updateGeometry();
}

void PictureView::pictureChanged() {
  drawnValid_ = false;
  changedTop_ = changedBottom_ = 0;
  if (autoSize_ && size() != QSize(picture_.width(), picture_.height())) applyAutoSize();
  update();
}

void PictureView::rowsChanged(int y0, int y1) {
  y0 = std::max(y0, 0);
  y1 = std::min(y1, picture_.height());
  if (y0 >= y1) return;
  if (changedTop_ >= changedBottom_) {
    changedTop_ = y0;
    changedBottom_ = y1;
  } else {
    changedTop_ = std::min(changedTop_, y0);
    changedBottom_ = std::max(changedBottom_, y1);
  }
  const QRect target = targetRect();
  const int ph = std::max(picture_.height(), 1);
  const int top = static_cast<int>(static_cast<qint64>(y0) * target.height() / ph);
  const int bottom = static_cast<int>((static_cast<qint64>(y1) * target.height() + ph - 1) / ph);
  update(QRect(target.left(), target.top() + top, target.width(), bottom - top + 1));
}

QSize PictureView::sizeHint() const {
  if (autoSize_) return QSize(picture_.width(), picture_.height());
  return QWidget::sizeHint();
}

QRect PictureView::targetRect() const {
  const int pw = picture_.width();
  const int ph = picture_.height();
  if (!fitted_) return QRect(0, 0, pw, ph);
  int w = pw;
  int h = ph;
  if (pw > width() || ph > height()) {
    // Scaled down by the tighter of the two ratios, proportions kept.
    if (static_cast<qint64>(pw) * height() > static_cast<qint64>(ph) * width()) {
      w = width();
      h = static_cast<int>(static_cast<qint64>(ph) * width() / pw);
    } else {
      h = height();
      w = static_cast<int>(static_cast<qint64>(pw) * height() / ph);
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
  }
  return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

QPoint PictureView::toPicture(QPoint widgetPoint) const {
  if (autoSize_ || picture_.isEmpty()) return widgetPoint;
  const QRect target = targetRect();
  const double sx = static_cast<double>(picture_.width()) / target.width();
  const double sy = static_cast<double>(picture_.height()) / target.height();
  return QPoint(static_cast<int>(std::floor((widgetPoint.x() - target.left()) * sx)),
                static_cast<int>(std::floor((widgetPoint.y() - target.top()) * sy)));
}

void PictureView::paintEvent(QPaintEvent*) {
  if (picture_.isEmpty()) return;
  const QRect target = targetRect();
  if (!drawnValid_ || drawn_.size() != target.size()) {
    drawn_ = QImage(target.size(), QImage::Format_RGB32);
    if (drawn_.isNull()) return;
    DrawFitted(picture_.image(), drawn_, 0, drawn_.height());
    drawnValid_ = true;
  } else if (changedTop_ < changedBottom_) {
    // Only the drawn rows whose picture rows changed are worked out again.
    const qint64 ph = picture_.height();
    const int top = static_cast<int>(changedTop_ * static_cast<qint64>(drawn_.height()) / ph);
    const int bottom =
        static_cast<int>((changedBottom_ * static_cast<qint64>(drawn_.height()) + ph - 1) / ph);
    DrawFitted(picture_.image(), drawn_, top, std::min(bottom, drawn_.height()));
  }
  changedTop_ = changedBottom_ = 0;
  QPainter painter(this);
  painter.drawImage(target.topLeft(), drawn_);
}

void PictureView::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  emit doubleClicked();
}

void PictureView::mousePressEvent(QMouseEvent* event) {
  event->accept();
  const QPoint point = toPicture(event->position().toPoint());
  emit pressed(point.x(), point.y());
}

}  // namespace morvane
