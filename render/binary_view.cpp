#include "render/binary_view.h"

#include <algorithm>

void paint_binary_view(Picture& image, const HeightMatrix& map, CanvasColour positive,
                       CanvasColour negative) {
  const int nx = std::min({kMapSide, map.nx(), image.width()});
  const int ny = std::min({kMapSide, map.ny(), image.height()});
  for (int x = 0; x < nx; ++x) {
    for (int y = 0; y < ny; ++y) {
      const double v = map(x, y);
      if (v > 0.0)
        image.set_pixel(x, y, positive);
      else if (!(v >= 0.0))
        image.set_pixel(x, y, negative);
    }
  }
}
