// The 10x15 mode's pieces apart from the window: the frame drawn over the
// preview, and the hold on the mouse pointer that keeps it inside the view
// while the frame follows it.
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

namespace tessaly {

// The 10x15 frame: a dashed outline over the preview that merges the inverted
// pen with the screen, so its black pen shows white and the picture inside
// stays as it is.
class TClipShape : public QWidget {
  Q_OBJECT

 public:
  explicit TClipShape(QWidget* parent);

 signals:
  void mouseMoved(QPoint pos);  // in the frame's parent's coordinates
  void mousePressed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

// Where the pointer is held: a view's area on the screen while the mode is
// on, the whole desktop when it is free. The mode is read back from it.
class TPointerClip {
 public:
  // Holds the pointer inside view: every mouse event comes to the view, and
  // a move that leaves it puts the pointer back at the edge (Keep).
  void Hold(QWidget* view);
  // Lets the pointer go (the whole desktop) and view's grab of the mouse.
  void Release(QWidget* view);
  // Held somewhere other than the whole desktop.
  bool Active() const;
  // pos, in view's coordinates, kept inside the held area: a pointer outside
  // it is put back at its edge, and the position it was put at is returned.
  QPoint Keep(QWidget* view, QPoint pos) const;

 private:
  QRect clip_;
};

}  // namespace tessaly
