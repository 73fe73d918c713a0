#include <cstring>
#include <vector>

#include "image_processing.h"

void combine_phase(GreyImage* out, const GreyImage* mask, const GreyImage* phase) {
  if (out == nullptr || mask == nullptr || phase == nullptr) return;
  if (out->type != 2 || mask->type != 1 || phase->type != 1) return;
  if (out->width != mask->width || out->height != mask->height ||
      phase->width != mask->width || phase->height != mask->height)
    return;
  const int32_t width = out->width;
  std::vector<uint16_t> line(static_cast<std::size_t>(width));
  for (int32_t y = 0; y < out->height; ++y) {
    const uint8_t* orders = img_line(mask, y);
    const uint8_t* phases = img_line(phase, y);
    for (int32_t x = 0; x < width; ++x) {
      const int m = orders[x];
      const int p = static_cast<int8_t>(phases[x]);
      // Orders 1..254 give 128..65151, never 0: 0 means no phase.
      line[static_cast<std::size_t>(x)] = m == 0 || m == 255 ? 0 : static_cast<uint16_t>(m * 256 + p);
    }
    std::memcpy(img_line(out, y), line.data(), line.size() * sizeof(uint16_t));
  }
}
