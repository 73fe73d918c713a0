#include "render/mean_filter.h"

#include "render/row_smoothing.h"

namespace {

void mean_pass(Picture& picture, int channel, int border_passes) {
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
      const int sum = up[at - s] + up[at] + up[at + s] + middle[at - s] + middle[at] + middle[at + s] +
                      down[at - s] + down[at] + down[at + s];
      middle[at] = static_cast<uint8_t>(sum / 9);
    }
  }
  if (h < 1) return;
  for (int i = 0; i < border_passes; ++i) {
    smooth_row_121(picture.row(0) + channel, w, s);
    smooth_row_121(picture.row(h - 1) + channel, w, s);
  }
}

}  // namespace

void mean_filter(Picture& picture, int n) {
  for (int pass = 0; pass < n; ++pass)
    for (int channel = 0; channel < picture.bytes_per_pixel(); ++channel) mean_pass(picture, channel, n);
}
