#include "render/marker_bar.h"

#include "render/pixel_coordinate.h"

void draw_marker_bar(Picture& image, double fraction) {
  const int w = image.width();
  const int h = image.height();
  image.rectangle(0, 0, w, h);
  const int c = pixel_offset(h * fraction);
  if (4 < c && c < h - 4) {
    for (int i = -3; i <= 3; ++i) {
      image.move_to(0, c - i);
      image.line_to(w, c - i);
    }
  } else {
    image.move_to(0, c);
    image.line_to(w, c);
  }
}
