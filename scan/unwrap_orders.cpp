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

namespace {

// The order a step from a pixel of order `order` and phase p to a neighbour
// of phase byte `there` gives it: one more where the phase falls by more than
// half a period, one less where it rises by half a period or more.
inline int next_order(int order, int p, uint8_t there) {
  const int d = static_cast<int8_t>(there) - p;
  return order + static_cast<int>(d < -128) - static_cast<int>(d >= 128);
}
// Beyond 1..254 an order would read as excluded or not reached: the pixel
// keeps 255 (no phase) unless another neighbour reaches it.
inline bool holds_order(int next) { return next > kExcluded && next < kNotReached; }

// Whether no pixel of the outermost rows and columns can be reached: then
// the fill never steps off the picture and needs no bounds.
bool border_unreachable(const GreyImage* mask) {
  const int32_t width = mask->width;
  const int32_t height = mask->height;
  if (width < 3 || height < 3) return false;  // the start pixel would lie on the border
  const uint8_t* first = img_line(mask, 0);
  const uint8_t* last = img_line(mask, height - 1);
  for (int32_t x = 0; x < width; ++x)
    if (first[x] == kNotReached || last[x] == kNotReached) return false;
  for (int32_t y = 1; y < height - 1; ++y) {
    const uint8_t* row = img_line(mask, y);
    if (row[0] == kNotReached || row[width - 1] == kNotReached) return false;
  }
  return true;
}

// The fill inside a border it cannot reach: pixels by their offset from the
// first one (both planes have the same stride), without bounds, in the same
// order as the bounded fill below. (Marking and pushing without branches is
// four times slower: the processor then waits for every pixel's loads
// before it can pop the next.)
void fill_inside_border(uint8_t* mask_pixels, const uint8_t* phase_pixels, std::ptrdiff_t stride,
                        uint32_t start, uint32_t* stack) {
  std::size_t top = 0;
  stack[top++] = start;
  while (top > 0) {
    const uint32_t here = stack[--top];
    uint8_t* const at = mask_pixels + here;
    const uint8_t* const phase_at = phase_pixels + here;
    const int order = *at;
    const int p = static_cast<int8_t>(*phase_at);
    const auto visit = [&](std::ptrdiff_t step) {
      uint8_t* const m = at + step;
      if (*m != kNotReached) return;
      const int next = next_order(order, p, phase_at[step]);
      if (!holds_order(next)) return;
      *m = static_cast<uint8_t>(next);
      stack[top++] = static_cast<uint32_t>(static_cast<std::ptrdiff_t>(here) + step);
    };
    visit(-stride);
    visit(stride);
    visit(-1);
    visit(1);
  }
}

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
  // The same orders in vectors wherever the sweeps can be sure of them.
  if (unwrap_by_sweeps(mask, phase)) return;

  // Every pixel is marked before it is pushed, so it is pushed at most once.
  const std::size_t room = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 32;
  if (mask->stride == phase->stride && border_unreachable(mask)) {
    const std::unique_ptr<uint32_t[]> stack(new (std::nothrow) uint32_t[room]);
    if (!stack) return;
    *start = kStartOrder;
    fill_inside_border(mask->pixels, phase->pixels, mask->stride,
                       static_cast<uint32_t>(start - mask->pixels), stack.get());
    return;
  }
  const std::unique_ptr<PixelAt[]> stack(new (std::nothrow) PixelAt[room]);
  if (!stack) return;
  *start = kStartOrder;
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
      const int next = next_order(order, p, *phase_there);
      if (!holds_order(next)) return;
      *m = static_cast<uint8_t>(next);
      stack[top++] = {static_cast<uint16_t>(to_x), static_cast<uint16_t>(to_y)};
    };
    if (y > 0) visit(at - mask_stride, phase_at - phase_stride, x, y - 1);
    if (y < height - 1) visit(at + mask_stride, phase_at + phase_stride, x, y + 1);
    if (x > 0) visit(at - 1, phase_at - 1, x - 1, y);
    if (x < width - 1) visit(at + 1, phase_at + 1, x + 1, y);
  }
}
