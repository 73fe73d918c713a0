#include <algorithm>
#include <cstring>

#include <immintrin.h>

#include "cpu_features.h"
#include "profile_calculation.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// One unit of the unwrapped phase is 1/256 of a fringe period.
constexpr double kPeriodsPerUnit = 0.00390625;

bool is_phase_plane(const GreyImage* plane) {
  return plane != nullptr && plane->type == 2 && plane->pixels != nullptr;
}

// 16-bit pixels are stored in machine order; memcpy keeps the access legal
// for a byte buffer and compiles to a plain load.
inline uint16_t phase_at(const uint8_t* row, int32_t x) {
  uint16_t value;
  std::memcpy(&value, row + 2 * static_cast<std::ptrdiff_t>(x), sizeof value);
  return value;
}

using Quad = double __attribute__((vector_size(32)));
using QuadFloats = float __attribute__((vector_size(16)));
using QuadInts = int32_t __attribute__((vector_size(16)));
using Words4 = uint16_t __attribute__((vector_size(8)));

// Heights of columns x .. cols - 1 of a row, four at a time, each with
// exactly the operations of the one-at-a-time loop (the tail). A height that
// is no float (not finite or beyond the float range) is the no-data height.
template <bool kWithReference>
inline __attribute__((always_inline)) void heights_of(const uint8_t* in, const uint8_t* ref, float* out,
                                                      int32_t cols, double k, double lambda, int32_t centre,
                                                      float noData, int32_t x = 0) {
  const QuadInts step = {0, 1, 2, 3};
  for (; x + 4 <= cols; x += 4) {
    Words4 u16;
    std::memcpy(&u16, in + 2 * static_cast<std::ptrdiff_t>(x), sizeof u16);
    const auto u = __builtin_convertvector(u16, QuadInts);
    Quad height;
    QuadInts none;
    if constexpr (kWithReference) {
      Words4 r16;
      std::memcpy(&r16, ref + 2 * static_cast<std::ptrdiff_t>(x), sizeof r16);
      const auto r = __builtin_convertvector(r16, QuadInts);
      height = __builtin_convertvector(u - r, Quad) * kPeriodsPerUnit * k;
      none = (u == 0) | (r == 0);
    } else {
      const auto column = __builtin_convertvector(step + x, Quad);
      height = k * (lambda * (__builtin_convertvector(u, Quad) * kPeriodsPerUnit - 128.0) - column +
                    centre);
      none = u == 0;
    }
    const Quad magnitude = height < 0.0 ? -height : height;
    const auto stored = __builtin_convertvector(height, QuadFloats);
    // Not-a-number compares false: no data, as stored_height gives it.
    const auto fits = __builtin_convertvector(magnitude <= static_cast<double>(FLT_MAX), QuadInts);
    QuadFloats result = ((fits != 0) & (none == 0)) ? stored : QuadFloats{} + noData;
    std::memcpy(out + x, &result, sizeof result);
  }
  for (; x < cols; ++x) {
    const uint16_t u = phase_at(in, x);
    if constexpr (kWithReference) {
      const uint16_t r = phase_at(ref, x);
      if (u == 0 || r == 0) {
        out[x] = noData;
        continue;
      }
      const int32_t difference = static_cast<int32_t>(u) - static_cast<int32_t>(r);
      out[x] = stored_height(difference * kPeriodsPerUnit * k, noData);
    } else {
      if (u == 0) {
        out[x] = noData;
        continue;
      }
      // Phase in periods from the start pixel's order, times the period, is a
      // position in pixels; minus (x - centre) leaves the fringe's shift.
      out[x] = stored_height(k * (lambda * (u * kPeriodsPerUnit - 128.0) - x + centre), noData);
    }
  }
}

// Eight columns at a time with AVX-512 lane masks (formed from comparisons
// of 8-lane vectors, the compiler would move them through vectors; the masked
// conversions only because the plain ones read a register GCC warns of): the same
// operations as heights_of, then the tail one at a time.
AVX512_TARGET void heights_avx512(
    const uint8_t* in, const uint8_t* ref, float* out, int32_t cols, double k, double lambda, int32_t centre,
    float noData) {
  const __m512d scale = _mm512_set1_pd(k);
  const __m512d unit = _mm512_set1_pd(kPeriodsPerUnit);
  const __m512d largest = _mm512_set1_pd(static_cast<double>(FLT_MAX));
  const __m512d magnitude_bits = _mm512_castsi512_pd(_mm512_set1_epi64(0x7FFFFFFFFFFFFFFF));
  const __m256 no_data = _mm256_set1_ps(noData);
  const __m256i zero = _mm256_setzero_si256();
  int32_t x = 0;
  __m512d column = _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7);
  for (; x + 8 <= cols; x += 8, column = _mm512_add_pd(column, _mm512_set1_pd(8.0))) {
    const __m256i u = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * x)));
    const __m256i r = ref != nullptr
                          ? _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ref + 2 * x)))
                          : zero;
    __mmask8 none = _mm256_cmpeq_epi32_mask(u, zero);
    if (ref != nullptr) none |= _mm256_cmpeq_epi32_mask(r, zero);
    // Outside the mask whole stretches of a row have no phase.
    if (none == 0xFF) {
      _mm256_storeu_ps(out + x, no_data);
      continue;
    }
    __m512d height;
    if (ref != nullptr) {
      height = _mm512_mul_pd(_mm512_mul_pd(_mm512_maskz_cvtepi32_pd(0xFF, _mm256_sub_epi32(u, r)), unit), scale);
    } else {
      const __m512d periods = _mm512_sub_pd(_mm512_mul_pd(_mm512_maskz_cvtepi32_pd(0xFF, u), unit), _mm512_set1_pd(128.0));
      const __m512d shift = _mm512_add_pd(
          _mm512_sub_pd(_mm512_mul_pd(_mm512_set1_pd(lambda), periods), column), _mm512_set1_pd(centre));
      height = _mm512_mul_pd(scale, shift);
    }
    // Not-a-number compares false: no data, as stored_height gives it.
    const __mmask8 fits = _mm512_cmp_pd_mask(_mm512_and_pd(height, magnitude_bits), largest, _CMP_LE_OQ);
    const __m256 stored = _mm512_maskz_cvtpd_ps(0xFF, height);
    _mm256_storeu_ps(out + x, _mm256_mask_blend_ps(fits & static_cast<__mmask8>(~none), no_data, stored));
  }
  if (ref != nullptr)
    heights_of<true>(in, ref, out, cols, k, lambda, centre, noData, x);
  else
    heights_of<false>(in, ref, out, cols, k, lambda, centre, noData, x);
}
__attribute__((target("avx2"))) void heights_avx2(const uint8_t* in, const uint8_t* ref, float* out,
                                                  int32_t cols, double k, double lambda, int32_t centre,
                                                  float noData) {
  if (ref != nullptr)
    heights_of<true>(in, ref, out, cols, k, lambda, centre, noData);
  else
    heights_of<false>(in, ref, out, cols, k, lambda, centre, noData);
}
void heights_sse2(const uint8_t* in, const uint8_t* ref, float* out, int32_t cols, double k, double lambda,
                  int32_t centre, float noData) {
  if (ref != nullptr)
    heights_of<true>(in, ref, out, cols, k, lambda, centre, noData);
  else
    heights_of<false>(in, ref, out, cols, k, lambda, centre, noData);
}

}  // namespace

HeightRow::HeightRow(const ScnPar& par, const GreyImage* phase, const GreyImage* reference)
    : phase_(phase),
      reference_(reference),
      with_reference_(reference != nullptr),
      usable_(is_phase_plane(reference) && reference->width == phase->width &&
              reference->height == phase->height),
      noData_(static_cast<float>(effective_depth_limit(par.DepthLimit))),
      lambda_(par.LambdaF),
      centre_(phase->width / 2) {
  // Alpha 0 makes k infinite; such heights are not finite and become no data.
  k_ = with_reference_ ? par.CamResX * par.LambdaF / std::tan(par.Alpha * kPi / 180.0)
                       : par.CamResX / std::tan(par.Alpha * kPi / 180.0);
}

void HeightRow::operator()(int32_t y, float* out, int32_t cols) const {
  const uint8_t* in = img_line(phase_, y);
  if (with_reference_ && !usable_) {
    std::fill(out, out + cols, noData_);
    return;
  }
  const uint8_t* ref = with_reference_ ? img_line(reference_, y) : nullptr;
  if (cpu_has_avx512())
    heights_avx512(in, ref, out, cols, k_, lambda_, centre_, noData_);
  else if (cpu_has_avx2())
    heights_avx2(in, ref, out, cols, k_, lambda_, centre_, noData_);
  else
    heights_sse2(in, ref, out, cols, k_, lambda_, centre_, noData_);
}

void height_map(ScnMatrix& full, const GreyImage* phase, const ScnPar& par) {
  if (full.values == nullptr || !is_phase_plane(phase)) return;
  const HeightRow heights(par, phase, nullptr);
  const int32_t rows = std::min(full.rows, phase->height);
  const int32_t cols = std::min(full.cols, phase->width);
  for (int32_t y = 0; y < rows; ++y) heights(y, full.values[y], cols);
}

void height_map_reference(ScnMatrix& full, const GreyImage* phase,
                          const GreyImage* reference, const ScnPar& par) {
  if (full.values == nullptr || !is_phase_plane(phase)) return;
  // A missing reference plane, or one of another kind or size, gives no data.
  static const GreyImage kNoReference{};
  const HeightRow heights(par, phase, reference != nullptr ? reference : &kNoReference);
  const int32_t rows = std::min(full.rows, phase->height);
  const int32_t cols = std::min(full.cols, phase->width);
  for (int32_t y = 0; y < rows; ++y) heights(y, full.values[y], cols);
}
