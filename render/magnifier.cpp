#include "render/magnifier.h"

#include "analysis/resample.h"
#include "render/colour_classes.h"

void render_magnifier(const HeightMatrix& map, int x0, int x1, int y0, int y1, int n, Picture& image,
                      ColourComponent blue, ColourComponent red, ColourComponent green, double lo, double hi,
                      HeightMatrix& magnifier_rows) {
  const int w = image.width();
  const int h = image.height();
  if (image.format() != PixelFormat::bgr24) image.replace(Picture(w, h, PixelFormat::bgr24));
  if (magnifier_rows.nx() != w || magnifier_rows.ny() != h) magnifier_rows = HeightMatrix(w, h, 0.0);

  resample_window(map, x0, x1, y0, y1, w, h, magnifier_rows);

  // A level is only formed for values inside lo..hi, where it lies in 0..255
  // already: reducing it to its low 8 bits changes nothing, and every value
  // outside the range is white whatever its level would be.
  const ClassColours colours = class_colours(level_thresholds(n), blue, red, green);
  for (int j = 0; j < h; ++j) {
    uint8_t* pixel = image.row(j);
    for (int i = 0; i < w; ++i, pixel += 3) {
      const int level = class_level(magnifier_rows(i, j), lo, hi);
      if (level < 0) {
        pixel[0] = pixel[1] = pixel[2] = 255;
        continue;
      }
      const auto& bgr = colours.bgr[static_cast<std::size_t>(level)];
      pixel[0] = bgr[0];
      pixel[1] = bgr[1];
      pixel[2] = bgr[2];
    }
  }
}
