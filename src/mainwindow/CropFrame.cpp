#include "CropFrame.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

namespace tessaly {

namespace {

QRect Desktop() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->virtualGeometry() : QRect();
}

}  // namespace

TClipShape::TClipShape(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  hide();
}

void TClipShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // dest | ~pen: the black dashed pen shows white; nothing is filled.
  painter.setCompositionMode(QPainter::RasterOp_NotSourceOrDestination);
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TClipShape::mouseMoveEvent(QMouseEvent* event) {
  emit mouseMoved(mapToParent(event->position().toPoint()));
}

void TClipShape::mousePressEvent(QMouseEvent*) { emit mousePressed(); }

void TPointerClip::Hold(QWidget* view) {
  clip_ = QRect(view->mapToGlobal(QPoint(0, 0)), view->size());
  view->grabMouse();
}

void TPointerClip::Release(QWidget* view) {
  clip_ = Desktop();
  if (QWidget::mouseGrabber() == view) view->releaseMouse();
}

bool TPointerClip::Active() const { return clip_.isValid() && clip_ != Desktop(); }

QPoint TPointerClip::Keep(QWidget* view, QPoint pos) const {
  const QPoint global = view->mapToGlobal(pos);
  const QPoint held(std::clamp(global.x(), clip_.left(), clip_.right()),
                    std::clamp(global.y(), clip_.top(), clip_.bottom()));
  if (held == global) return pos;
  QCursor::setPos(held);
  return view->mapFromGlobal(held);
}

}  // namespace tessaly
