#include "gui/enlarged_view/unit_image.h"

#include <algorithm>

#include "gui/widgets/guarded_connect.h"

TFormImage::TFormImage(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("FormImage");
  setWindowTitle("image");
  resize(1288, 1004);
  Image_expanded = new ImageView(this);
  Image_expanded->setGeometry(8, 16, 105, 105);
  Image_expanded->setToolTip("click left mouse button to wrap");
  connect_guarded(Image_expanded, &ImageView::mouse_pressed, this, &TFormImage::Image_expandedMouseDown);
  connect_guarded(Image_expanded, &ImageView::mouse_moved, this, &TFormImage::Image_expandedMouseMove);
}

void TFormImage::show_picture(const Picture& picture, int width, int height) {
  // Sizes from a hand-edited settings file are kept within what a picture
  // can hold.
  Image_expanded->resize(std::clamp(width, 0, kMaxPictureSide), std::clamp(height, 0, kMaxPictureSide));
  Image_expanded->picture = picture;
  Image_expanded->update();
  showMaximized();
  raise();
  activateWindow();
}

void TFormImage::Image_expandedMouseDown(Qt::MouseButton button, int, int) {
  if (button == Qt::LeftButton) hide();
}

void TFormImage::Image_expandedMouseMove(int, int) {}
