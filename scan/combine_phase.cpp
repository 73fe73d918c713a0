#include <cstring>

#include "image_processing.h"

namespace {

using Bytes16 = uint8_t __attribute__((vector_size(16)));
using SignedBytes16 = int8_t __attribute__((vector_size(16)));
using Words16 = uint16_t __attribute__((vector_size(32)));
using SignedWords16 = int16_t __attribute__((vector_size(32)));

// The value of one pixel: order * 256 + signed phase byte. Orders 1..254 give
// 128..65151, never 0: 0 means no phase (order 0 excluded, 255 not reached).
inline uint16_t combined(uint8_t order, uint8_t phase) {
  return order == 0 || order == 255 ? 0 : static_cast<uint16_t>(order * 256 + static_cast<int8_t>(phase));
}

}  // namespace

void combine_phase(GreyImage* out, const GreyImage* mask, const GreyImage* phase) {
  if (out == nullptr || mask == nullptr || phase == nullptr) return;
  if (out->type != 2 || mask->type != 1 || phase->type != 1) return;
  if (out->width != mask->width || out->height != mask->height ||
      phase->width != mask->width || phase->height != mask->height)
    return;
  const int32_t width = out->width;
  for (int32_t y = 0; y < out->height; ++y) {
    const uint8_t* orders = img_line(mask, y);
    const uint8_t* phases = img_line(phase, y);
    uint8_t* target = img_line(out, y);
    int32_t x = 0;
    // Sixteen pixels at a time in 16-bit lanes: the value fits 16 bits, so
    // order * 256 plus the sign-extended byte, taken modulo 2^16, is exact.
    for (; x + 16 <= width; x += 16) {
      Bytes16 m;
      SignedBytes16 p;
      std::memcpy(&m, orders + x, sizeof m);
      std::memcpy(&p, phases + x, sizeof p);
      const Words16 order = __builtin_convertvector(m, Words16);
      const SignedWords16 signed_phase = __builtin_convertvector(p, SignedWords16);
      Words16 low;
      std::memcpy(&low, &signed_phase, sizeof low);
      Words16 value = (order << 8) + low;
      value = (order == 0) | (order == 255) ? Words16{} : value;
      std::memcpy(target + 2 * x, &value, sizeof value);
    }
    for (; x < width; ++x) {
      const uint16_t value = combined(orders[x], phases[x]);
      std::memcpy(target + 2 * x, &value, sizeof value);
    }
  }
}
