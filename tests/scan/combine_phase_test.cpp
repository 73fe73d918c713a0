// combine_phase at every vector target: every order with every phase byte
// (rows of 16 pixels and more; narrower ones the first 4096 pairs), at row
// widths that end on a whole vector and one pixel before and after it
// for each lane count (1 to 128 lanes of 16 bits), so that each row's tail
// passes to the plain loop at every length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "every_target.h"
#include "scan/image_processing.h"

namespace {

using Image = std::unique_ptr<GreyImage, decltype(&img_destroy)>;
Image make_image(int32_t type, int32_t width, int32_t height) {
  return Image(img_create(type, width, height), &img_destroy);
}

TEST(CombinePhase, EveryOrderWithEveryPhaseAtEveryTargetAndRowEnd) {
  for_every_target([] {
    for (const int32_t width : {1, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 127, 128, 129, 259}) {
      const int32_t height = std::min((65536 + width - 1) / width, kMaxImageSide);
      Image orders = make_image(1, width, height), phases = make_image(1, width, height);
      Image out = make_image(2, width, height);
      for (int32_t i = 0; i < width * height; ++i) {
        img_line(orders.get(), i / width)[i % width] = static_cast<uint8_t>(i);
        img_line(phases.get(), i / width)[i % width] = static_cast<uint8_t>(i >> 8);
      }
      combine_phase(out.get(), orders.get(), phases.get());
      for (int32_t i = 0; i < width * height; ++i) {
        const int order = i % 256, phase = static_cast<int8_t>(i >> 8);
        uint16_t word = 0;
        std::memcpy(&word, img_line(out.get(), i / width) + 2 * (i % width), sizeof word);
        ASSERT_EQ(word, order == 0 || order == 255 ? 0 : order * 256 + phase)
            << "width " << width << ", order " << order << ", phase " << phase;
      }
    }
  });
}

}  // namespace
