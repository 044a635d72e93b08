// TImageView: a widget that shows one picture. It has a width and a height
// (the widget's own), a stretch flag and a picture. With Stretch on it draws
// the picture scaled proportionally to fit its client area, anchored at the
// top-left corner, enlarging as well as reducing; with Stretch off it draws
// the picture at its own size at the top-left corner. PictureRect() is the
// rectangle, in client coordinates, the picture is drawn in.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include "Render.h"

namespace tessaly {

class TImageView : public QWidget {
  Q_OBJECT

 public:
  explicit TImageView(QWidget* parent = nullptr);

  bool Stretch() const { return stretch_; }
  void SetStretch(bool stretch);

  const QImage& Picture() const { return picture_; }
  void SetPicture(QImage picture);
  void ClearPicture();

  // The drawn rectangle; empty when there is no picture.
  QRect PictureRect() const;
  // The rectangle a picture of that size would be drawn in; empty for an
  // empty size.
  QRect RectFor(QSize picture) const;

  // What a render into this view has to fill: its size and stretch flag.
  RenderTarget Target() const;

 signals:
  // Mouse positions are in the view's client coordinates. Moves are reported
  // with or without a button held.
  void mouseMoved(QPoint pos);
  void mousePressed(QPoint pos, Qt::MouseButton button);
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QImage picture_;
  bool stretch_ = false;
};

}  // namespace tessaly
