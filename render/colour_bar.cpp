#include "render/colour_bar.h"

#include <cmath>

void draw_colour_bar(Picture& image, ColourComponent blue, ColourComponent red, ColourComponent green) {
  const int w = image.width();
  const int h = image.height();
  Picture bar(w, h, PixelFormat::bgr24);
  for (int r = 0; r < h; ++r) {
    const auto level = static_cast<uint8_t>(std::lrint(static_cast<double>(r) / h * 255.0));
    const uint8_t b = blue(level);
    const uint8_t g = green(level);
    const uint8_t rd = red(level);
    uint8_t* pixel = bar.row(r);
    for (int c = 0; c < w; ++c, pixel += 3) {
      pixel[0] = b;
      pixel[1] = g;
      pixel[2] = rd;
    }
  }
  image.replace(std::move(bar));
}
