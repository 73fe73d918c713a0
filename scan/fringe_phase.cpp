// The phase step in vectors: eight rows side by side, lane r of a window's
// eight values belonging to row y0 + r. The local period depends on the
// column alone, so all eight rows use the same kernel tap at the same time,
// and every value goes through exactly the operations of the plain
// definition (fringe_phase_plain.cpp), in the same order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image_processing.h"
#include "phase_plan.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/fringe_phase.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include "scan/phase_angle-inl.h"

#ifndef FRINGE_SCAN_FRINGE_PHASE_ONCE_
#define FRINGE_SCAN_FRINGE_PHASE_ONCE_
namespace {

constexpr int32_t kRows = 8;
// Windows of one run: at most kRebuildStep starts plus the columns a grown
// window would skip (its half grows by less than kMaxKernelTaps / 2), plus
// the last pass's overrun.
constexpr int32_t kMaxRunWindows = kRebuildStep + kMaxKernelTaps / 2 + 8;

// Work buffers of one group of rows: grey levels of the eight rows per column
// (kRows doubles a column, with zeros beyond the row for the passes that read
// past a run's end), the grey bytes and the phase bytes of the eight rows per
// column. The grey levels start on a 64-byte boundary, so that no load of a
// column crosses a cache line.
// The grey levels are owned from the moment they are allocated, so that a
// later allocation failing in the constructor does not leak them.
struct AlignedDoubles {
  void operator()(double* p) const { ::operator delete[](p, std::align_val_t{64}); }
};
struct GroupBuffers {
  explicit GroupBuffers(std::size_t columns)
      : grey_storage(new (std::align_val_t{64}) double[columns * kRows]()),
        grey(grey_storage.get()),
        levels(columns * kRows),
        phase(columns * kRows) {}
  std::unique_ptr<double[], AlignedDoubles> grey_storage;
  double* grey;
  std::vector<uint8_t> levels;
  std::vector<uint8_t> phase;
};

// 8 x 8 bytes transposed in place: words[r] holds bytes (r, 0..7), byte c
// in bits 8c .. 8c + 7, and gets bytes (0..7, r). Three rounds swap the
// off-diagonal halves of 2 x 2 blocks of bytes, of pairs and of quadruples.
inline void transpose_8x8(uint64_t words[8]) {
  const auto swap = [&](int32_t a, int32_t b, int32_t shift, uint64_t mask) {
    const uint64_t t = ((words[a] >> shift) ^ words[b]) & mask;
    words[b] ^= t;
    words[a] ^= t << shift;
  };
  for (int32_t r = 0; r < 8; r += 2) swap(r, r + 1, 8, 0x00FF00FF00FF00FFULL);
  for (int32_t r : {0, 1, 4, 5}) swap(r, r + 2, 16, 0x0000FFFF0000FFFFULL);
  for (int32_t r = 0; r < 4; ++r) swap(r, r + 4, 32, 0x00000000FFFFFFFFULL);
}

}  // namespace
#endif  // FRINGE_SCAN_FRINGE_PHASE_ONCE_

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {

#if HWY_TARGET != HWY_SCALAR
// One round of a perfect shuffle of eight 16-byte vectors: vectors k and
// k + 4 interleaved into vectors 2k (their low halves) and 2k + 1 (high).
// With element (v, b) of vector v, byte b as the 7-bit number v * 16 + b, a
// round rotates that number left by one bit: three rounds take eight rows of
// 16 columns to 16 columns of eight rows, four take them back. The vectors
// are eight variables, not an array: SVE's vectors have no size the
// compiler knows and cannot be array elements.
template <class D8, class V>
HWY_INLINE void ShuffleRound(D8 d8, V& v0, V& v1, V& v2, V& v3, V& v4, V& v5, V& v6, V& v7) {
  const V w0 = hn::InterleaveLower(d8, v0, v4), w1 = hn::InterleaveUpper(d8, v0, v4);
  const V w2 = hn::InterleaveLower(d8, v1, v5), w3 = hn::InterleaveUpper(d8, v1, v5);
  const V w4 = hn::InterleaveLower(d8, v2, v6), w5 = hn::InterleaveUpper(d8, v2, v6);
  const V w6 = hn::InterleaveLower(d8, v3, v7), w7 = hn::InterleaveUpper(d8, v3, v7);
  v0 = w0, v1 = w1, v2 = w2, v3 = w3, v4 = w4, v5 = w5, v6 = w6, v7 = w7;
}
#endif

// The first columns of eight rows in blocks of 16, as many as fit the
// width, transposed into `columns` (eight bytes a column); returns how many.
HWY_INLINE int32_t TransposeIn(uint8_t* const (&rows)[kRows], int32_t width, uint8_t* HWY_RESTRICT columns) {
#if HWY_TARGET == HWY_SCALAR
  (void)rows, (void)width, (void)columns;
  return 0;
#else
  const hn::CappedTag<uint8_t, 16> d8;
  if (hn::Lanes(d8) != 16) return 0;
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const auto load = [&](int32_t r) { return hn::LoadU(d8, rows[r] + x); };
    auto v0 = load(0), v1 = load(1), v2 = load(2), v3 = load(3), v4 = load(4), v5 = load(5), v6 = load(6),
         v7 = load(7);
#pragma GCC unroll 3
    for (int32_t round = 0; round < 3; ++round) ShuffleRound(d8, v0, v1, v2, v3, v4, v5, v6, v7);
    uint8_t* const out = columns + static_cast<std::ptrdiff_t>(x) * kRows;
    hn::StoreU(v0, d8, out), hn::StoreU(v1, d8, out + 16), hn::StoreU(v2, d8, out + 32);
    hn::StoreU(v3, d8, out + 48), hn::StoreU(v4, d8, out + 64), hn::StoreU(v5, d8, out + 80);
    hn::StoreU(v6, d8, out + 96), hn::StoreU(v7, d8, out + 112);
  }
  return x;
#endif
}

// The inverse: columns of eight bytes back into the first columns of the
// eight rows, in blocks of 16; returns how many.
HWY_INLINE int32_t TransposeOut(const uint8_t* HWY_RESTRICT columns, int32_t width, uint8_t* const (&rows)[kRows]) {
#if HWY_TARGET == HWY_SCALAR
  (void)rows, (void)width, (void)columns;
  return 0;
#else
  const hn::CappedTag<uint8_t, 16> d8;
  if (hn::Lanes(d8) != 16) return 0;
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const uint8_t* const in = columns + static_cast<std::ptrdiff_t>(x) * kRows;
    auto v0 = hn::LoadU(d8, in), v1 = hn::LoadU(d8, in + 16), v2 = hn::LoadU(d8, in + 32),
         v3 = hn::LoadU(d8, in + 48), v4 = hn::LoadU(d8, in + 64), v5 = hn::LoadU(d8, in + 80),
         v6 = hn::LoadU(d8, in + 96), v7 = hn::LoadU(d8, in + 112);
#pragma GCC unroll 4
    for (int32_t round = 0; round < 4; ++round) ShuffleRound(d8, v0, v1, v2, v3, v4, v5, v6, v7);
    hn::StoreU(v0, d8, rows[0] + x), hn::StoreU(v1, d8, rows[1] + x), hn::StoreU(v2, d8, rows[2] + x);
    hn::StoreU(v3, d8, rows[3] + x), hn::StoreU(v4, d8, rows[4] + x), hn::StoreU(v5, d8, rows[5] + x);
    hn::StoreU(v6, d8, rows[6] + x), hn::StoreU(v7, d8, rows[7] + x);
  }
  return x;
#endif
}

// Grey levels of rows y0 .. y0 + 7 (rows from `height` on read as zeros) as
// doubles, eight rows per column, for `width` columns rounded up to 8.
HWY_INLINE void LoadGroup(const GreyImage* plane, int32_t y0, GroupBuffers& buffers) {
  const int32_t width = plane->width;
  uint8_t* columns = buffers.levels.data();
  int32_t x = 0;
  if (y0 + kRows <= plane->height) {
    uint8_t* rows[kRows];
    for (int32_t r = 0; r < kRows; ++r) rows[r] = img_line(plane, y0 + r);
    x = TransposeIn(rows, width, columns);
  }
  for (; x < width; x += 8) {
    uint64_t words[kRows] = {};
    const auto count = static_cast<std::size_t>(std::min(8, width - x));
    for (int32_t r = 0; r < kRows && y0 + r < plane->height; ++r)
      std::memcpy(&words[r], img_line(plane, y0 + r) + x, count);
    transpose_8x8(words);
    std::memcpy(columns + static_cast<std::ptrdiff_t>(x) * kRows, words, sizeof words);
  }
  const hn::CappedTag<double, kRows> d;
  const hn::Rebind<int32_t, decltype(d)> di32;
  const hn::Rebind<uint8_t, decltype(d)> du8;
  const std::size_t values = static_cast<std::size_t>((width + 7) / 8 * 8) * kRows;
  for (std::size_t i = 0; i < values; i += hn::Lanes(d))
    hn::Store(hn::PromoteTo(d, hn::PromoteTo(di32, hn::LoadU(du8, columns + i))), d, buffers.grey + i);
}

// Phase bytes back into rows y0 .. y0 + 7 (those below `height`).
HWY_INLINE void StoreGroup(GreyImage* plane, int32_t y0, const GroupBuffers& buffers) {
  const int32_t width = plane->width;
  const int32_t rows = std::min(kRows, plane->height - y0);
  int32_t x = 0;
  if (rows == kRows) {
    uint8_t* lines[kRows];
    for (int32_t r = 0; r < kRows; ++r) lines[r] = img_line(plane, y0 + r);
    x = TransposeOut(buffers.phase.data(), width, lines);
  }
  for (; x < width; x += 8) {
    uint64_t words[kRows];
    std::memcpy(words, buffers.phase.data() + static_cast<std::ptrdiff_t>(x) * kRows, sizeof words);
    transpose_8x8(words);
    const auto count = static_cast<std::size_t>(std::min(8, width - x));
    for (int32_t r = 0; r < rows; ++r) std::memcpy(img_line(plane, y0 + r) + x, &words[r], count);
  }
}

// The sums of the windows starting at [first, end) into re and im, eight
// values a window, each over the taps in order from tap 0, a product and
// then a sum. The eight values of neighbouring windows lie side by side, and
// at each tap all of them take the same coefficient: four vectors of values
// at a time keep their eight sums in registers. The last pass runs on past
// `end` by less than four vectors (zeros and levels of the next columns).
template <class D>
HWY_INLINE void WindowSums(D d, const double* HWY_RESTRICT grey, const PhaseKernel& kernel, int32_t first,
                           int32_t end, double* HWY_RESTRICT re, double* HWY_RESTRICT im) {
  const std::size_t n = hn::Lanes(d);
  const auto values = static_cast<std::size_t>(end - first) * kRows;
  const double* start = grey + static_cast<std::ptrdiff_t>(first) * kRows;
  for (std::size_t p = 0; p < values; p += 4 * n) {
    auto re0 = hn::Zero(d), re1 = hn::Zero(d), re2 = hn::Zero(d), re3 = hn::Zero(d);
    auto im0 = hn::Zero(d), im1 = hn::Zero(d), im2 = hn::Zero(d), im3 = hn::Zero(d);
    const double* column = start + p;
    for (int32_t i = 0; i < kernel.taps; ++i, column += kRows) {
      const auto c = hn::Set(d, kernel.cosine[static_cast<std::size_t>(i)]);
      const auto s = hn::Set(d, kernel.sine[static_cast<std::size_t>(i)]);
      const auto g0 = hn::LoadU(d, column), g1 = hn::LoadU(d, column + n);
      const auto g2 = hn::LoadU(d, column + 2 * n), g3 = hn::LoadU(d, column + 3 * n);
      re0 = hn::Add(re0, hn::Mul(g0, c));
      im0 = hn::Add(im0, hn::Mul(g0, s));
      re1 = hn::Add(re1, hn::Mul(g1, c));
      im1 = hn::Add(im1, hn::Mul(g1, s));
      re2 = hn::Add(re2, hn::Mul(g2, c));
      im2 = hn::Add(im2, hn::Mul(g2, s));
      re3 = hn::Add(re3, hn::Mul(g3, c));
      im3 = hn::Add(im3, hn::Mul(g3, s));
    }
    hn::StoreU(re0, d, re + p);
    hn::StoreU(re1, d, re + p + n);
    hn::StoreU(re2, d, re + p + 2 * n);
    hn::StoreU(re3, d, re + p + 3 * n);
    hn::StoreU(im0, d, im + p);
    hn::StoreU(im1, d, im + p + n);
    hn::StoreU(im2, d, im + p + 2 * n);
    hn::StoreU(im3, d, im + p + 3 * n);
  }
}

// The whole plane, eight rows at a time.
void PhasePlane(GreyImage* plane, const RowPlan& plan, bool first_row, bool other_rows) {
  const hn::CappedTag<double, kRows> d;
  const int32_t width = plane->width;
  // Room beyond the row for the last pass of a run, which reads up to
  // kMaxKernelTaps + 3 columns past its first start.
  GroupBuffers buffers(static_cast<std::size_t>(width) + kMaxKernelTaps + 8);
  // Columns nearer the edge than the last half window hold no full-width
  // measurement.
  const int32_t border = std::min(plan.kernels.back().half, width);
  HWY_ALIGN double re[kMaxRunWindows * kRows];
  HWY_ALIGN double im[kMaxRunWindows * kRows];
  // Every group's runs write the same columns, and the borders are cleared
  // after them: the columns no run reaches stay 0 from here on.
  uint8_t* phase = buffers.phase.data();
  for (int32_t y0 = 0; y0 < plane->height; y0 += kRows) {
    if (first_row || other_rows) {
      LoadGroup(plane, y0, buffers);
      for (const WindowRun& run : plan.runs) {
        const PhaseKernel& kernel = plan.kernels[static_cast<std::size_t>(run.kernel)];
        // Windows centred in the left border would be cleared again.
        const int32_t first = std::max(run.first, border - kernel.half);
        if (first >= run.end) continue;
        WindowSums(d, buffers.grey, kernel, first, run.end, re, im);
        PhaseBytesOf(d, re, im, static_cast<std::size_t>(run.end - first) * kRows,
                     phase + static_cast<std::ptrdiff_t>(first + kernel.half) * kRows);
      }
      std::fill(phase, phase + border * kRows, uint8_t{0});
      std::fill(phase + (width - border) * kRows, phase + width * kRows, uint8_t{0});
      // A row that is not measured comes out 0.
      for (int32_t r = 0; r < kRows; ++r)
        if (!(y0 + r == 0 ? first_row : other_rows))
          for (int32_t x = 0; x < width; ++x) phase[x * kRows + r] = 0;
    }
    StoreGroup(plane, y0, buffers);
  }
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(PhasePlane);
}  // namespace fringe

void fringe_phase(GreyImage* plane, int32_t window, double period) {
  if (plane == nullptr || plane->type != 1) return;
  const RowPlan& plan = row_plan(plane->width, period);
  // A row is measured only while the window in force fits it: for the first
  // row the given window, afterwards the last one built (which is in force
  // from the second row on only if the first was measured).
  const bool first_row = window <= plane->width;
  const bool other_rows = first_row && plan.kernels.back().taps <= plane->width;
  HWY_DYNAMIC_DISPATCH(fringe::PhasePlane)(plane, plan, first_row, other_rows);
}
#endif  // HWY_ONCE
