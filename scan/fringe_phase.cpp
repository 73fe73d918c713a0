#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include <immintrin.h>

#include "cpu_features.h"
#include "image_processing.h"
#include "round_clamped.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// The kernels follow the local period, rebuilt every this many window starts.
constexpr int32_t kRebuildStep = 32;
// The local period runs from period - 5 at the left edge to period + 5 at the
// right edge (pixels) and is never taken below 5 pixels.
constexpr double kPeriodSpread = 5.0;
constexpr double kMinLocalPeriod = 5.0;

// Eight rows are measured side by side: lane r of an Octet belongs to row
// y0 + r, and the eight lanes go through exactly the operations one row's
// window would, in the same order. The local period depends on the column
// alone, so every lane uses the same kernel tap at the same time. The SSE2
// and AVX2 variants split an Octet into four or two hardware vectors.
using Octet = double __attribute__((vector_size(64)));
using Bytes8 = uint8_t __attribute__((vector_size(8)));
using Ints8 = int32_t __attribute__((vector_size(32)));
using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Words8 = uint16_t __attribute__((vector_size(16)));
using Longs4 = uint32_t __attribute__((vector_size(16)));
constexpr int32_t kRows = 8;

struct PhaseKernel {
  int32_t taps;  // odd window length
  int32_t half;  // taps div 2: the window's value goes to start + half
  std::array<double, kMaxKernelTaps> cosine;
  std::array<double, kMaxKernelTaps> sine;
};

// Window starts [first, end) measured with one kernel.
struct WindowRun {
  int32_t kernel;
  int32_t first;
  int32_t end;
};

// Which kernel measures which window starts. The local period depends on the
// column alone, so every measured row follows the same plan.
struct RowPlan {
  int32_t width = -1;
  uint64_t period_bits = 0;
  std::vector<PhaseKernel> kernels;
  std::vector<WindowRun> runs;
};

// Local period (pixels) at window start j of a row `width` pixels wide.
double local_period(int32_t j, int32_t width, double period) {
  const double left = period - kPeriodSpread;
  const double right = period + kPeriodSpread;
  const double half_width = 0.5 * width;
  double local = j <= width / 2 ? left + j / half_width * (period - left)
                                : period + (j - half_width) / half_width * (right - period);
  if (!(local >= kMinLocalPeriod)) local = kMinLocalPeriod;  // NaN as well
  return local;
}

// Hamming-windowed cosine and sine of the local period, centred on the window.
void build_kernel(PhaseKernel& kernel, int32_t taps, double local) {
  kernel.taps = taps;
  kernel.half = taps / 2;
  for (int32_t i = 0; i < taps; ++i) {
    const int32_t t = i - kernel.half;
    const double weight = 0.54 + 0.46 * std::cos(2.0 * kPi * t / taps);
    kernel.cosine[i] = weight * std::cos(2.0 * kPi * t / local);
    kernel.sine[i] = weight * std::sin(2.0 * kPi * t / local);
  }
}

// Walks one row's window starts without data. At each multiple of 32 the
// kernels are rebuilt. If the new window no longer fits, the row ends there
// (reading on would pass the row's end). If the window grew, the columns
// between the last centre of the old window and the first centre of the new
// one are measured with the new kernels (window start column - half), like
// their neighbours; a plain walk over window starts would skip them.
void plan_row(RowPlan& plan, int32_t width, double period) {
  plan.kernels.clear();
  plan.runs.clear();
  int32_t previous_half = -1;
  for (int32_t j = 0;; j += kRebuildStep) {
    const double local = local_period(j, width, period);
    PhaseKernel& kernel = plan.kernels.emplace_back();
    build_kernel(kernel, phase_window(local), local);
    const int32_t last_start = width - kernel.taps;
    if (j > last_start) break;
    int32_t first = j;
    if (previous_half >= 0 && kernel.half > previous_half)
      first = std::max(0, j - (kernel.half - previous_half));
    const int32_t end = std::min(j + kRebuildStep, last_start + 1);
    if (end > first)
      plan.runs.push_back({static_cast<int32_t>(plan.kernels.size()) - 1, first, end});
    if (j + kRebuildStep > last_start) break;
    previous_half = kernel.half;
  }
}

// The plan of the last call on this thread: a study measures image after
// image of one width and period, and building the kernels takes some
// thousand cosines and sines.
const RowPlan& row_plan(int32_t width, double period) {
  thread_local RowPlan plan;
  uint64_t bits;
  std::memcpy(&bits, &period, sizeof bits);
  if (plan.width != width || plan.period_bits != bits) {
    plan.width = -1;  // not valid while it is rebuilt
    plan_row(plan, width, period);
    plan.width = width;
    plan.period_bits = bits;
  }
  return plan;
}

// ---- The angle --------------------------------------------------------------

// Windows of one run: at most kRebuildStep starts plus the columns a grown
// window would skip (its half grows by less than kMaxKernelTaps / 2), plus
// the last block's overrun.
constexpr int32_t kMaxRunWindows = kRebuildStep + kMaxKernelTaps / 2 + 8;


// atan(sqrt(z)) / sqrt(z) on 0 <= z <= tan^2(pi / 8): a Chebyshev interpolant
// in z written as a power series, within 2.1e-7 rad of the true angle, that
// is 8.6e-6 units of 1/256 period.
constexpr double kAtanSeries[] = {0.99999942316816282, -0.33322528092498932, 0.19677712909107442,
                                  -0.11100372207640549};
constexpr double kTanPiOver8 = 0.41421356237309504880;
// A value this close to a rounding boundary (units) is computed again with
// the C library's atan2: 23 times the series' error, far beyond the few ulp
// of the additions and products around it. Some 4e-4 of all values, about
// 500 per camera image, take that path.
constexpr double kTieMargin = 2e-4;

// round(atan2(-Im, Re) * 128 / pi) for one response, with the C library's
// atan2; 0 for a response without a phase.
int32_t exact_phase_value(double re, double im) {
  if (re == 0.0 && im == 0.0) return 0;
  const double value = std::nearbyint(std::atan2(-im, re) * 128 / kPi);
  return std::isfinite(value) ? static_cast<int32_t>(value) : 0;
}

// Adding 1.5 * 2^52 to a double of magnitude below 2^51 rounds it to an
// integer (to nearest, halves to even: the default rounding mode) and leaves
// that integer in the low bits of the sum's bit pattern, two's complement:
// the low byte is the phase byte (128 and -128 alike give 0x80).
constexpr double kRoundingShift = 6755399441055744.0;

// Phase bytes of eight responses: octant reduction, a reduction by pi / 4
// beyond tan(pi / 8), the series, and the rounding. Only a value within
// kTieMargin of a half unit (or one that is not a number) falls back to
// atan2, so every byte equals round(atan2(-Im, Re) * 128 / pi) with the C
// library's atan2. In vectors of two or four lanes for SSE2 and AVX2; the
// AVX-512 variant below reaches the same bytes another way.

// The bytes of the windows whose lanes were flagged (bit r of flags[k] for
// lane r of window k) computed again with atan2.
void recheck_run(const double* re, const double* im, int32_t count, const uint8_t* flags,
                 uint64_t* out) {
  for (int32_t k = 0; k < count; ++k) {
    if (flags[k] == 0) continue;
    uint8_t bytes[kRows];
    std::memcpy(bytes, &out[k], sizeof bytes);
    for (int32_t r = 0; r < kRows; ++r)
      if ((flags[k] >> r) & 1U) bytes[r] = static_cast<uint8_t>(exact_phase_value(re[k * kRows + r], im[k * kRows + r]));
    std::memcpy(&out[k], bytes, sizeof bytes);
  }
}

// Byte vectors of 2 and 4 lanes: the low bytes of 64-bit lanes.
template <int Lanes>
struct ByteLanes;
template <>
struct ByteLanes<2> {
  using type = uint8_t __attribute__((vector_size(2)));
};
template <>
struct ByteLanes<4> {
  using type = uint8_t __attribute__((vector_size(4)));
};

using Pair = double __attribute__((vector_size(16)));
using Quad = double __attribute__((vector_size(32)));

template <typename Vec>
inline __attribute__((always_inline)) Bytes8 phase_octet_of(const Octet& re, const Octet& im,
                                                            uint32_t& recheck) {
  using Bits = decltype(Vec{} < Vec{});  // lanes of 64-bit integers
  constexpr int32_t lanes = sizeof(Vec) / sizeof(double);
  constexpr double kSafe = 0.5 - kTieMargin;
  const Vec zero = {};
  Bytes8 bytes;
  recheck = 0;
#pragma GCC unroll 4
  for (int32_t part = 0; part < kRows / lanes; ++part) {
    Vec x, y;
    std::memcpy(&x, reinterpret_cast<const double*>(&re) + part * lanes, sizeof x);
    std::memcpy(&y, reinterpret_cast<const double*>(&im) + part * lanes, sizeof y);
    y = -y;
    const Vec ax = x < zero ? -x : x;
    const Vec ay = y < zero ? -y : y;
    const auto steep = ay > ax;
    const Vec num = steep ? ax : ay;
    const Vec den = steep ? ay : ax;  // num / den in 0..1
    // Beyond tan(pi / 8): u = (t - 1) / (t + 1) with t = num / den, whose
    // angle is pi / 4 less.
    const auto upper = num > kTanPiOver8 * den;
    const Vec u = (upper ? num - den : num) / (upper ? num + den : den);
    const Vec z = u * u;
    Vec series = zero + kAtanSeries[3];
    series = series * z + kAtanSeries[2];
    series = series * z + kAtanSeries[1];
    series = series * z + kAtanSeries[0];
    Vec angle = u * series;
    angle = upper ? angle + kPi / 4 : angle;
    angle = steep ? kPi / 2 - angle : angle;
    angle = x < zero ? kPi - angle : angle;
    angle = y < zero ? -angle : angle;
    // Re = Im = 0 has no phase: byte 0. The larger magnitude is 0 just then
    // (and where it is not a number the byte is 0 as well, as with atan2):
    // units 0 give byte 0 and are no tie.
    const Vec units = den > zero ? angle * (128.0 / kPi) : zero;  // -128 .. 128
    const Vec shifted = units + kRoundingShift;
    const Vec off = units - (shifted - kRoundingShift);  // -0.5 .. 0.5
    Bits bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    const auto low = __builtin_convertvector(bits, typename ByteLanes<lanes>::type);
    std::memcpy(reinterpret_cast<uint8_t*>(&bytes) + part * lanes, &low, sizeof low);
    const Bits tie = ~((off < kSafe) & (off > -kSafe));  // NaN too
    for (int32_t k = 0; k < lanes; ++k) recheck |= static_cast<uint32_t>(tie[k] & 1) << (part * lanes + k);
  }
  return bytes;
}

// Phase bytes of `count` windows (at most kMaxRunWindows), eight responses
// each (`re` and `im` hold kRows values per window), as eight bytes per window
// into `out`. The lanes near a rounding boundary are only noted in the loop
// and worked out after it, so the loop itself has no branch on the data.
template <typename Vec>
inline __attribute__((always_inline)) void phase_run_of(const double* re, const double* im,
                                                        int32_t count, uint64_t* out) {
  uint8_t flags[kMaxRunWindows];
  uint32_t any = 0;
  for (int32_t k = 0; k < count; ++k) {
    Octet x, y;
    std::memcpy(&x, re + k * kRows, sizeof x);
    std::memcpy(&y, im + k * kRows, sizeof y);
    uint32_t recheck;
    const Bytes8 bytes = phase_octet_of<Vec>(x, y, recheck);
    std::memcpy(out + k, &bytes, sizeof bytes);
    flags[k] = static_cast<uint8_t>(recheck);
    any |= recheck;
  }
  if (any != 0) recheck_run(re, im, count, flags, out);
}

// ---- The angle in AVX-512: rounding boundaries of the quotient -------------
//
// Within an octant the angle is phi = atan(t), t = min(|Re|, |Im|) /
// max(|Re|, |Im|) in 0..1, psi = phi * 128 / pi in 0..32 units, and the whole
// angle in units is psi, 64 - psi (steeper than the diagonal), 128 minus that
// (Re < 0) and the negative of that (Im > 0): integers plus or minus psi, so
// the byte is that integer plus or minus round(psi). round(psi) is the cell
// c = floor(psi_a) of a rough psi_a(t) = t (43.12 - 11.13 t), which is within
// 0.16 of psi and below 32 on 0..1, plus one where t lies above the boundary
// tan((c + 0.5) pi / 128) of that cell: no series and no reduction, the
// boundaries of the 32 cells are one table lookup. t goes from a division in
// doubles to floats (16 lanes); t and the boundaries are then within 6e-8 of
// their true values, so a t more than kBoundaryMargin from its cell's
// boundary is on the same side of it as the true quotient, and its psi more
// than 3.9e-5 units from the half unit: far beyond the few ulp by which the C
// library's atan2 and the scaling by 128 / pi can move the value. Closer ones
// (some 1.3e-4 of all, about 170 per camera picture), responses that are not numbers and the quotient
// infinity / infinity are computed again with atan2.
constexpr float kRoughPsiLinear = 43.12F;
constexpr float kRoughPsiSquare = 11.13F;
constexpr float kBoundaryMargin = 2e-6F;
constexpr int32_t kCells = 32;

struct CellBoundaries {
  alignas(64) float tangent[kCells];
};
const CellBoundaries& cell_boundaries() {
  static const CellBoundaries boundaries = [] {
    CellBoundaries b{};
    for (int32_t c = 0; c < kCells; ++c) b.tangent[c] = static_cast<float>(std::tan((c + 0.5) * kPi / 128));
    return b;
  }();
  return boundaries;
}

// The octants of a run's windows in two steps, so that neither waits long on
// one result: first each window's quotients as floats and its lane masks (as
// the window sums come out of the filter, or in a pass over given
// responses), then the bytes of two windows at a time from those. The masks come
// from sign bits and from the bit patterns of magnitudes, which order as the
// magnitudes do, so that they leave the floating-point units to the rest:
//   Re < 0    sign bit of Re. For Re = -0 the angle is +-pi / 2 (steep, 64
//             units, and 128 - 64 is 64 again) or there is no phase.
//   Im > 0    sign bit of Im clear (the angle of -Im is negative). For Im =
//             +0 the units are 0 (0 again) or 128 (-128: the same byte).
//   steep     |Im| > |Re|.
//   measured  max(|Re|, |Im|) is not 0: Re = Im = 0 has no phase (byte 0).
// A NaN part needs no mask of its own: min(|Re|, |Im|) takes the NaN of |Im|,
// max(|Im|, |Re|) that of |Re|, so the quotient is NaN (computed again) or
// the lane unmeasured, and its byte is 0 either way, as atan2's NaN gives.
struct OctantRun {
  alignas(64) float quotient[(kMaxRunWindows + 1) * kRows];
  uint8_t re_negative[kMaxRunWindows + 1];
  uint8_t im_positive[kMaxRunWindows + 1];
  uint8_t steep[kMaxRunWindows + 1];
  uint8_t measured[kMaxRunWindows + 1];
};

// The quotients and masks of window k from its eight responses.
AVX512_TARGET inline __attribute__((always_inline)) void octant_avx512(__m512d x, __m512d y, int32_t k,
                                                                       OctantRun& run) {
  const __m512d ax = _mm512_abs_pd(x);
  const __m512d ay = _mm512_abs_pd(y);
  const __m512d num = _mm512_maskz_min_pd(0xFF, ax, ay);  // NaN of ay
  const __m512d den = _mm512_maskz_max_pd(0xFF, ay, ax);  // NaN of ax
  run.re_negative[k] = _mm512_movepi64_mask(_mm512_castpd_si512(x));
  run.im_positive[k] = static_cast<uint8_t>(~_mm512_movepi64_mask(_mm512_castpd_si512(y)));
  run.steep[k] = _mm512_cmpgt_epi64_mask(_mm512_castpd_si512(ay), _mm512_castpd_si512(ax));
  run.measured[k] = _mm512_test_epi64_mask(_mm512_castpd_si512(den), _mm512_castpd_si512(den));
  _mm256_store_ps(run.quotient + k * kRows, _mm512_maskz_cvtpd_ps(0xFF, _mm512_div_pd(num, den)));
}

inline __mmask16 mask_pair(const uint8_t* masks) {
  uint16_t bits;
  std::memcpy(&bits, masks, sizeof bits);
  return bits;
}

// The bytes of `count` windows whose octants `run` holds (their responses in
// re and im for the ones computed again).
AVX512_TARGET void bytes_from_octants_avx512(const double* re, const double* im, int32_t count, OctantRun& run,
                                             uint64_t* out) {
  if (count % 2 != 0) {  // an empty partner for the last window, unmeasured
    _mm256_store_ps(run.quotient + count * kRows, _mm256_setzero_ps());
    run.steep[count] = run.re_negative[count] = run.im_positive[count] = run.measured[count] = 0;
  }
  const CellBoundaries& cells = cell_boundaries();
  const __m512 boundaries_low = _mm512_load_ps(cells.tangent);
  const __m512 boundaries_high = _mm512_load_ps(cells.tangent + 16);
  uint8_t flags[kMaxRunWindows + 1];
  uint32_t any = 0;
  for (int32_t k = 0; k < count; k += 2) {
    const __m512 t = _mm512_load_ps(run.quotient + k * kRows);
    const __m512 rough =
        _mm512_mul_ps(t, _mm512_fnmadd_ps(t, _mm512_set1_ps(kRoughPsiSquare), _mm512_set1_ps(kRoughPsiLinear)));
    const __m512i cell = _mm512_maskz_cvttps_epi32(0xFFFF, rough);  // 0..31; a NaN's index is 0
    const __m512 boundary = _mm512_permutex2var_ps(boundaries_low, cell, boundaries_high);
    __m512i units = _mm512_mask_add_epi32(cell, _mm512_cmp_ps_mask(t, boundary, _CMP_GT_OQ), cell,
                                          _mm512_set1_epi32(1));
    units = _mm512_mask_sub_epi32(units, mask_pair(run.steep + k), _mm512_set1_epi32(64), units);
    units = _mm512_mask_sub_epi32(units, mask_pair(run.re_negative + k), _mm512_set1_epi32(128), units);
    units = _mm512_mask_sub_epi32(units, mask_pair(run.im_positive + k), _mm512_setzero_si512(), units);
    // -128 and 128 alike give the byte 0x80.
    const __mmask16 measured = mask_pair(run.measured + k);
    const __m128i bytes = _mm512_maskz_cvtepi32_epi8(measured, units);
    const __mmask16 clear = _mm512_cmp_ps_mask(_mm512_abs_ps(_mm512_sub_ps(t, boundary)),
                                               _mm512_set1_ps(kBoundaryMargin), _CMP_GE_OQ);  // NaN not
    const auto recheck = static_cast<uint16_t>(measured & ~clear);
    if (k + 1 < count)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), bytes);
    else
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), bytes);
    std::memcpy(flags + k, &recheck, sizeof recheck);
    any |= recheck;
  }
  if (any != 0) recheck_run(re, im, count, flags, out);
}

AVX512_TARGET void phase_run_avx512(const double* re, const double* im, int32_t count, uint64_t* out) {
  OctantRun run;
  for (int32_t k = 0; k < count; ++k)
    octant_avx512(_mm512_loadu_pd(re + k * kRows), _mm512_loadu_pd(im + k * kRows), k, run);
  bytes_from_octants_avx512(re, im, count, run, out);
}
__attribute__((target("avx2"))) void phase_run_avx2(const double* re, const double* im,
                                                    int32_t count, uint64_t* out) {
  phase_run_of<Quad>(re, im, count, out);
}
void phase_run_sse2(const double* re, const double* im, int32_t count, uint64_t* out) {
  phase_run_of<Pair>(re, im, count, out);
}

// ---- Eight rows side by side ----------------------------------------------

// 8 x 8 bytes transposed: in[r] holds bytes (r, 0..7), out[c] gets bytes
// (0..7, c). Three rounds of interleaving bytes, pairs and quadruples.
inline __attribute__((always_inline)) void transpose_8x8(const uint64_t in[8], uint64_t out[8]) {
  Bytes16 rows[4];
  for (int32_t k = 0; k < 4; ++k) std::memcpy(&rows[k], in + 2 * k, 16);
  Bytes16 pairs[4];  // columns 0..7 of rows 2k and 2k + 1, interleaved
  for (int32_t k = 0; k < 4; ++k)
    pairs[k] = __builtin_shufflevector(rows[k], rows[k], 0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14,
                                       7, 15);
  Words8 w[4];
  for (int32_t k = 0; k < 4; ++k) std::memcpy(&w[k], &pairs[k], 16);
  // Rows 0..3 (and 4..7) of columns 0..3, then of columns 4..7.
  const Words8 low03 = __builtin_shufflevector(w[0], w[1], 0, 8, 1, 9, 2, 10, 3, 11);
  const Words8 high03 = __builtin_shufflevector(w[0], w[1], 4, 12, 5, 13, 6, 14, 7, 15);
  const Words8 low47 = __builtin_shufflevector(w[2], w[3], 0, 8, 1, 9, 2, 10, 3, 11);
  const Words8 high47 = __builtin_shufflevector(w[2], w[3], 4, 12, 5, 13, 6, 14, 7, 15);
  Longs4 q[4];
  std::memcpy(&q[0], &low03, 16);
  std::memcpy(&q[1], &low47, 16);
  std::memcpy(&q[2], &high03, 16);
  std::memcpy(&q[3], &high47, 16);
  const Longs4 columns[4] = {__builtin_shufflevector(q[0], q[1], 0, 4, 1, 5),
                             __builtin_shufflevector(q[0], q[1], 2, 6, 3, 7),
                             __builtin_shufflevector(q[2], q[3], 0, 4, 1, 5),
                             __builtin_shufflevector(q[2], q[3], 2, 6, 3, 7)};
  std::memcpy(out, columns, 64);
}

// Octets in memory are read and written through memcpy: the vector type's
// own alignment differs between the variants (16 bytes for SSE2), so no
// variant may assume more than the buffers below guarantee.
// Vectors go in and out by reference: an Octet passed by value would
// change the calling convention between the variants.
inline __attribute__((always_inline)) void load_octet(Octet& v, const double* p) {
  std::memcpy(&v, p, sizeof v);
}

// Work buffers of one group of rows: grey levels of the eight rows per column
// (kRows doubles a column, with zeros beyond the row for the blocks that read
// past a run's end), and the eight phase bytes per column. The grey levels
// start on a 64-byte boundary, so that no load of a column crosses a cache line.
struct GroupBuffers {
  explicit GroupBuffers(std::size_t columns)
      : grey(new(std::align_val_t{64}) double[columns * kRows]()), levels(columns), phase(columns) {}
  ~GroupBuffers() { ::operator delete[](grey, std::align_val_t{64}); }
  GroupBuffers(const GroupBuffers&) = delete;
  GroupBuffers& operator=(const GroupBuffers&) = delete;
  double* grey;
  std::vector<uint64_t> levels;  // grey bytes of the eight rows per column
  std::vector<uint64_t> phase;
};

// Grey levels of rows y0 .. y0 + 7 (rows from `height` on read as zeros),
// eight rows per column: the bytes of each column as one 64-bit word (row r
// in byte r), for `width` columns rounded up to 8. kWide transposes the
// first columns in blocks of its own (it returns how many) where all eight
// rows exist.
template <int32_t (*kWide)(const uint8_t* const*, int32_t, uint64_t*)>
inline __attribute__((always_inline)) void load_group(const GreyImage* plane, int32_t y0,
                                                      uint64_t* columns) {
  const int32_t width = plane->width;
  static const uint8_t zeros[kMaxImageSide] = {};
  const uint8_t* rows[kRows];
  for (int32_t r = 0; r < kRows; ++r) rows[r] = y0 + r < plane->height ? img_line(plane, y0 + r) : zeros;
  int32_t x = y0 + kRows <= plane->height ? kWide(rows, width, columns) : 0;
  for (; x + 8 <= width; x += 8) {
    uint64_t in[kRows];
    for (int32_t r = 0; r < kRows; ++r) std::memcpy(&in[r], rows[r] + x, 8);
    transpose_8x8(in, columns + x);
  }
  if (x < width) {
    uint64_t in[kRows] = {};
    for (int32_t r = 0; r < kRows; ++r) std::memcpy(&in[r], rows[r] + x, static_cast<std::size_t>(width - x));
    transpose_8x8(in, columns + x);
  }
}

// The eight grey levels of each of `count` columns as doubles.
inline __attribute__((always_inline)) void widen_of(const uint64_t* columns, int32_t count,
                                                    double* grey) {
  for (int32_t x = 0; x < count; ++x) {
    Bytes8 bytes;
    std::memcpy(&bytes, &columns[x], sizeof bytes);
    // Widened step by step: a direct conversion is taken apart byte by byte.
    const Octet levels = __builtin_convertvector(
        __builtin_convertvector(__builtin_convertvector(bytes, Words8), Ints8), Octet);
    std::memcpy(grey + static_cast<std::ptrdiff_t>(x) * kRows, &levels, sizeof levels);
  }
}
// Two columns at a time: sixteen bytes to 32-bit integers, each half to
// doubles.
AVX512_TARGET void widen_avx512(const uint64_t* columns, int32_t count, double* grey) {
  for (int32_t x = 0; x < count; x += 2) {
    const __m512i levels =
        _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns + x)));
    double* out = grey + static_cast<std::ptrdiff_t>(x) * kRows;
    _mm512_storeu_pd(out, _mm512_maskz_cvtepi32_pd(0xFF, _mm512_maskz_extracti64x4_epi64(0xF, levels, 0)));
    _mm512_storeu_pd(out + kRows, _mm512_maskz_cvtepi32_pd(0xFF, _mm512_maskz_extracti64x4_epi64(0xF, levels, 1)));
  }
}
__attribute__((target("avx2"))) void widen_avx2(const uint64_t* columns, int32_t count, double* grey) {
  widen_of(columns, count, grey);
}
void widen_sse2(const uint64_t* columns, int32_t count, double* grey) { widen_of(columns, count, grey); }
using Widen = void (*)(const uint64_t*, int32_t, double*);

// Phase bytes back into rows y0 .. y0 + 7 (those below `height`); kWide as
// for load_group.
template <int32_t (*kWide)(uint8_t* const*, int32_t, const uint64_t*)>
inline __attribute__((always_inline)) void store_group(GreyImage* plane, int32_t y0,
                                                       const uint64_t* phase) {
  const int32_t width = plane->width;
  const int32_t rows = std::min(kRows, plane->height - y0);
  uint8_t* row[kRows];
  for (int32_t r = 0; r < rows; ++r) row[r] = img_line(plane, y0 + r);
  int32_t x = 0;
  if (rows == kRows) {
    x = kWide(row, width, phase);
    for (; x + 8 <= width; x += 8) {
      uint64_t out[kRows];
      transpose_8x8(phase + x, out);
      for (int32_t r = 0; r < kRows; ++r) std::memcpy(row[r] + x, &out[r], 8);
    }
  }
  for (; x < width; x += 8) {
    uint64_t out[kRows];
    transpose_8x8(phase + x, out);
    for (int32_t r = 0; r < rows; ++r)
      std::memcpy(row[r] + x, &out[r], static_cast<std::size_t>(std::min(8, width - x)));
  }
}

// No wide blocks: every column goes through transpose_8x8.
int32_t no_wide_load(const uint8_t* const*, int32_t, uint64_t*) { return 0; }
int32_t no_wide_store(uint8_t* const*, int32_t, const uint64_t*) { return 0; }

// 64 columns of eight rows at a time in AVX-512: the 8 x 8 matrix of 8-byte
// words (row, block of eight columns) transposed in three rounds of
// two-source permutations, then the 8 x 8 bytes of each block: bytes of two
// rows interleaved within each 128-bit lane, and the resulting 16-bit pairs
// gathered by column. Both steps are their own inverse, so the same two
// steps take phase words back into rows.
AVX512_TARGET inline __attribute__((always_inline)) void transpose_words_avx512(__m512i v[8]) {
  const __m512i pair_low = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0);
  const __m512i pair_high = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
  const __m512i quad_low = _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0);
  const __m512i quad_high = _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4);
  const __m512i half_low = _mm512_set_epi64(11, 10, 9, 8, 3, 2, 1, 0);
  const __m512i half_high = _mm512_set_epi64(15, 14, 13, 12, 7, 6, 5, 4);
  __m512i a[8], b[8];
  for (int32_t p = 0; p < 4; ++p) {  // rows 2p, 2p + 1: words 0..3 and 4..7 interleaved
    a[2 * p] = _mm512_permutex2var_epi64(v[2 * p], pair_low, v[2 * p + 1]);
    a[2 * p + 1] = _mm512_permutex2var_epi64(v[2 * p], pair_high, v[2 * p + 1]);
  }
  for (int32_t q = 0; q < 2; ++q)  // rows 4q .. 4q + 3: two words each
    for (int32_t h = 0; h < 2; ++h) {
      b[4 * q + 2 * h] = _mm512_permutex2var_epi64(a[4 * q + h], quad_low, a[4 * q + 2 + h]);
      b[4 * q + 2 * h + 1] = _mm512_permutex2var_epi64(a[4 * q + h], quad_high, a[4 * q + 2 + h]);
    }
  for (int32_t w = 0; w < 4; ++w) {  // word 2w and 2w + 1 of all eight rows
    v[2 * w] = _mm512_permutex2var_epi64(b[w], half_low, b[4 + w]);
    v[2 * w + 1] = _mm512_permutex2var_epi64(b[w], half_high, b[4 + w]);
  }
}

AVX512_TARGET inline __attribute__((always_inline)) __m512i transpose_bytes_avx512(__m512i v) {
  const __m512i interleave = _mm512_maskz_broadcast_i32x4(
      0xFFFF, _mm_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15));
  const __m512i by_column = _mm512_set_epi16(31, 23, 15, 7, 30, 22, 14, 6, 29, 21, 13, 5, 28, 20, 12, 4, 27, 19, 11,
                                             3, 26, 18, 10, 2, 25, 17, 9, 1, 24, 16, 8, 0);
  return _mm512_permutexvar_epi16(by_column, _mm512_shuffle_epi8(v, interleave));
}

AVX512_TARGET int32_t wide_load_avx512(const uint8_t* const* rows, int32_t width, uint64_t* columns) {
  int32_t x = 0;
  for (; x + 64 <= width; x += 64) {
    __m512i v[8];
    for (int32_t r = 0; r < kRows; ++r) v[r] = _mm512_loadu_si512(rows[r] + x);
    transpose_words_avx512(v);
    for (int32_t w = 0; w < 8; ++w) _mm512_storeu_si512(columns + x + 8 * w, transpose_bytes_avx512(v[w]));
  }
  return x;
}

AVX512_TARGET int32_t wide_store_avx512(uint8_t* const* rows, int32_t width, const uint64_t* phase) {
  int32_t x = 0;
  for (; x + 64 <= width; x += 64) {
    __m512i v[8];
    for (int32_t w = 0; w < 8; ++w) v[w] = transpose_bytes_avx512(_mm512_loadu_si512(phase + x + 8 * w));
    transpose_words_avx512(v);
    for (int32_t r = 0; r < kRows; ++r) _mm512_storeu_si512(rows[r] + x, v[r]);
  }
  return x;
}

// The sums of kBlock neighbouring windows starting at j, each over the taps
// in order from tap 0.
template <int32_t kBlock>
inline __attribute__((always_inline)) void block_sums(const double* grey, const PhaseKernel& kernel, int32_t j,
                                                      Octet (&sum_re)[kBlock], Octet (&sum_im)[kBlock]) {
#pragma GCC unroll 4
  for (int32_t b = 0; b < kBlock; ++b) sum_re[b] = sum_im[b] = Octet{};
  const double* window = grey + static_cast<std::ptrdiff_t>(j) * kRows;
  for (int32_t i = 0; i < kernel.taps; ++i) {
    const double c = kernel.cosine[i];
    const double s = kernel.sine[i];
#pragma GCC unroll 4
    for (int32_t b = 0; b < kBlock; ++b) {
      Octet levels;
      load_octet(levels, window + (i + b) * kRows);
      sum_re[b] += levels * c;
      sum_im[b] += levels * s;
    }
  }
}

// The phase bytes of the windows starting at [first, end) with one kernel,
// into `phase` (window first at 0); re and im are room for their sums.
// kBlock windows per pass over the taps keep 2 * kBlock sums in registers:
// 4 in AVX-512, 2 in AVX2, 1 in SSE2.
using MeasureRun = void (*)(const double* grey, const PhaseKernel& kernel, int32_t first, int32_t end, double* re,
                            double* im, uint64_t* phase);

// In AVX-512 each window's octant is taken while its sums are still in
// registers.
AVX512_TARGET void measure_run_avx512(const double* grey, const PhaseKernel& kernel, int32_t first, int32_t end,
                                      double* re, double* im, uint64_t* phase) {
  constexpr int32_t kBlock = 4;
  OctantRun octants;
  for (int32_t j = first; j < end; j += kBlock) {
    Octet sum_re[kBlock], sum_im[kBlock];
    block_sums<kBlock>(grey, kernel, j, sum_re, sum_im);
#pragma GCC unroll 4
    for (int32_t b = 0; b < kBlock; ++b) {
      __m512d x, y;
      std::memcpy(&x, &sum_re[b], sizeof x);
      std::memcpy(&y, &sum_im[b], sizeof y);
      _mm512_storeu_pd(re + (j - first + b) * kRows, x);
      _mm512_storeu_pd(im + (j - first + b) * kRows, y);
      octant_avx512(x, y, j - first + b, octants);
    }
  }
  bytes_from_octants_avx512(re, im, end - first, octants, phase);
}
// window_sums in vectors the hardware has (two or four lanes): an Octet
// narrower than the compiler's vectors is taken apart through memory, lane by
// lane, at every tap. Each lane sums the same products in the same order.
template <typename Vec, int32_t kBlock>
inline __attribute__((always_inline)) void window_sums_in_parts(const double* grey, const PhaseKernel& kernel,
                                                                int32_t first, int32_t end, double* re,
                                                                double* im) {
  constexpr int32_t lanes = sizeof(Vec) / sizeof(double);
  constexpr int32_t parts = kRows / lanes;
  for (int32_t j = first; j < end; j += kBlock) {
    Vec sum_re[kBlock][parts] = {};
    Vec sum_im[kBlock][parts] = {};
    const double* window = grey + static_cast<std::ptrdiff_t>(j) * kRows;
    for (int32_t i = 0; i < kernel.taps; ++i) {
      const double c = kernel.cosine[i];
      const double s = kernel.sine[i];
#pragma GCC unroll 8
      for (int32_t b = 0; b < kBlock; ++b) {
#pragma GCC unroll 4
        for (int32_t p = 0; p < parts; ++p) {
          Vec levels;
          std::memcpy(&levels, window + (i + b) * kRows + p * lanes, sizeof levels);
          sum_re[b][p] += levels * c;
          sum_im[b][p] += levels * s;
        }
      }
    }
#pragma GCC unroll 8
    for (int32_t b = 0; b < kBlock; ++b) {
      std::memcpy(re + (j - first + b) * kRows, sum_re[b], sizeof sum_re[b]);
      std::memcpy(im + (j - first + b) * kRows, sum_im[b], sizeof sum_im[b]);
    }
  }
}

__attribute__((target("avx2"))) void measure_run_avx2(const double* grey, const PhaseKernel& kernel, int32_t first,
                                                      int32_t end, double* re, double* im, uint64_t* phase) {
  window_sums_in_parts<Quad, 2>(grey, kernel, first, end, re, im);
  phase_run_avx2(re, im, end - first, phase);
}
void measure_run_sse2(const double* grey, const PhaseKernel& kernel, int32_t first, int32_t end, double* re,
                      double* im, uint64_t* phase) {
  window_sums_in_parts<Pair, 1>(grey, kernel, first, end, re, im);
  phase_run_sse2(re, im, end - first, phase);
}

// The whole plane, eight rows at a time.
template <MeasureRun kMeasureRun, Widen kWiden, auto kWideLoad, auto kWideStore>
inline __attribute__((always_inline)) void phase_plane(GreyImage* plane, const RowPlan& plan,
                                                       bool first_row, bool other_rows,
                                                       GroupBuffers& buffers) {
  const int32_t width = plane->width;
  // Columns nearer the edge than the last half window hold no full-width
  // measurement.
  const int32_t border = std::min(plan.kernels.back().half, width);
  double re[kMaxRunWindows * kRows];
  double im[kMaxRunWindows * kRows];
  // Every group's runs write the same columns, and the borders are cleared
  // after them: the columns no run reaches stay 0 from here on.
  std::fill(buffers.phase.begin(), buffers.phase.end(), uint64_t{0});
  for (int32_t y0 = 0; y0 < plane->height; y0 += kRows) {
    if (first_row || other_rows) {
      load_group<kWideLoad>(plane, y0, buffers.levels.data());
      kWiden(buffers.levels.data(), (width + 7) / 8 * 8, buffers.grey);
      for (const WindowRun& run : plan.runs) {
        const PhaseKernel& kernel = plan.kernels[static_cast<std::size_t>(run.kernel)];
        // Windows centred in the left border would be cleared again.
        const int32_t first = std::max(run.first, border - kernel.half);
        if (first >= run.end) continue;
        kMeasureRun(buffers.grey, kernel, first, run.end, re, im, buffers.phase.data() + first + kernel.half);
      }
      std::fill(buffers.phase.begin(), buffers.phase.begin() + border, uint64_t{0});
      std::fill(buffers.phase.begin() + (width - border), buffers.phase.begin() + width, uint64_t{0});
      // A row that is not measured comes out 0.
      uint64_t keep = 0;
      for (int32_t r = 0; r < kRows; ++r)
        if (y0 + r == 0 ? first_row : other_rows) keep |= uint64_t{0xFF} << (8 * r);
      if (keep != ~uint64_t{0})
        for (int32_t x = 0; x < width; ++x) buffers.phase[static_cast<std::size_t>(x)] &= keep;
    }
    store_group<kWideStore>(plane, y0, buffers.phase.data());
  }
}

AVX512_TARGET void phase_plane_avx512(
    GreyImage* plane, const RowPlan& plan, bool first_row, bool other_rows, GroupBuffers& buffers) {
  phase_plane<measure_run_avx512, widen_avx512, wide_load_avx512, wide_store_avx512>(plane, plan, first_row,
                                                                                   other_rows, buffers);
}
__attribute__((target("avx2"))) void phase_plane_avx2(GreyImage* plane, const RowPlan& plan,
                                                      bool first_row, bool other_rows,
                                                      GroupBuffers& buffers) {
  phase_plane<measure_run_avx2, widen_avx2, no_wide_load, no_wide_store>(plane, plan, first_row, other_rows,
                                                                        buffers);
}
void phase_plane_sse2(GreyImage* plane, const RowPlan& plan, bool first_row, bool other_rows,
                      GroupBuffers& buffers) {
  phase_plane<measure_run_sse2, widen_sse2, no_wide_load, no_wide_store>(plane, plan, first_row, other_rows,
                                                                        buffers);
}

}  // namespace

int32_t phase_window(double period) {
  int32_t taps = round_clamped(3.0 * period, 1, kMaxKernelTaps);
  if (taps % 2 == 0) --taps;
  return taps;
}

void phase_bytes(const double* re, const double* im, int32_t count, uint8_t* out) {
  if (count <= 0) return;
  // Eight values at a time, as one window's eight rows.
  const auto values = static_cast<std::size_t>(count);
  const std::size_t padded = (values + kRows - 1) / kRows * kRows;
  std::vector<double> x(padded, 0.0), y(padded, 0.0);
  std::copy(re, re + count, x.begin());
  std::copy(im, im + count, y.begin());
  std::vector<uint64_t> bytes(padded / kRows);
  const auto windows = static_cast<int32_t>(bytes.size());
  for (int32_t first = 0; first < windows; first += kMaxRunWindows) {
    const int32_t n = std::min(kMaxRunWindows, windows - first);
    const double* x_run = x.data() + static_cast<std::ptrdiff_t>(first) * kRows;
    const double* y_run = y.data() + static_cast<std::ptrdiff_t>(first) * kRows;
    switch (simd_level()) {
      case SimdLevel::avx512:
        phase_run_avx512(x_run, y_run, n, bytes.data() + first);
        break;
      case SimdLevel::avx2:
        phase_run_avx2(x_run, y_run, n, bytes.data() + first);
        break;
      case SimdLevel::sse2:
        phase_run_sse2(x_run, y_run, n, bytes.data() + first);
        break;
    }
  }
  std::memcpy(out, bytes.data(), values);
}

void fringe_phase(GreyImage* plane, int32_t window, double period) {
  if (plane == nullptr || plane->type != 1) return;
  const int32_t width = plane->width;
  const RowPlan& plan = row_plan(width, period);

  // A row is measured only while the window in force fits it: for the first
  // row the given window, afterwards the last one built (which is in force
  // from the second row on only if the first was measured).
  const bool first_row = window <= width;
  const bool other_rows = first_row && plan.kernels.back().taps <= width;

  // Room beyond the row for the last block of a run, which reads up to
  // kMaxKernelTaps + 3 columns past its first start.
  GroupBuffers buffers(static_cast<std::size_t>(width) + kMaxKernelTaps + 8);
  switch (simd_level()) {
    case SimdLevel::avx512:
      phase_plane_avx512(plane, plan, first_row, other_rows, buffers);
      break;
    case SimdLevel::avx2:
      phase_plane_avx2(plane, plan, first_row, other_rows, buffers);
      break;
    case SimdLevel::sse2:
      phase_plane_sse2(plane, plan, first_row, other_rows, buffers);
      break;
  }
}
