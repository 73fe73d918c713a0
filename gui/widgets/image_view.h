// An image control: a Picture in plain memory drawn unscaled from the top-left
// corner of the widget, with the pointer events of the control.
#pragma once

#include <QWidget>

#include "render/picture.h"

class ImageView : public QWidget {
  Q_OBJECT

 public:
  explicit ImageView(QWidget* parent = nullptr);

  // The control's picture; callers draw into it and then call update().
  Picture picture;

  // Repaints at once, as a status step needs while a long run holds the
  // event loop.
  void repaint_now() { repaint(); }

 signals:
  void mouse_moved(int x, int y);
  void mouse_pressed(Qt::MouseButton button, int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};
