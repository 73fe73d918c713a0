#include "render/binomial_filter.h"

#include "render/row_smoothing.h"

namespace {

void binomial_pass(Picture& picture, int channel) {
  const int w = picture.width();
  const int h = picture.height();
  const int s = picture.bytes_per_pixel();
  for (int j = 1; j < h - 1; ++j) {
    const uint8_t* up = picture.row(j - 1) + channel;
    uint8_t* middle = picture.row(j) + channel;
    const uint8_t* down = picture.row(j + 1) + channel;
    for (int k = 0; k < w; ++k) {
      const int at = k * s;
      if (k == 0 || k == w - 1) {
        middle[at] = smooth_vertical_121(up[at], middle[at], down[at]);
        continue;
      }
      const int sum = up[at - s] + 2 * up[at] + up[at + s] +             //
                      2 * middle[at - s] + 4 * middle[at] + 2 * middle[at + s] +  //
                      down[at - s] + 2 * down[at] + down[at + s];
      middle[at] = static_cast<uint8_t>(sum >> 4);
    }
  }
  if (h < 1) return;
  smooth_row_121(picture.row(0) + channel, w, s);
  smooth_row_121(picture.row(h - 1) + channel, w, s);
}

}  // namespace

void binomial_filter(Picture& picture, int passes) {
  for (int pass = 0; pass < passes; ++pass)
    for (int channel = 0; channel < picture.bytes_per_pixel(); ++channel) binomial_pass(picture, channel);
}
