#include <array>
#include <cstring>

#include "image_processing.h"

namespace {

// Bytes of a line copy: the widest row plus room for the last block of 16.
constexpr int32_t kLineRoom = kMaxImageSide + 32;
using Line = std::array<uint8_t, kLineRoom>;

using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Words16 = uint16_t __attribute__((vector_size(32)));

// out[i] = (a[i] + 2 b[i] + c[i]) div 4 for i in [0, n), 16 pixels at a time.
// The sum needs 10 bits; all four buffers have room for 15 bytes beyond n.
void binomial_line(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, int32_t n) {
  for (int32_t i = 0; i < n; i += 16) {
    Bytes16 va, vb, vc;
    std::memcpy(&va, a + i, sizeof va);
    std::memcpy(&vb, b + i, sizeof vb);
    std::memcpy(&vc, c + i, sizeof vc);
    const Words16 sum = __builtin_convertvector(va, Words16) +
                        (__builtin_convertvector(vb, Words16) << 1) +
                        __builtin_convertvector(vc, Words16);
    const Bytes16 result = __builtin_convertvector(sum >> 2, Bytes16);
    std::memcpy(out + i, &result, sizeof result);
  }
}

// Writes `n` bytes of `from` over `to`; returns whether any of them differed.
bool store_line(uint8_t* to, const uint8_t* from, int32_t n) {
  if (n <= 0 || std::memcmp(to, from, static_cast<std::size_t>(n)) == 0) return false;
  std::memcpy(to, from, static_cast<std::size_t>(n));
  return true;
}

}  // namespace

bool smooth_binomial(GreyImage* plane) {
  if (plane == nullptr || plane->type != 1) return false;
  const int32_t width = plane->width;
  const int32_t height = plane->height;
  const auto row_bytes = static_cast<std::size_t>(width);
  bool changed = false;
  Line copy{};
  Line result{};

  // Along each row, from a copy of the row; columns 0 and width - 1 stay.
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = img_line(plane, y);
    std::memcpy(copy.data(), row, row_bytes);
    binomial_line(copy.data(), copy.data() + 1, copy.data() + 2, result.data(), width - 2);
    changed |= store_line(row + 1, result.data(), width - 2);
  }

  // Along each column, done a row at a time: row y is built from copies of
  // rows y - 1, y and y + 1 as the row pass left them. Rows 0 and height - 1 stay.
  if (height < 3) return changed;
  std::array<Line, 3> lines{};
  uint8_t* lower = lines[0].data();
  uint8_t* middle = lines[1].data();
  uint8_t* upper = lines[2].data();
  std::memcpy(lower, img_line(plane, 0), row_bytes);
  std::memcpy(middle, img_line(plane, 1), row_bytes);
  for (int32_t y = 1; y + 1 < height; ++y) {
    std::memcpy(upper, img_line(plane, y + 1), row_bytes);
    binomial_line(lower, middle, upper, result.data(), width);
    changed |= store_line(img_line(plane, y), result.data(), width);
    uint8_t* const free_line = lower;  // rotate: the old row y - 1 is done with
    lower = middle;
    middle = upper;
    upper = free_line;
  }
  return changed;
}
