#include "toolkit/picture_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

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
  pixmapValid_ = false;
  pixmap_ = QPixmap();
  if (autoSize_ && size() != QSize(picture_.width(), picture_.height())) applyAutoSize();
  update();
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
  if (!pixmapValid_ || pixmap_.size() != target.size()) {
    // A fitted view keeps the picture already scaled to its place, so a large
    // picture costs one scaling per change or resize, not one per paint.
    const QImage& image = picture_.image();
    if (target.size() == image.size()) {
      pixmap_ = QPixmap::fromImage(image);
    } else {
      // A large picture is first thinned out to twice the drawn size, which is
      // cheap, then smoothed down: close to a full smooth scaling at a
      // fraction of its cost.
      QImage source = image;
      const QSize twice = target.size() * 2;
      if (image.width() > 2 * twice.width() && image.height() > 2 * twice.height())
        source = image.scaled(twice, Qt::IgnoreAspectRatio, Qt::FastTransformation);
      pixmap_ = QPixmap::fromImage(
          source.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    pixmapValid_ = true;
  }
  QPainter painter(this);
  painter.drawPixmap(target.topLeft(), pixmap_);
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
