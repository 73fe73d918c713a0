#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

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

// Vectors of doubles: two lanes (SSE2, every x86-64) or four (AVX2). Code
// written once for either is compiled twice and picked at run time.
using Pair = double __attribute__((vector_size(16)));
using Quad = double __attribute__((vector_size(32)));
// Independent windows measured side by side: kBlock vectors of lanes. Each
// sum still runs over the taps in order.
constexpr int32_t kBlock = 4;
constexpr int32_t kMaxLanes = 4 * kBlock;  // windows side by side with Quad

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
RowPlan plan_row(int32_t width, double period) {
  RowPlan plan;
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
  return plan;
}

// Re and Im of the windows starting at [first, end): sums over the taps in
// order, kBlock vectors of windows at a time. `line` has room for kMaxLanes
// values beyond the row, `re` and `im` for kMaxLanes values beyond `end`.
template <typename Vec>
inline __attribute__((always_inline)) void window_sums_of(const double* line,
                                                          const PhaseKernel& kernel,
                                                          int32_t first, int32_t end, double* re,
                                                          double* im) {
  constexpr int32_t lanes = sizeof(Vec) / sizeof(double);
  for (int32_t j = first; j < end; j += kBlock * lanes) {
    Vec sum_re[kBlock];
    Vec sum_im[kBlock];
#pragma GCC unroll 4
    for (int32_t b = 0; b < kBlock; ++b) sum_re[b] = sum_im[b] = Vec{};
    const double* window = line + j;
    for (int32_t i = 0; i < kernel.taps; ++i) {
      const double c = kernel.cosine[i];
      const double s = kernel.sine[i];
#pragma GCC unroll 4
      for (int32_t b = 0; b < kBlock; ++b) {
        Vec grey;
        std::memcpy(&grey, window + i + b * lanes, sizeof grey);
        sum_re[b] += grey * c;
        sum_im[b] += grey * s;
      }
    }
#pragma GCC unroll 4
    for (int32_t b = 0; b < kBlock; ++b) {
      std::memcpy(re + j + b * lanes, &sum_re[b], sizeof(Vec));
      std::memcpy(im + j + b * lanes, &sum_im[b], sizeof(Vec));
    }
  }
}

// atan(sqrt(z)) / sqrt(z) on 0 <= z <= tan^2(pi / 8), error below 1e-15:
// a Chebyshev interpolant in z, written as a power series.
constexpr double kAtanSeries[] = {
    9.999999999999990417821e-01,  -3.333333333322149879087e-01, 1.999999997840172993521e-01,
    -1.428571266218686484212e-01, 1.111104886780107636859e-01,  -9.089530178642782355365e-02,
    7.673537499877725682264e-02,  -6.505994278569804969260e-02, 5.024795553577563412883e-02,
    -2.531689281578366634551e-02};
constexpr double kTanPiOver8 = 0.41421356237309504880;
// The fast angle is within 1e-12 units (1/256 period) of the exact one; a
// value closer than this to a rounding boundary is computed again with the C
// library's atan2.
constexpr double kTieMargin = 1e-7;

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

// The angle by octant reduction and a polynomial, then the rounding, for
// kBlock vectors of responses side by side (reads that many values of `re`
// and `im`, writes the first n bytes). Only a value within kTieMargin of a
// half unit falls back to atan2, so every byte equals
// round(atan2(-Im, Re) * 128 / pi) with the C library's atan2.
template <typename Vec>
inline __attribute__((always_inline)) void phase_block(const double* re, const double* im,
                                                       int32_t n, uint8_t* out) {
  using Bits = decltype(Vec{} < Vec{});  // lanes of 64-bit integers
  constexpr int32_t lanes = sizeof(Vec) / sizeof(double);
  const Vec zero = {};
  const Vec shift = zero + kRoundingShift;
  const Vec nearly_half = zero + (0.5 - kTieMargin);
  uint8_t bytes[kBlock * lanes];
  int64_t recheck_of[kBlock * lanes];  // -1 where the value lies too near a half unit
  Bits any_recheck = {};
#pragma GCC unroll 4
  for (int32_t b = 0; b < kBlock; ++b) {
    Vec x, y;
    std::memcpy(&x, re + b * lanes, sizeof x);
    std::memcpy(&y, im + b * lanes, sizeof y);
    y = -y;
    const Vec ax = x < zero ? -x : x;
    const Vec ay = y < zero ? -y : y;
    const auto steep = ay > ax;
    const Vec num = steep ? ax : ay;
    const Vec den = steep ? ay : ax;  // num / den in 0..1
    // Beyond tan(pi / 8) reduce by pi / 4: u = (t - 1) / (t + 1), t = num / den.
    const auto upper = num > kTanPiOver8 * den;
    const Vec u = (upper ? num - den : num) / (upper ? num + den : den);
    const Vec z = u * u;
    Vec series = zero + kAtanSeries[9];
#pragma GCC unroll 9
    for (int k = 8; k >= 0; --k) series = series * z + kAtanSeries[k];
    Vec angle = (upper ? zero + kPi / 4 : zero) + u * series;
    angle = steep ? kPi / 2 - angle : angle;
    angle = x < zero ? kPi - angle : angle;
    angle = y < zero ? -angle : angle;
    const Vec units = angle * (128.0 / kPi);  // -128 .. 128
    const Vec shifted = units + shift;
    const Vec off = units - (shifted - shift);  // -0.5 .. 0.5
    const auto none = (x == zero) & (y == zero);
    Bits bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    bits = none ? Bits{} : bits;
    const Bits recheck = ~none & ~((off < nearly_half) & (off > -nearly_half));  // NaN too
    const auto low_bytes = __builtin_convertvector(bits, typename ByteLanes<lanes>::type);
    std::memcpy(bytes + b * lanes, &low_bytes, sizeof low_bytes);
    any_recheck |= recheck;
    std::memcpy(recheck_of + b * lanes, &recheck, sizeof recheck);
  }
  int64_t any = 0;
  for (int32_t k = 0; k < lanes; ++k) any |= any_recheck[k];
  if (any != 0)
    for (int32_t k = 0; k < n; ++k)
      if (recheck_of[k] != 0) bytes[k] = static_cast<uint8_t>(exact_phase_value(re[k], im[k]));
  std::memcpy(out, bytes, static_cast<std::size_t>(n));
}

template <typename Vec>
inline __attribute__((always_inline)) void phase_bytes_of(const double* re, const double* im,
                                                          int32_t count, uint8_t* out) {
  constexpr int32_t step = kBlock * sizeof(Vec) / sizeof(double);
  int32_t j = 0;
  for (; j + step <= count; j += step) phase_block<Vec>(re + j, im + j, step, out + j);
  if (j >= count) return;
  double re_tail[step] = {};
  double im_tail[step] = {};
  std::copy(re + j, re + count, re_tail);
  std::copy(im + j, im + count, im_tail);
  phase_block<Vec>(re_tail, im_tail, count - j, out + j);
}

__attribute__((target("avx2"))) void window_sums_avx2(const double* line,
                                                      const PhaseKernel& kernel, int32_t first,
                                                      int32_t end, double* re, double* im) {
  window_sums_of<Quad>(line, kernel, first, end, re, im);
}
void window_sums_sse2(const double* line, const PhaseKernel& kernel, int32_t first, int32_t end,
                      double* re, double* im) {
  window_sums_of<Pair>(line, kernel, first, end, re, im);
}
__attribute__((target("avx2"))) void phase_bytes_avx2(const double* re, const double* im,
                                                      int32_t count, uint8_t* out) {
  phase_bytes_of<Quad>(re, im, count, out);
}
void phase_bytes_sse2(const double* re, const double* im, int32_t count, uint8_t* out) {
  phase_bytes_of<Pair>(re, im, count, out);
}

void window_sums(const double* line, const PhaseKernel& kernel, int32_t first, int32_t end,
                 double* re, double* im) {
  if (cpu_has_avx2())
    window_sums_avx2(line, kernel, first, end, re, im);
  else
    window_sums_sse2(line, kernel, first, end, re, im);
}

}  // namespace

int32_t phase_window(double period) {
  int32_t taps = round_clamped(3.0 * period, 1, kMaxKernelTaps);
  if (taps % 2 == 0) --taps;
  return taps;
}

void phase_bytes(const double* re, const double* im, int32_t count, uint8_t* out) {
  if (cpu_has_avx2())
    phase_bytes_avx2(re, im, count, out);
  else
    phase_bytes_sse2(re, im, count, out);
}

void fringe_phase(GreyImage* plane, int32_t window, double period) {
  if (plane == nullptr || plane->type != 1) return;
  const int32_t width = plane->width;
  const RowPlan plan = plan_row(width, period);
  const PhaseKernel& last = plan.kernels.back();

  const auto room = static_cast<std::size_t>(width) + kMaxKernelTaps + kMaxLanes;
  std::vector<double> line(room, 0.0);
  std::vector<double> re(room);
  std::vector<double> im(room);
  std::vector<uint8_t> phase(static_cast<std::size_t>(width));

  // A row is measured only while the window in force fits it: for the first
  // row the given window, afterwards the last one built.
  int32_t taps_in_force = window;
  for (int32_t y = 0; y < plane->height; ++y) {
    uint8_t* row = img_line(plane, y);
    std::fill(phase.begin(), phase.end(), uint8_t{0});
    if (taps_in_force <= width) {
      std::copy(row, row + width, line.begin());
      for (const WindowRun& run : plan.runs) {
        const PhaseKernel& kernel = plan.kernels[static_cast<std::size_t>(run.kernel)];
        window_sums(line.data(), kernel, run.first, run.end, re.data(), im.data());
        phase_bytes(re.data() + run.first, im.data() + run.first, run.end - run.first,
                    phase.data() + run.first + kernel.half);
      }
      taps_in_force = last.taps;
      // Columns nearer the edge than the last half window hold no full-width
      // measurement.
      const int32_t border = std::min(last.half, width);
      std::fill(phase.begin(), phase.begin() + border, uint8_t{0});
      std::fill(phase.end() - border, phase.end(), uint8_t{0});
    }
    std::copy(phase.begin(), phase.end(), row);
  }
}
