#include "simulation/fringe_synthesis.h"

#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <numbers>
#include <vector>

#include "scan/cpu_features.h"
#include "scan/grey_image.h"
#include "simulation/cosine_estimate.h"
#include "simulation/dark_level_shift.h"
#include "simulation/random_generator.h"
#include "simulation/shaped_random.h"
#include "simulation/surface_rows.h"

// The grey level of a pixel is worked out from its noise-free level with
// the C library's sqrt and cos, then the noise. Here the cosines are
// estimated (cosine_estimate.h) and the pixels computed in vectors; a pixel
// whose level, noise added, lies so near an integer that the estimate could
// move it across is computed again with std::cos, so every grey byte is the
// one the C library's cosine gives. The draws of the generator are worked
// out side by side by jumping it ahead (random_jump), and the generator is
// left where the pixel-by-pixel draws would leave it.
namespace {

// Dark level of fringes whose contrast is too low to reach grey level 0.
constexpr int kDarkFloor = 32;

// The estimate is within 1e-10 of std::cos. A level (contrast * cos + 1) *
// 127 - shift then moves by at most 127 * 1e-10 plus a rounding or two of
// its own (below 1e-13), the noisy value by (1 + |n m| / 255) times that
// plus a few roundings: this margin per unit of that factor keeps more than
// 75 times all of it (and is 0 for contrast 0, where the cosine drops out).
// Some 2e-6 of the pixels, a few per picture, lie that near an integer.
constexpr double kLevelMargin = 1e-6;

// 0 for values that are not >= 0 (not-a-number included), 1 above 1.
double clamp_unit(double value) {
  if (!(value >= 0.0)) return 0.0;
  if (value > 1.0) return 1.0;
  return value;
}

// Grey byte of level v: below 0 (or not a number) 0, above 254 254, else v
// truncated towards zero. On noisy pictures the clamps are hit at random, and
// a mispredicted branch there stalls behind the whole chain of draws, so SSE2
// max and min do them without branches (maxsd returns its second operand, 0,
// for a not-a-number).
uint8_t grey_byte(double v) {
  __m128d x = _mm_max_sd(_mm_set_sd(v), _mm_setzero_pd());
  x = _mm_min_sd(x, _mm_set_sd(254.0));
  return static_cast<uint8_t>(_mm_cvttsd_si32(x));
}

// Adding and removing 1.5 * 2^52 rounds a double below 2^51 to an integer.
constexpr double kRoundingShift = 6755399441055744.0;

// True when v lies within `margin` of an integer (where the grey byte may
// change). Values of 2^51 and more lie far beyond the clamps to 0 and 254.
bool near_integer(double v, double margin) {
  if (!(std::fabs(v) < 2251799813685248.0)) return false;
  return std::fabs(v - ((v + kRoundingShift) - kRoundingShift)) < margin;
}

// What a row's levels are made of: per column x and x squared (mm from the
// apex) and the level on the flat floor z = -R around the sphere; the sphere
// and the fringes.
struct Geometry {
  const double* column_x;
  const double* column_x_sq;
  const double* floor_level;
  std::size_t width;
  double radius;
  double radius_sq;
  double t;          // tan(alpha)
  double period_mm;  // fringe period on the flat, mm
  double contrast;
  double shift;

  // Height z moves the vertical fringes sideways by z * t; phase 0 at the apex.
  double phase(double x, double z) const { return 2.0 * std::numbers::pi * (x + z * t) / period_mm; }
  double level(double x, double z) const { return (contrast * std::cos(phase(x, z)) + 1.0) * 127.0 - shift; }
  // The level of column j in a row of y squared y_sq with the C library's
  // sqrt and cos: z is 0 at the apex and falls to -R at the rim.
  double exact_level(double y_sq, std::size_t j) const {
    const double r_sq = column_x_sq[j] + y_sq;
    return r_sq < radius_sq ? level(column_x[j], std::sqrt(radius_sq - r_sq) - radius) : floor_level[j];
  }
};

using Pair = double __attribute__((vector_size(16)));
using Quad = double __attribute__((vector_size(32)));
using PairWords = uint64_t __attribute__((vector_size(16)));
using QuadWords = uint64_t __attribute__((vector_size(32)));

// Whether no lane of a comparison's result is set.
using QuadMask = decltype(Quad{} < Quad{});
using PairMask = decltype(Pair{} < Pair{});
// (Not forced inline: the templates that call it are compiled for AVX2 only
// where they are inlined, and the compiler inlines it there.)
__attribute__((target("avx2"))) inline bool none_set(const QuadMask& mask) {
  return _mm256_movemask_pd(_mm256_castsi256_pd(reinterpret_cast<const __m256i&>(mask))) == 0;
}
inline __attribute__((always_inline)) bool none_set(const PairMask& mask) {
  return _mm_movemask_pd(_mm_castsi128_pd(reinterpret_cast<const __m128i&>(mask))) == 0;
}

// The levels of lanes j .. j + lanes - 1 of a row, given the square roots
// of R^2 - r^2 (any value where r >= R): the cosine estimated; columns whose
// phase lies beyond the estimate's range (or is not a number) take
// exact_level.
template <typename Vec>
inline __attribute__((always_inline)) void estimate_lanes(const Geometry& g, double y_sq, std::size_t j,
                                                          const Vec& r_sq, const Vec& root, double* levels) {
  constexpr std::size_t lanes = sizeof(Vec) / sizeof(double);
  Vec x, floor;
  std::memcpy(&x, g.column_x + j, sizeof x);
  std::memcpy(&floor, g.floor_level + j, sizeof floor);
  const Vec z = root - g.radius;
  const Vec phi = 2.0 * std::numbers::pi * (x + z * g.t) / g.period_mm;
  Vec c;
  cosine_estimate(phi, c);
  const Vec level = (g.contrast * c + 1.0) * 127.0 - g.shift;
  const Vec out = r_sq < g.radius_sq ? level : floor;
  std::memcpy(levels + j, &out, sizeof out);
  const auto beyond = ~((phi <= kCosineEstimateRange) & (phi >= -kCosineEstimateRange)) & (r_sq < g.radius_sq);
  if (none_set(beyond)) return;
  for (std::size_t k = 0; k < lanes; ++k)
    if (beyond[k] != 0) levels[j + k] = g.exact_level(y_sq, j + k);
}

// The columns left over after the last full vector, one at a time.
void estimate_tail(const Geometry& g, double y_sq, std::size_t j, double* levels) {
  for (; j < g.width; ++j) {
    const double r_sq = g.column_x_sq[j] + y_sq;
    if (!(r_sq < g.radius_sq)) {
      levels[j] = g.floor_level[j];
      continue;
    }
    const double phi = g.phase(g.column_x[j], std::sqrt(g.radius_sq - r_sq) - g.radius);
    double c = 0.0;
    if (std::fabs(phi) <= kCosineEstimateRange)
      cosine_estimate(phi, c);
    else
      c = std::cos(phi);
    levels[j] = (g.contrast * c + 1.0) * 127.0 - g.shift;
  }
}

// The levels of one row. The square roots are taken in vectors: every sqrt
// is correctly rounded, so they are the C library's to the last bit.
// (Outside the sphere the root of a negative number is taken as 0; those
// columns keep the floor level.)
__attribute__((target("avx2"))) void estimate_row_avx2(const Geometry& g, double y_sq, double* levels) {
  std::size_t j = 0;
#pragma GCC unroll 2
  for (; j + 4 <= g.width; j += 4) {
    Quad x_sq;
    std::memcpy(&x_sq, g.column_x_sq + j, sizeof x_sq);
    const Quad r_sq = x_sq + y_sq;
    Quad rest = g.radius_sq - r_sq;
    rest = rest > 0.0 ? rest : Quad{};
    Quad root;
    const __m256d roots = _mm256_sqrt_pd(_mm256_loadu_pd(reinterpret_cast<const double*>(&rest)));
    _mm256_storeu_pd(reinterpret_cast<double*>(&root), roots);
    estimate_lanes(g, y_sq, j, r_sq, root, levels);
  }
  estimate_tail(g, y_sq, j, levels);
}
// The same steps eight lanes at a time with AVX-512 lane masks, but the
// phase multiplied by 2 pi / period instead of divided by the period (the
// division took a third of the time): that moves a phase of up to 1e5 by at
// most 5e-11 (four roundings) and the estimated level by 7e-9 more, still 50
// times inside kLevelMargin. (Nor can 2 pi (x + z t) overflow where the other does not: on
// the sphere |x| < R with R^2 finite and |t| below 1e20, so |x + z t| stays
// below 1e175.) Products and sums are fused where the estimate allows it,
// each fusion one rounding fewer: the reduction by pi is as exact as before
// (k times the high part of pi is exact), the series and the level then only
// nearer the true values, within the same bounds. The parity of k is the
// lowest bit of the rounding shift's sum that gave k. The estimates differ
// from the narrower variants' in their last bits; the grey bytes, which the
// margin decides, do not.
AVX512_TARGET inline __m512d series_pair(double a, double b, __m512d z) {  // a + b z
  return _mm512_fmadd_pd(_mm512_set1_pd(b), z, _mm512_set1_pd(a));
}
AVX512_TARGET void estimate_row_avx512(const Geometry& g, double y_sq, double* levels) {
  using namespace cosine_detail;
  const __m512d y = _mm512_set1_pd(y_sq);
  const __m512d radius_sq = _mm512_set1_pd(g.radius_sq);
  const __m512d radius = _mm512_set1_pd(g.radius);
  const __m512d t = _mm512_set1_pd(g.t);
  const __m512d per_period = _mm512_set1_pd(2.0 * std::numbers::pi / g.period_mm);
  const __m512d shift = _mm512_set1_pd(kRoundingShift);
  const __m512d range = _mm512_set1_pd(kCosineEstimateRange);
  const __m512d zero = _mm512_setzero_pd();
  // level = (contrast c + 1) 127 - shift = c (127 contrast) + (127 - shift).
  const __m512d level_scale = _mm512_set1_pd(127.0 * g.contrast);
  const __m512d level_offset = _mm512_set1_pd(127.0 - g.shift);
  std::size_t j = 0;
  for (; j + 8 <= g.width; j += 8) {
    const __m512d r_sq = _mm512_add_pd(_mm512_loadu_pd(g.column_x_sq + j), y);
    const __m512d rest = _mm512_sub_pd(radius_sq, r_sq);
    const __mmask8 inside = _mm512_cmp_pd_mask(r_sq, radius_sq, _CMP_LT_OQ);
    const __m512d root = _mm512_maskz_sqrt_pd(_mm512_cmp_pd_mask(rest, zero, _CMP_GT_OQ), rest);
    const __m512d z = _mm512_sub_pd(root, radius);
    const __m512d phi = _mm512_mul_pd(_mm512_fmadd_pd(z, t, _mm512_loadu_pd(g.column_x + j)), per_period);
    // cosine_estimate, lane masks for its last choice.
    const __m512d shifted = _mm512_fmadd_pd(phi, _mm512_set1_pd(kOneOverPi), shift);
    const __m512d k = _mm512_sub_pd(shifted, shift);
    const __m512d r =
        _mm512_fnmadd_pd(k, _mm512_set1_pd(kPiLow), _mm512_fnmadd_pd(k, _mm512_set1_pd(kPiHigh), phi));
    const __m512d zz = _mm512_mul_pd(r, r);
    const __m512d z2 = _mm512_mul_pd(zz, zz);
    const __m512d z4 = _mm512_mul_pd(z2, z2);
    const __m512d head =
        _mm512_fmadd_pd(z2, series_pair(kC2, kC3, zz), _mm512_fnmadd_pd(_mm512_set1_pd(0.5), zz, _mm512_set1_pd(1.0)));
    const __m512d tail = _mm512_fmadd_pd(z2, series_pair(kC6, kC7, zz), series_pair(kC4, kC5, zz));
    const __m512d cos_r = _mm512_fmadd_pd(z4, tail, head);
    const __mmask8 odd = _mm512_test_epi64_mask(_mm512_castpd_si512(shifted), _mm512_set1_epi64(1));
    const __m512d c = _mm512_mask_xor_pd(cos_r, odd, cos_r, _mm512_set1_pd(-0.0));
    const __m512d level = _mm512_fmadd_pd(c, level_scale, level_offset);
    _mm512_storeu_pd(levels + j, _mm512_mask_blend_pd(inside, _mm512_loadu_pd(g.floor_level + j), level));
    const __mmask8 within = _mm512_cmp_pd_mask(phi, range, _CMP_LE_OQ) &
                            _mm512_cmp_pd_mask(phi, _mm512_sub_pd(zero, range), _CMP_GE_OQ);
    const unsigned beyond = static_cast<unsigned>(inside & ~within);
    if (beyond == 0) continue;
    for (std::size_t lane = 0; lane < 8; ++lane)
      if ((beyond >> lane & 1U) != 0) levels[j + lane] = g.exact_level(y_sq, j + lane);
  }
  estimate_tail(g, y_sq, j, levels);
}
void estimate_row_sse2(const Geometry& g, double y_sq, double* levels) {
  std::size_t j = 0;
  for (; j + 2 <= g.width; j += 2) {
    Pair x_sq;
    std::memcpy(&x_sq, g.column_x_sq + j, sizeof x_sq);
    const Pair r_sq = x_sq + y_sq;
    Pair rest = g.radius_sq - r_sq;
    rest = rest > 0.0 ? rest : Pair{};
    Pair root;
    _mm_storeu_pd(reinterpret_cast<double*>(&root), _mm_sqrt_pd(_mm_loadu_pd(reinterpret_cast<const double*>(&rest))));
    estimate_lanes(g, y_sq, j, r_sq, root, levels);
  }
  estimate_tail(g, y_sq, j, levels);
}

// The noise-free levels (before clamping) of a row, estimated as above;
// exact_level gives the C library's value of any of them. Everything that
// depends on the column alone is worked out once, including the level on the
// flat floor z = -R around the sphere.
class NoiseFreeRows {
 public:
  NoiseFreeRows(const SimParams& params, double contrast)
      : width_(static_cast<std::size_t>(params.x_pixels)),
        height_(params.y_pixels),
        column_x_(width_),
        column_x_sq_(width_),
        floor_level_(width_),
        row_y_sq_(static_cast<std::size_t>(height_)),
        scratch_(width_) {
    geometry_ = {column_x_.data(),
                 column_x_sq_.data(),
                 floor_level_.data(),
                 width_,
                 params.radius,
                 params.radius * params.radius,
                 std::tan(std::numbers::pi * params.alpha_deg / 180.0),
                 params.pixel_size * params.fringe_period,
                 contrast,
                 dark_level_shift(contrast, kDarkFloor)};
    const double d = params.pixel_size;
    const double column_centre = (params.x_pixels - 1) * 0.5;
    for (std::size_t j = 0; j < width_; ++j) {
      const double x = d * (static_cast<double>(j) - column_centre) - params.offset_x;
      column_x_[j] = x;
      column_x_sq_[j] = x * x;
      floor_level_[j] = geometry_.level(x, -params.radius);
    }
    const double row_centre = (height_ - 1) * 0.5;
    for (int32_t i = 0; i < height_; ++i) {
      const double y = d * (i - row_centre) - params.offset_y;
      row_y_sq_[i] = y * y;
    }
  }

  // Estimated levels of row i (y pixels above the bottom row), valid until
  // the next call.
  const double* row(int32_t i) {
    if (cpu_has_avx512())
      estimate_row_avx512(geometry_, row_y_sq_[i], scratch_.data());
    else if (cpu_has_avx2())
      estimate_row_avx2(geometry_, row_y_sq_[i], scratch_.data());
    else
      estimate_row_sse2(geometry_, row_y_sq_[i], scratch_.data());
    return scratch_.data();
  }
  // Whether rows i and k have the same levels: their y squared are equal.
  bool same_levels(int32_t i, int32_t k) const { return row_y_sq_[i] == row_y_sq_[k]; }

  // The C library's level of pixel j of row i.
  double exact_level(int32_t i, std::size_t j) const { return geometry_.exact_level(row_y_sq_[i], j); }

 private:
  std::size_t width_;
  int32_t height_;
  std::vector<double> column_x_;     // mm right of the apex
  std::vector<double> column_x_sq_;
  std::vector<double> floor_level_;  // level where r >= R
  std::vector<double> row_y_sq_;     // (mm above the apex) squared
  std::vector<double> scratch_;
  Geometry geometry_{};
};

// The noise of the pixels: which draws each pixel takes and what it does
// with them.
struct Noise {
  double weight;          // m, 0 < m <= 1
  bool additive;          // an amount is drawn (its bound is not 0)
  double additive_bound;  // |bound| of the amount, as random_below takes it
  bool proportional;      // a shaped value is drawn (max noise > 0)
  int32_t low;            // -M
  double span;            // 2 M, as the shaped draw takes it
  double additive_inverse;  // 1 / additive_bound, rounded
  double span_inverse;      // 1 / span, rounded
  bool span_power_of_two;   // then span_inverse is exact
  int draws;              // per pixel: 1 to 3

  // v + amount * s + n * m * v / 255, in that order, as a grey byte.
  uint8_t grey(double v, double s, int32_t amount, int32_t n) const {
    return grey_byte(v + amount * s + n * weight * v / 255.0);
  }
  double value(double v, double s, int32_t amount, int32_t n) const {
    return v + amount * s + n * weight * v / 255.0;
  }
  // How near an integer a noisy value may lie before the estimate of its
  // level could move it across.
  double margin(double contrast, int32_t n) const {
    return contrast > 0.0 ? kLevelMargin * (1.0 + std::fabs(n * weight) / 255.0) : 0.0;
  }
};

// The three values of one pixel's draws (a draw not taken gives 0).
struct PixelDraws {
  double sign;  // -1 or +1
  int32_t amount;
  int32_t n;
};

// The shaped value of a remainder r of the square shape, exactly as
// shaped_value computes it (lo + span * (r / span)^2, halves to even).
inline double shaped_square(double low, double span, double r) {
  const double u = r / span;
  return std::nearbyint(low + span * square_shape(u));
}

// Draws of the pixel whose first draw leaves the generator at `state`.
PixelDraws draws_at(const Noise& noise, uint64_t state, const RandomJump& one) {
  PixelDraws d{};
  d.sign = (draw_of_state(state) % 2) + 1 == 1 ? -1.0 : 1.0;  // (-1)^k, k = draw mod 2 + 1
  if (noise.additive) {
    state = jumped_state(state, one);
    d.amount = static_cast<int32_t>(static_cast<uint32_t>(draw_of_state(state)) %
                                    static_cast<uint32_t>(noise.additive_bound));
  }
  if (noise.proportional) {
    state = jumped_state(state, one);
    const uint32_t r =
        static_cast<uint32_t>(draw_of_state(state)) % static_cast<uint32_t>(noise.span);
    d.n = static_cast<int32_t>(shaped_square(noise.low, noise.span, r));
  }
  return d;
}

// Draws as doubles: the 31 bits of each state's draw, placed in a double's
// mantissa under 2^52 and the 2^52 taken off again (exact).
template <typename Vec, typename Words>
inline __attribute__((always_inline)) void draw_values(const Words& states, Vec& draws) {
  const Words bits = ((states >> 32) & 0x7FFFFFFFU) | 0x4330000000000000ULL;
  std::memcpy(&draws, &bits, sizeof draws);
  draws = draws - 4503599627370496.0;  // 2^52
}

// a mod bound for integers 0 <= a < 2^31 held as doubles, bound 1 .. 2^32,
// with `inverse` the double nearest 1 / bound: the quotient a * inverse,
// floored, is the integer quotient or one off it (the product's error is far
// below 1 for quotients below 2^31), and one correction either way makes the
// remainder exact. Every step is exact in doubles.
template <typename Vec>
inline __attribute__((always_inline)) void remainder_of(Vec& a, double bound, double inverse) {
  const Vec estimate = a * inverse;
  Vec q = (estimate + kRoundingShift) - kRoundingShift;
  q = q > estimate ? q - 1.0 : q;
  Vec r = a - q * bound;
  r = r < 0.0 ? r + bound : r;
  r = r >= bound ? r - bound : r;
  a = r;
}

// Truncated to integers and stored as bytes (values 0 .. 254).
using QuadInts = int32_t __attribute__((vector_size(16)));
using PairInts = int32_t __attribute__((vector_size(8)));
__attribute__((target("avx2"))) inline void store_bytes(const Quad& clamped, uint8_t* out) {
  const __m128i ints = _mm256_cvttpd_epi32(reinterpret_cast<const __m256d&>(clamped));
  const __m128i words = _mm_packs_epi32(ints, ints);  // 0 .. 254 pass both packs unchanged
  const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
  std::memcpy(out, &bytes, sizeof bytes);
}
inline __attribute__((always_inline)) void store_bytes(const Pair& clamped, uint8_t* out) {
  const PairInts ints = __builtin_convertvector(clamped, PairInts);
  uint8_t bytes[8];
  std::memcpy(bytes, &ints, sizeof bytes);
  out[0] = bytes[0];
  out[1] = bytes[4];
}

// Pixels j .. width - 1 of a row one at a time; `s` is the generator's
// state after pixel j's first draw.
template <typename Rows>
void noisy_tail(const Noise& noise, Rows& rows, int32_t i, const double* levels, uint8_t* line, std::size_t j,
                std::size_t width, uint64_t s, double contrast) {
  const RandomJump one = random_jump(1);
  const RandomJump pixel = random_jump(static_cast<uint64_t>(noise.draws));
  for (; j < width; ++j, s = jumped_state(s, pixel)) {
    const PixelDraws d = draws_at(noise, s, one);
    const double v = noise.value(levels[j], d.sign, d.amount, d.n);
    line[j] = near_integer(v, noise.margin(contrast, d.n))
                  ? noise.grey(rows.exact_level(i, j), d.sign, d.amount, d.n)
                  : grey_byte(v);
  }
}

// One row of noisy pixels, lanes at a time. `state` is the generator before
// the row's first draw; the lanes start `draws` apart and step lanes * draws.
template <typename Vec, typename Words, typename Rows>
inline __attribute__((always_inline)) void noisy_row(const Noise& noise, Rows& rows, int32_t i,
                                                     const double* levels, uint8_t* line, std::size_t width,
                                                     uint64_t state, double contrast) {
  constexpr std::size_t lanes = sizeof(Vec) / sizeof(double);
  const RandomJump one = random_jump(1);
  const RandomJump pixel = random_jump(static_cast<uint64_t>(noise.draws));
  const RandomJump step = random_jump(static_cast<uint64_t>(noise.draws) * lanes);
  // The state after each lane's first draw.
  Words first;
  {
    uint64_t s = jumped_state(state, one);
    for (std::size_t k = 0; k < lanes; ++k, s = jumped_state(s, pixel)) first[k] = s;
  }
  // The margin for the largest shaped value |n| <= M: a little wider than
  // each pixel's own, which only sends a few more pixels to the exact path.
  const double margin = noise.margin(contrast, noise.proportional ? -noise.low : 0);
  std::size_t j = 0;
  for (; j + lanes <= width; j += lanes) {
    // (-1)^k with k = draw mod 2 + 1: -1 for an even draw, +1 for an odd one.
    Vec sign;
    draw_values(Words(((first >> 32) & 1U)) << 32, sign);
    sign = 2.0 * sign - 1.0;
    Words next = first;
    Vec amount = {}, n = {};
    if (noise.additive) {
      next = next * one.multiplier + one.increment;
      draw_values(next, amount);
      remainder_of(amount, noise.additive_bound, noise.additive_inverse);
    }
    if (noise.proportional) {
      next = next * one.multiplier + one.increment;
      Vec r;
      draw_values(next, r);
      remainder_of(r, noise.span, noise.span_inverse);
      // r / span as shaped_value divides, or by the exact reciprocal when
      // the span is a power of two (which gives the same quotient).
      const Vec u = noise.span_power_of_two ? r * noise.span_inverse : r / noise.span;
      const Vec shaped = noise.low + noise.span * (u * u);
      n = (shaped + kRoundingShift) - kRoundingShift;  // nearest, halves to even
    }
    Vec v;
    std::memcpy(&v, levels + j, sizeof v);
    const Vec noisy = v + amount * sign + n * noise.weight * v / 255.0;
    // The grey byte: clamped to 0 .. 254 (a not-a-number to 0), truncated.
    Vec clamped = noisy > 0.0 ? noisy : Vec{};
    clamped = clamped < 254.0 ? clamped : Vec{} + 254.0;
    const Vec distance = noisy - ((noisy + kRoundingShift) - kRoundingShift);
    const auto near = (distance < margin) & (distance > -margin);
    store_bytes(clamped, line + j);
    if (__builtin_expect(!none_set(near), 0)) {
      for (std::size_t k = 0; k < lanes; ++k)
        if (near[k] != 0)
          line[j + k] = noise.grey(rows.exact_level(i, j + k), sign[k], static_cast<int32_t>(amount[k]),
                                   static_cast<int32_t>(n[k]));
    }
    first = first * step.multiplier + step.increment;
  }
  noisy_tail(noise, rows, i, levels, line, j, width, first[0], contrast);
}

// The grey bytes of eight levels: clamped to 0 .. 254 (a not-a-number to
// 0) and truncated, as grey_byte does (max gives its second operand, 0, for
// a not-a-number; both take the second operand for equal values). Returns
// the lanes whose level lies within `margin` of an integer.
AVX512_TARGET inline unsigned store_grey_bytes8(__m512d v, __m512d margin, uint8_t* out) {
  const __m512d zero = _mm512_setzero_pd();
  const __m512d clamped = _mm512_maskz_min_pd(0xFF, _mm512_maskz_max_pd(0xFF, v, zero), _mm512_set1_pd(254.0));
  const __m128i bytes = _mm512_maskz_cvtepi64_epi8(0xFF, _mm512_maskz_cvttpd_epi64(0xFF, clamped));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
  const __m512d distance =
      _mm512_sub_pd(v, _mm512_maskz_roundscale_pd(0xFF, v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
  return _mm512_cmp_pd_mask(distance, margin, _CMP_LT_OQ) &
         _mm512_cmp_pd_mask(distance, _mm512_sub_pd(zero, margin), _CMP_GT_OQ);
}

// remainder_of and draw_values for eight lanes: the quotient's estimate is
// floored in one step, the corrections are the same.
AVX512_TARGET inline __m512d remainder_of8(__m512d a, __m512d bound, __m512d inverse) {
  const __m512d q =
      _mm512_maskz_roundscale_pd(0xFF, _mm512_mul_pd(a, inverse), _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  __m512d r = _mm512_fnmadd_pd(q, bound, a);  // q bound is exact: one rounding or two, the same
  r = _mm512_mask_add_pd(r, _mm512_cmp_pd_mask(r, _mm512_setzero_pd(), _CMP_LT_OQ), r, bound);
  return _mm512_mask_sub_pd(r, _mm512_cmp_pd_mask(r, bound, _CMP_GE_OQ), r, bound);
}
AVX512_TARGET inline __m512d draw_values8(__m512i states) {
  // (states >> 32 & 0x7FFFFFFF) | 0x4330000000000000 in one logic step.
  const __m512i bits = _mm512_ternarylogic_epi64(_mm512_maskz_srli_epi64(0xFF, states, 32),
                                                 _mm512_set1_epi64(0x7FFFFFFF),
                                                 _mm512_set1_epi64(0x4330000000000000LL), 0xEA);
  return _mm512_sub_pd(_mm512_castsi512_pd(bits), _mm512_set1_pd(4503599627370496.0));  // 2^52
}
AVX512_TARGET inline __m512i next_states8(__m512i states, const RandomJump& jump) {
  return _mm512_add_epi64(_mm512_mullo_epi64(states, _mm512_set1_epi64(static_cast<int64_t>(jump.multiplier))),
                          _mm512_set1_epi64(static_cast<int64_t>(jump.increment)));
}

// noisy_row eight lanes at a time with AVX-512 lane masks: the same
// operations in the same order.
template <typename Rows>
AVX512_TARGET void noisy_row_avx512(const Noise& noise, Rows& rows, int32_t i, const double* levels,
                                    uint8_t* line, std::size_t width, uint64_t state, double contrast) {
  const RandomJump one = random_jump(1);
  const RandomJump pixel = random_jump(static_cast<uint64_t>(noise.draws));
  const RandomJump step = random_jump(static_cast<uint64_t>(noise.draws) * 8);
  alignas(64) uint64_t lane_states[8];
  {
    uint64_t s = jumped_state(state, one);
    for (uint64_t& lane : lane_states) lane = s, s = jumped_state(s, pixel);
  }
  __m512i first = _mm512_load_si512(lane_states);
  const __m512d shift = _mm512_set1_pd(kRoundingShift);
  const __m512d zero = _mm512_setzero_pd();
  const __m512d margin = _mm512_set1_pd(noise.margin(contrast, noise.proportional ? -noise.low : 0));
  const __m512d additive_bound = _mm512_set1_pd(noise.additive_bound);
  const __m512d additive_inverse = _mm512_set1_pd(noise.additive_inverse);
  const __m512d span = _mm512_set1_pd(noise.span);
  const __m512d span_inverse = _mm512_set1_pd(noise.span_inverse);
  const __m512d low = _mm512_set1_pd(noise.low);
  const __m512d weight = _mm512_set1_pd(noise.weight);
  const __m512d weight_per_level = _mm512_set1_pd(noise.weight / 255.0);
  const bool estimated = contrast > 0.0;
  std::size_t j = 0;
  for (; j + 8 <= width; j += 8) {
    // (-1)^k with k = draw mod 2 + 1: -1 for an even draw, +1 for an odd one.
    const __mmask8 odd = _mm512_test_epi64_mask(first, _mm512_set1_epi64(int64_t{1} << 32));
    __m512i next = first;
    __m512d amount = zero, n = zero;
    if (noise.additive) {
      next = next_states8(next, one);
      amount = remainder_of8(draw_values8(next), additive_bound, additive_inverse);
    }
    if (noise.proportional) {
      next = next_states8(next, one);
      const __m512d r = remainder_of8(draw_values8(next), span, span_inverse);
      const __m512d u = noise.span_power_of_two ? _mm512_mul_pd(r, span_inverse) : _mm512_div_pd(r, span);
      const __m512d shaped = _mm512_add_pd(low, _mm512_mul_pd(span, _mm512_mul_pd(u, u)));
      n = _mm512_sub_pd(_mm512_add_pd(shaped, shift), shift);  // nearest, halves to even
    }
    const __m512d v = _mm512_loadu_pd(levels + j);
    // amount * sign is amount with its sign bit flipped for an even draw.
    // With estimated levels n m v / 255 is taken as n (m / 255) v: a rounding
    // or two of a term below 64, far inside the margin, which decides the
    // byte; without (contrast 0: the levels are exact, the margin 0) as it is.
    const __m512d proportional =
        estimated ? _mm512_mul_pd(_mm512_mul_pd(n, weight_per_level), v)
                  : _mm512_div_pd(_mm512_mul_pd(_mm512_mul_pd(n, weight), v), _mm512_set1_pd(255.0));
    const __m512d noisy = _mm512_add_pd(
        _mm512_add_pd(v, _mm512_mask_xor_pd(amount, static_cast<__mmask8>(~odd), amount, _mm512_set1_pd(-0.0))),
        proportional);
    const unsigned near = store_grey_bytes8(noisy, margin, line + j);
    if (__builtin_expect(near != 0, 0)) {
      const __m512d sign = _mm512_mask_blend_pd(odd, _mm512_set1_pd(-1.0), _mm512_set1_pd(1.0));
      alignas(64) double signs[8], amounts[8], ns[8];
      _mm512_store_pd(signs, sign);
      _mm512_store_pd(amounts, amount);
      _mm512_store_pd(ns, n);
      for (std::size_t k = 0; k < 8; ++k)
        if ((near >> k & 1U) != 0)
          line[j + k] = noise.grey(rows.exact_level(i, j + k), signs[k], static_cast<int32_t>(amounts[k]),
                                   static_cast<int32_t>(ns[k]));
    }
    first = next_states8(first, step);
  }
  _mm512_store_si512(lane_states, first);
  noisy_tail(noise, rows, i, levels, line, j, width, lane_states[0], contrast);
}
template <typename Rows>
__attribute__((target("avx2"))) void noisy_row_avx2(const Noise& noise, Rows& rows, int32_t i,
                                                    const double* levels, uint8_t* line, std::size_t width,
                                                    uint64_t state, double contrast) {
  noisy_row<Quad, QuadWords, Rows>(noise, rows, i, levels, line, width, state, contrast);
}
template <typename Rows>
void noisy_row_sse2(const Noise& noise, Rows& rows, int32_t i, const double* levels, uint8_t* line,
                    std::size_t width, uint64_t state, double contrast) {
  noisy_row<Pair, PairWords, Rows>(noise, rows, i, levels, line, width, state, contrast);
}

// One row without noise: the grey bytes of the levels, lanes at a time.
template <typename Vec, typename Rows>
inline __attribute__((always_inline)) void clean_row(Rows& rows, int32_t i, const double* levels,
                                                     uint8_t* line, std::size_t width, double contrast) {
  constexpr std::size_t lanes = sizeof(Vec) / sizeof(double);
  const double margin = contrast > 0.0 ? kLevelMargin : 0.0;
  std::size_t j = 0;
  for (; j + lanes <= width; j += lanes) {
    Vec v;
    std::memcpy(&v, levels + j, sizeof v);
    // Levels lie within -127 .. 254 (contrast and shift are bounded).
    const Vec distance = v - ((v + kRoundingShift) - kRoundingShift);
    const auto near = (distance < margin) & (distance > -margin);
    Vec clamped = v > 0.0 ? v : Vec{};
    clamped = clamped < 254.0 ? clamped : Vec{} + 254.0;
    if (none_set(near)) {
      store_bytes(clamped, line + j);
      continue;
    }
    for (std::size_t k = 0; k < lanes; ++k)
      line[j + k] = near[k] != 0 ? grey_byte(rows.exact_level(i, j + k))
                                 : static_cast<uint8_t>(static_cast<int32_t>(clamped[k]));
  }
  for (; j < width; ++j)
    line[j] = near_integer(levels[j], margin) ? grey_byte(rows.exact_level(i, j)) : grey_byte(levels[j]);
}

template <typename Rows>
__attribute__((target("avx2"))) void clean_row_avx2(Rows& rows, int32_t i, const double* levels,
                                                    uint8_t* line, std::size_t width, double contrast) {
  clean_row<Quad, Rows>(rows, i, levels, line, width, contrast);
}
// clean_row eight lanes at a time with AVX-512 lane masks.
template <typename Rows>
AVX512_TARGET void clean_row_avx512(Rows& rows, int32_t i, const double* levels, uint8_t* line, std::size_t width,
                                    double contrast) {
  const __m512d margin = _mm512_set1_pd(contrast > 0.0 ? kLevelMargin : 0.0);
  std::size_t j = 0;
  for (; j + 8 <= width; j += 8) {
    const unsigned near = store_grey_bytes8(_mm512_loadu_pd(levels + j), margin, line + j);
    if (__builtin_expect(near != 0, 0)) {
      for (std::size_t k = 0; k < 8; ++k)
        if ((near >> k & 1U) != 0) line[j + k] = grey_byte(rows.exact_level(i, j + k));
    }
  }
  for (; j < width; ++j)
    line[j] = near_integer(levels[j], contrast > 0.0 ? kLevelMargin : 0.0) ? grey_byte(rows.exact_level(i, j))
                                                                            : grey_byte(levels[j]);
}
template <typename Rows>
void clean_row_sse2(Rows& rows, int32_t i, const double* levels, uint8_t* line, std::size_t width,
                    double contrast) {
  clean_row<Pair, Rows>(rows, i, levels, line, width, contrast);
}

// Every row of the picture from the noise-free levels of `rows` (the
// sphere's, or another surface's: both give the levels of a row, whether two
// rows have the same levels, and the exact level of any pixel).
template <typename Rows>
void make_rows(Rows& rows, GreyImage* image, const Noise& noise, double m, double g,
               uint64_t draws_per_row, uint64_t& generator) {
  const auto width = static_cast<std::size_t>(image->width);
  // The draws of any row start where the generator stands after all the rows
  // below it: a jump of that many draws from the first.
  const uint64_t start = generator;
  const auto make_row = [&](int32_t i, const double* levels) {
    const uint64_t state = jumped_state(start, random_jump(draws_per_row * static_cast<uint64_t>(i)));
    uint8_t* line = img_line(image, i);
    if (m == 0.0) {
      // The term n * m * v / 255 is then a signed zero (v is never
      // infinite) and leaves v as it is.
      if (cpu_has_avx512())
        clean_row_avx512(rows, i, levels, line, width, g);
      else if (cpu_has_avx2())
        clean_row_avx2(rows, i, levels, line, width, g);
      else
        clean_row_sse2(rows, i, levels, line, width, g);
    } else if (cpu_has_avx512()) {
      noisy_row_avx512(noise, rows, i, levels, line, width, state, g);
    } else if (cpu_has_avx2()) {
      noisy_row_avx2(noise, rows, i, levels, line, width, state, g);
    } else {
      noisy_row_sse2(noise, rows, i, levels, line, width, state, g);
    }
  };
  // Rows i and H-1-i are made one after the other: mirrored about the image
  // centre, they often share their levels.
  const int32_t height = image->height;
  for (int32_t i = 0; i < (height + 1) / 2; ++i) {
    const int32_t partner = height - 1 - i;
    const double* levels = rows.row(i);
    make_row(i, levels);
    if (partner == i) continue;
    make_row(partner, rows.same_levels(i, partner) ? levels : rows.row(partner));
  }
  generator = jumped_state(start, random_jump(draws_per_row * static_cast<uint64_t>(height)));
}

}  // namespace

GreyImageOwner make_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                   uint64_t& generator) {
  const double g = clamp_unit(params.dynamic);
  const double m = clamp_unit(params.noise);

  // Every pixel of every row is made below.
  GreyImageOwner image(img_create_rows_unfilled(1, params.x_pixels, params.y_pixels));
  if (!image) return nullptr;

  try {
    // Proportional noise from -M to M. -M is only formed when M is positive:
    // INT32_MIN has no negation, and M of 0 or less leaves hi <= lo, which
    // draws nothing.
    const bool proportional = max_noise > 0;
    const auto width = static_cast<std::size_t>(image->width);
    Noise noise{};
    noise.weight = m;
    noise.additive = additive_range != 0;
    // |n| as random_below takes it: INT32_MIN has a magnitude of 2^31.
    noise.additive_bound = additive_range < 0 ? -static_cast<double>(additive_range) : additive_range;
    noise.proportional = proportional;
    noise.low = proportional ? -max_noise : 0;
    noise.span = proportional ? 2.0 * max_noise : 0.0;
    noise.draws = 1 + (noise.additive ? 1 : 0) + (proportional ? 1 : 0);
    noise.additive_inverse = noise.additive ? 1.0 / noise.additive_bound : 0.0;
    noise.span_inverse = proportional ? 1.0 / noise.span : 0.0;
    noise.span_power_of_two = proportional && (static_cast<uint64_t>(2 * int64_t{max_noise}) &
                                               (static_cast<uint64_t>(2 * int64_t{max_noise}) - 1)) == 0;
    // Without noise each pixel still draws its shaped value (the image then
    // does not depend on the seed, yet the generator advances).
    const uint64_t draws_per_row =
        static_cast<uint64_t>(m == 0.0 ? (proportional ? 1 : 0) : noise.draws) * width;
    if (params.surface.model == SurfaceModel::sphere) {
      NoiseFreeRows rows(params, g);
      make_rows(rows, image.get(), noise, m, g, draws_per_row, generator);
    } else {
      SurfaceRows rows(params, g, kDarkFloor);
      make_rows(rows, image.get(), noise, m, g, draws_per_row, generator);
    }
  } catch (const std::bad_alloc&) {
    return nullptr;  // no memory for the work rows
  }
  return image;
}

int synthesize_fringe_image(const SimParams& params, const char* path, int32_t max_noise,
                            int32_t additive_range) {
  const GreyImageOwner image = make_fringe_picture(params, max_noise, additive_range, random_state);
  if (!image) return kSynthesisNoImage;  // nothing written
  // The fringe image is a working file, made again by every "apply".
  return img_save_bmp(image.get(), path, Durability::atomic_only);
}
