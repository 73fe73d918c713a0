#include <cstdlib>
#include <cstring>

#include "image_processing.h"

namespace {

// Period count to add when stepping across a phase difference d (1/256
// period): +1 for d < -128, -1 for d >= 128, else 0.
inline int wrap(int d) { return static_cast<int>(d < -128) - static_cast<int>(d >= 128); }

bool same_shape(const GreyImage* a, const GreyImage* b) {
  return a->type == b->type && a->width == b->width && a->height == b->height;
}

}  // namespace

void flaw_mask(GreyImage* mask, const GreyImage* phase, int32_t threshold) {
  if (mask == nullptr || phase == nullptr || mask->type != 1 || !same_shape(mask, phase)) return;
  const int32_t width = mask->width;
  const int32_t height = mask->height;
  // Squares in 64 bits: any int32 threshold, negative ones acting like their
  // absolute value.
  const int64_t limit = int64_t{threshold} * threshold;

  for (int32_t y = 1; y + 1 < height; ++y) {
    // Phase bytes are signed; row y + 1 lies above row y in the picture.
    const auto* lower = reinterpret_cast<const int8_t*>(img_line(phase, y - 1));
    const auto* at = reinterpret_cast<const int8_t*>(img_line(phase, y));
    const auto* upper = reinterpret_cast<const int8_t*>(img_line(phase, y + 1));
    uint8_t* m = img_line(mask, y);
    for (int32_t x = 1; x + 1 < width; ++x) {
      const int b = at[x];
      // Right neighbour unwrapped via the pixel above and the upper right
      // diagonal, left neighbour via the pixel below and the lower left one.
      const int k1 = wrap(upper[x] - b);
      const int k2 = k1 + wrap(upper[x + 1] - upper[x]);
      const int k3 = k2 + wrap(at[x + 1] - upper[x + 1]);
      const int k4 = wrap(lower[x] - b);
      const int k5 = k4 + wrap(lower[x - 1] - lower[x]);
      const int k6 = k5 + wrap(at[x - 1] - lower[x - 1]);
      const int across = std::abs(at[x + 1] + 256 * k3 + at[x - 1] + 256 * k6 - 2 * b);
      const int along = std::abs(upper[x] + 256 * k1 + lower[x] + 256 * k4 - 2 * b);
      if (int64_t{across * across + along * along} > limit) m[x] = 0;
    }
    m[0] = 0;
    m[width - 1] = 0;
  }
  const auto row_bytes = static_cast<std::size_t>(width);
  std::memset(img_line(mask, 0), 0, row_bytes);
  std::memset(img_line(mask, height - 1), 0, row_bytes);
}
