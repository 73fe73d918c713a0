#include <cstddef>
#include <memory>
#include <new>

#include "image_processing.h"

namespace {

// Mask values that are not orders.
constexpr uint8_t kExcluded = 0;
constexpr uint8_t kNotReached = 255;
constexpr int kStartOrder = 128;

struct PixelAt {
  uint16_t x;
  uint16_t y;
};

}  // namespace

void unwrap_orders(GreyImage* mask, const GreyImage* phase) {
  if (mask == nullptr || phase == nullptr || mask->type != 1 || phase->type != 1 ||
      mask->width != phase->width || mask->height != phase->height)
    return;
  const int32_t width = mask->width;
  const int32_t height = mask->height;
  const int32_t start_x = width / 2;
  const int32_t start_y = height / 2;
  uint8_t* start = img_line(mask, start_y) + start_x;
  if (*start != kNotReached) return;
  *start = kStartOrder;

  // Every pixel is marked before it is pushed, so it is pushed at most once.
  const std::size_t room = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 32;
  const std::unique_ptr<PixelAt[]> stack(new (std::nothrow) PixelAt[room]);
  if (!stack) return;
  std::size_t top = 0;
  stack[top++] = {static_cast<uint16_t>(start_x), static_cast<uint16_t>(start_y)};

  uint8_t* const mask_pixels = mask->pixels;
  const uint8_t* const phase_pixels = phase->pixels;
  const std::ptrdiff_t mask_stride = mask->stride;
  const std::ptrdiff_t phase_stride = phase->stride;
  while (top > 0) {
    const PixelAt here = stack[--top];
    const int32_t x = here.x;
    const int32_t y = here.y;
    uint8_t* const at = mask_pixels + y * mask_stride + x;
    const uint8_t* const phase_at = phase_pixels + y * phase_stride + x;
    const int order = *at;
    const int p = static_cast<int8_t>(*phase_at);
    const auto visit = [&](uint8_t* m, const uint8_t* phase_there, int32_t to_x, int32_t to_y) {
      if (*m != kNotReached) return;
      const int d = static_cast<int8_t>(*phase_there) - p;
      const int next = order + static_cast<int>(d < -128) - static_cast<int>(d >= 128);
      // Beyond 1..254 an order would read as excluded or not reached: the
      // pixel keeps 255 (no phase) unless another neighbour reaches it.
      if (next <= kExcluded || next >= kNotReached) return;
      *m = static_cast<uint8_t>(next);
      stack[top++] = {static_cast<uint16_t>(to_x), static_cast<uint16_t>(to_y)};
    };
    if (y > 0) visit(at - mask_stride, phase_at - phase_stride, x, y - 1);
    if (y < height - 1) visit(at + mask_stride, phase_at + phase_stride, x, y + 1);
    if (x > 0) visit(at - 1, phase_at - 1, x - 1, y);
    if (x < width - 1) visit(at + 1, phase_at + 1, x + 1, y);
  }
}
