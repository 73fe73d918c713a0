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

  // Every pixel is marked before it is pushed, so it is pushed at most once;
  // the room beyond the pixel count takes the entry written without a push.
  const std::size_t room = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 32;
  const std::unique_ptr<PixelAt[]> stack(new (std::nothrow) PixelAt[room]);
  if (!stack) return;
  std::size_t top = 0;
  stack[top++] = {static_cast<uint16_t>(start_x), static_cast<uint16_t>(start_y)};

  // Both planes hold one byte per pixel and have the same width, so one
  // offset addresses a pixel in either.
  uint8_t* const orders = mask->pixels;
  const uint8_t* const phases = phase->pixels;
  const std::ptrdiff_t stride = mask->stride;
  while (top > 0) {
    const PixelAt here = stack[--top];
    const std::ptrdiff_t at = here.y * stride + here.x;
    const int order = orders[at];
    const int p = static_cast<int8_t>(phases[at]);
    // Whether a neighbour takes an order depends on the data, and a branch
    // on it would be mispredicted all along the front of the fill: the order
    // byte is written back either way and the stack entry written either
    // way, kept only when the neighbour took the order. Neighbours are
    // pushed in the same order as before, so the fill visits the same pixels
    // in the same order.
    const auto visit = [&](std::ptrdiff_t offset, int32_t x, int32_t y) {
      const std::ptrdiff_t there = at + offset;
      const int m = orders[there];
      const int d = static_cast<int8_t>(phases[there]) - p;
      const int next = order + static_cast<int>(d < -128) - static_cast<int>(d >= 128);
      // Beyond 1..254 an order would read as excluded or not reached: the
      // pixel keeps 255 (no phase) unless another neighbour reaches it.
      const bool take = (m == kNotReached) & (next > kExcluded) & (next < kNotReached);
      orders[there] = static_cast<uint8_t>(take ? next : m);
      stack[top] = {static_cast<uint16_t>(x), static_cast<uint16_t>(y)};
      top += static_cast<std::size_t>(take);
    };
    if (here.y > 0) visit(-stride, here.x, here.y - 1);
    if (here.y < height - 1) visit(stride, here.x, here.y + 1);
    if (here.x > 0) visit(-1, here.x - 1, here.y);
    if (here.x < width - 1) visit(1, here.x + 1, here.y);
  }
}
