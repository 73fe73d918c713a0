// TFormImage, the enlarged view "image": a raw fringe image at its own size.
// A left click on it closes the window; closing only hides it.
#pragma once

#include <QWidget>

#include "gui/widgets/image_view.h"

class TFormImage : public QWidget {
  Q_OBJECT

 public:
  explicit TFormImage(QWidget* parent = nullptr);

  ImageView* Image_expanded;

  // Shows a copy of `picture` in a control of width x height pixels (the
  // channel's image size), maximised; brings the window to the front when it
  // is already shown.
  void show_picture(const Picture& picture, int width, int height);

  void Image_expandedMouseDown(Qt::MouseButton button, int x, int y);
  void Image_expandedMouseMove(int x, int y);
};
