#include "render/mean_filter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "render/row_smoothing.h"

namespace {

// One pass over one channel; returns whether any byte changed.
bool mean_pass(Picture& picture, int channel, int border_passes) {
  const int w = picture.width();
  const int h = picture.height();
  const int s = picture.bytes_per_pixel();
  // Bits of (old ^ new) of every pixel written: zero when nothing changed.
  unsigned changes = 0;
  for (int j = 1; j < h - 1; ++j) {
    const uint8_t* up = picture.row(j - 1) + channel;
    uint8_t* middle = picture.row(j) + channel;
    const uint8_t* down = picture.row(j + 1) + channel;
    for (int k = 0; k < w; ++k) {
      const int at = k * s;
      const uint8_t old = middle[at];
      if (k == 0 || k == w - 1) {
        middle[at] = smooth_vertical_121(up[at], middle[at], down[at]);
        changes |= old ^ middle[at];
        continue;
      }
      const int sum = up[at - s] + up[at] + up[at + s] + middle[at - s] + middle[at] + middle[at + s] +
                      down[at - s] + down[at] + down[at + s];
      middle[at] = static_cast<uint8_t>(sum / 9);
      changes |= old ^ middle[at];
    }
  }
  if (h < 1) return changes != 0;
  std::vector<uint8_t> before;
  bool changed = changes != 0;
  for (int i = 0; i < border_passes; ++i) {
    const bool top = smooth_border_row(picture, 0, channel, before);
    const bool bottom = smooth_border_row(picture, h - 1, channel, before);
    if (!top && !bottom) break;
    changed = true;
  }
  return changed;
}

}  // namespace

void mean_filter(Picture& picture, int n) {
  n = std::min(n, kMaxMeanPasses);
  for (int pass = 0; pass < n; ++pass) {
    bool changed = false;
    for (int channel = 0; channel < picture.bytes_per_pixel(); ++channel)
      changed |= mean_pass(picture, channel, n);
    if (!changed) break;
  }
}
