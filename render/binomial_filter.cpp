#include "render/binomial_filter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "render/row_smoothing.h"

namespace {

using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Words16 = uint16_t __attribute__((vector_size(32)));

// sum += (16 bytes from p, widened) * 2^shift. By reference: a 32-byte vector
// passed by value would change the calling convention between SSE and AVX.
inline void add_words(Words16& sum, const uint8_t* p, int shift) {
  Bytes16 bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  sum += __builtin_convertvector(bytes, Words16) << shift;
}

// Of an interior row's 3 x 3 sum at pixel k, everything but the pixel to its
// left: t[k] = up[k-1] + 2 up[k] + up[k+1] + 4 mid[k] + 2 mid[k+1]
// + down[k-1] + 2 down[k] + down[k+1], for k = 1 .. w-2, pixels `step` bytes
// apart. These are all known before the row is written (the row above is
// already smoothed, mid[k] and mid[k+1] are not yet), so they are summed 16
// pixels at a time; at most 14 * 255 = 3570, which fits 16 bits.
void known_terms(const uint8_t* up, const uint8_t* mid, const uint8_t* down, int w, int step, uint16_t* t) {
  int k = 1;
  if (step == 1) {
    // Loads reach pixel k + 16, which must stay inside the row (<= w - 1).
    for (; k + 16 <= w - 1; k += 16) {
      Words16 sum = {};
      add_words(sum, up + k - 1, 0);
      add_words(sum, up + k, 1);
      add_words(sum, up + k + 1, 0);
      add_words(sum, mid + k, 2);
      add_words(sum, mid + k + 1, 1);
      add_words(sum, down + k - 1, 0);
      add_words(sum, down + k, 1);
      add_words(sum, down + k + 1, 0);
      std::memcpy(t + k, &sum, sizeof sum);
    }
  }
  for (; k < w - 1; ++k) {
    const int at = k * step;
    t[k] = static_cast<uint16_t>(up[at - step] + 2 * up[at] + up[at + step] + 4 * mid[at] +
                                 2 * mid[at + step] + down[at - step] + 2 * down[at] + down[at + step]);
  }
}

// The horizontal 1-2-1 of a top or bottom row; returns whether it changed a byte.
bool smooth_border_row(Picture& picture, int y, int channel, std::vector<uint8_t>& before) {
  uint8_t* row = picture.row(y);
  const auto bytes = static_cast<std::size_t>(picture.bytes_per_line());
  if (bytes == 0) return false;
  before.assign(row, row + bytes);
  smooth_row_121(row + channel, picture.width(), picture.bytes_per_pixel());
  return std::memcmp(before.data(), row, bytes) != 0;
}

// One pass over one channel; returns whether any byte changed. `terms` holds
// at least width values, `before` is scratch space.
bool binomial_pass(Picture& picture, int channel, std::vector<uint16_t>& terms, std::vector<uint8_t>& before) {
  const int w = picture.width();
  const int h = picture.height();
  const int s = picture.bytes_per_pixel();
  const auto row_bytes = static_cast<std::size_t>(picture.bytes_per_line());
  bool changed = false;
  for (int j = 1; j < h - 1 && w > 0; ++j) {
    const uint8_t* up = picture.row(j - 1) + channel;
    uint8_t* middle = picture.row(j) + channel;
    const uint8_t* down = picture.row(j + 1) + channel;
    before.assign(picture.row(j), picture.row(j) + row_bytes);
    known_terms(up, middle, down, w, s, terms.data());
    // Left to right, each result entering the next sum as its left pixel:
    // (t[k] + 2 * left) / 16, rounded down.
    unsigned left = smooth_vertical_121(up[0], middle[0], down[0]);
    middle[0] = static_cast<uint8_t>(left);
    for (int k = 1; k < w - 1; ++k) {
      left = (terms[k] + 2 * left) >> 4;
      middle[k * s] = static_cast<uint8_t>(left);
    }
    if (w > 1) {
      const int at = (w - 1) * s;
      middle[at] = smooth_vertical_121(up[at], middle[at], down[at]);
    }
    changed |= std::memcmp(before.data(), picture.row(j), row_bytes) != 0;
  }
  if (h < 1) return changed;
  changed |= smooth_border_row(picture, 0, channel, before);
  changed |= smooth_border_row(picture, h - 1, channel, before);
  return changed;
}

}  // namespace

void binomial_filter(Picture& picture, int passes) {
  const int runs = std::min(passes, kMaxBinomialPasses);
  std::vector<uint16_t> terms(static_cast<std::size_t>(picture.width()));
  std::vector<uint8_t> before;
  for (int pass = 0; pass < runs; ++pass) {
    bool changed = false;
    for (int channel = 0; channel < picture.bytes_per_pixel(); ++channel)
      changed |= binomial_pass(picture, channel, terms, before);
    if (!changed) break;
  }
}
