// One separable 1-2-1 binomial pass over an 8-bit plane: the line kernel
// sums three rows (or three shifted views of one row) in 16-bit lanes.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/smooth_binomial.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "image_processing.h"

#ifndef FRINGE_SMOOTH_BINOMIAL_ONCE
#define FRINGE_SMOOTH_BINOMIAL_ONCE
namespace fringe {

// out[i] = (a[i] + 2 b[i] + c[i]) div 4 for i in [from, n); returns whether
// some out[i] differs from b[i] (the pixel it replaces). The sum needs 10
// bits. out may be the very bytes b holds: each is read before it is written.
inline bool binomial_line_plain(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, int32_t n,
                                int32_t from = 0) {
  uint8_t differ = 0;
  for (int32_t i = from; i < n; ++i) {
    const auto result = static_cast<uint8_t>((a[i] + 2 * b[i] + c[i]) >> 2);
    differ |= static_cast<uint8_t>(result ^ b[i]);
    out[i] = result;
  }
  return differ != 0;
}

}  // namespace fringe
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// binomial_line_plain a vector of 16-bit lanes at a time (signed, for the
// narrowing back to bytes), the rest plainly.
bool BinomialLine(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, int32_t n) {
  const hn::ScalableTag<int16_t> d16;
  const hn::Rebind<uint8_t, decltype(d16)> d8;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d16));
  auto differ = hn::Zero(d8);
  int32_t i = 0;
  for (; i + lanes <= n; i += lanes) {
    const auto middle = hn::LoadU(d8, b + i);
    const auto sum = hn::Add(hn::Add(hn::PromoteTo(d16, hn::LoadU(d8, a + i)), hn::PromoteTo(d16, hn::LoadU(d8, c + i))),
                             hn::ShiftLeft<1>(hn::PromoteTo(d16, middle)));
    const auto result = hn::DemoteTo(d8, hn::ShiftRight<2>(sum));
    hn::StoreU(result, d8, out + i);
    differ = hn::Or(differ, hn::Xor(result, middle));
  }
  const bool tail = binomial_line_plain(a, b, c, out, n, i);
  return tail || !hn::AllTrue(d8, hn::Eq(differ, hn::Zero(d8)));
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(BinomialLine);
}  // namespace fringe

namespace {

// Bytes of a line copy: the widest row.
using Line = std::array<uint8_t, kMaxImageSide>;

bool binomial_line(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, int32_t n) {
  return HWY_DYNAMIC_DISPATCH(fringe::BinomialLine)(a, b, c, out, n);
}

}  // namespace

bool smooth_binomial(GreyImage* plane, const GreyImage* from) {
  if (plane == nullptr || plane->type != 1) return false;
  if (from == plane) from = nullptr;
  if (from != nullptr && (from->type != 1 || from->width != plane->width || from->height != plane->height ||
                          from->stride != plane->stride))
    return false;
  const int32_t width = plane->width;
  const int32_t height = plane->height;
  const auto row_bytes = static_cast<std::size_t>(width);
  bool changed = false;

  // Along each row into a ring of three row copies, from the source row
  // (which in place is the plane's row, not yet replaced); columns 0 and
  // width - 1 stay as the source has them. Along each column, row y - 1 as
  // soon as row y has had its row pass (one sweep): it is built from the
  // ring's three rows straight into the plane. Rows 0 and height - 1 keep
  // their row pass alone; the rows' padding stays as the source has it.
  std::array<Line, 3> passed{};
  const auto padding = static_cast<std::size_t>(plane->stride) - row_bytes;
  for (int32_t y = 0; y < height && width > 0; ++y) {
    uint8_t* row = img_line(plane, y);
    const uint8_t* source = from != nullptr ? img_line(from, y) : row;
    uint8_t* along = passed[y % 3].data();
    if (width > 2) {
      along[0] = source[0];
      along[width - 1] = source[width - 1];
      changed |= binomial_line(source, source + 1, source + 2, along + 1, width - 2);
    } else {
      std::memcpy(along, source, row_bytes);
    }
    if (from != nullptr) std::memcpy(row + width, source + width, padding);
    if (y == 0 || y == height - 1) std::memcpy(row, along, row_bytes);
    if (y < 2) continue;
    const int32_t middle = y - 1;
    changed |= binomial_line(passed[(middle - 1) % 3].data(), passed[middle % 3].data(), along,
                             img_line(plane, middle), width);
  }
  return changed;
}
#endif  // HWY_ONCE
