#include "toolkit/picture_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
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

void PictureView::setZoom(double factor) {
  if (!(factor > 0) || factor == zoom_) return;
  zoom_ = factor;
  drawnValid_ = false;
  if (autoSize_) applyAutoSize();
  update();
}

QSize PictureView::zoomedSize() const {
  if (zoom_ == 1.0 || picture_.isEmpty()) return QSize(picture_.width(), picture_.height());
  const auto scaled = [this](int length) {
    return static_cast<int>(std::clamp(std::round(length * zoom_), 1.0, 1e7));
  };
  return QSize(scaled(picture_.width()), scaled(picture_.height()));
}

void PictureView::applyAutoSize() {
  setFixedSize(zoomedSize());
  updateGeometry();
}

void PictureView::pictureChanged() {
  drawnValid_ = false;
  changedTop_ = changedBottom_ = 0;
  if (autoSize_ && size() != zoomedSize()) applyAutoSize();
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
  if (autoSize_) return zoomedSize();
  return QWidget::sizeHint();
}

QRect PictureView::targetRect() const {
  const int pw = picture_.width();
  const int ph = picture_.height();
  if (!fitted_) return QRect(QPoint(0, 0), zoomedSize());
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
  if (picture_.isEmpty()) return widgetPoint;
  // The picture pixel drawn there (beyond the picture, the pixel that would be).
  const QRect target = targetRect();
  return QPoint(
      PictureCoordinate(widgetPoint.x() - target.left(), target.width(), picture_.width()),
      PictureCoordinate(widgetPoint.y() - target.top(), target.height(), picture_.height()));
}

void PictureView::paintEvent(QPaintEvent* event) {
  if (picture_.isEmpty()) return;
  const QRect target = targetRect();
  if (static_cast<qint64>(target.width()) * target.height() > kKeptPixels) {
    // Too large to keep: only the part being painted is drawn.
    drawn_ = QImage();
    changedTop_ = changedBottom_ = 0;
    const QRect part = event->rect() & target;
    if (part.isEmpty()) return;
    QImage piece(part.size(), QImage::Format_RGB32);
    if (piece.isNull()) return;
    DrawScaled(picture_.image(), target.size(), part.translated(-target.topLeft()), piece,
               QPoint(0, 0));
    QPainter painter(this);
    painter.drawImage(part.topLeft(), piece);
    return;
  }
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
