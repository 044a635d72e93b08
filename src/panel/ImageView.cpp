#include "ImageView.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace tessaly {

TImageView::TImageView(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void TImageView::SetStretch(bool stretch) {
  stretch_ = stretch;
  update();
}

void TImageView::SetPicture(QImage picture) {
  picture_ = std::move(picture);
  update();
}

void TImageView::ClearPicture() { SetPicture(QImage()); }

QRect TImageView::PictureRect() const { return RectFor(picture_.size()); }

QRect TImageView::RectFor(QSize picture) const {
  const int64_t pw = picture.width(), ph = picture.height();
  if (pw <= 0 || ph <= 0) return QRect();
  if (!stretch_) return QRect(0, 0, int(pw), int(ph));
  // Fit the longer side of the picture first, then shrink to the other side
  // if it still sticks out; sizes truncated to whole pixels.
  const int64_t cw = width(), ch = height();
  const double aspect = double(pw) / double(ph);
  int64_t w, h;
  if (pw > ph) {
    w = cw;
    h = int64_t(std::trunc(double(cw) / aspect));
    if (h > ch) {
      h = ch;
      w = int64_t(std::trunc(double(ch) * aspect));
    }
  } else {
    h = ch;
    w = int64_t(std::trunc(double(ch) * aspect));
    if (w > cw) {
      w = cw;
      h = int64_t(std::trunc(double(cw) / aspect));
    }
  }
  return QRect(0, 0, int(w), int(h));
}

RenderTarget TImageView::Target() const { return RenderTarget{width(), height(), stretch_}; }

void TImageView::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(PictureRect(), picture_);
}

void TImageView::mouseMoveEvent(QMouseEvent* event) {
  emit mouseMoved(event->position().toPoint());
}

void TImageView::mousePressEvent(QMouseEvent* event) {
  emit mousePressed(event->position().toPoint(), event->button());
  emit clicked();
}

}  // namespace tessaly
