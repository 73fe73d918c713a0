#include "analysis/reference_sphere.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>

#include "analysis/index_to_mm.h"
#include "analysis/vector_2d.h"
#include "scan/cpu_features.h"
#include "scan/lane_masks.h"

namespace {

int common_nx(const HeightMatrix& a, const HeightMatrix& b, const HeightMatrix& c) {
  return std::min({a.nx(), b.nx(), c.nx()});
}
int common_ny(const HeightMatrix& a, const HeightMatrix& b, const HeightMatrix& c) {
  return std::min({a.ny(), b.ny(), c.ny()});
}

// Rows first .. first + 7 as doubles, exact.
AVX512_TARGET inline __m512d eight_rows(int first) {
  return _mm512_add_pd(_mm512_set1_pd(first), _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7));
}

// One column of perfect_sphere eight rows at a time, in the same IEEE
// operations as cell by cell (the vector square root is rounded as the
// scalar one).
AVX512_TARGET void sphere_column_avx512(double u, double c, double g, double oy, double r_squared, double R,
                                        double h0, int ny, double* column) {
  const __m512d u_squared = _mm512_set1_pd(u * u);
  const __m512d rr = _mm512_set1_pd(r_squared);
  const __m512d radius = _mm512_set1_pd(R);
  for (int y = 0; y < ny; y += 8) {
    const __m512d v = _mm512_sub_pd(_mm512_mul_pd(_mm512_sub_pd(eight_rows(y), _mm512_set1_pd(c)), _mm512_set1_pd(g)),
                                    _mm512_set1_pd(oy));
    const __m512d r2 = _mm512_add_pd(_mm512_mul_pd(v, v), u_squared);
    const __mmask8 outside = _mm512_cmp_pd_mask(r2, rr, _CMP_GE_OQ);
    const __m512d cap = _mm512_sub_pd(_mm512_maskz_sqrt_pd(0xFF, _mm512_sub_pd(rr, r2)), radius);
    // -R by flipping the sign bit, as the scalar negation does (also for 0 and NaN).
    const __m512d z = _mm512_mask_blend_pd(outside, cap, _mm512_xor_pd(radius, _mm512_set1_pd(-0.0)));
    _mm512_mask_storeu_pd(column + y, first_of_8_lanes(ny - y), _mm512_add_pd(z, _mm512_set1_pd(h0)));
  }
}

// One column of masked_difference eight rows at a time: in_evaluation_mask's
// distance and comparison in the same IEEE operations.
AVX512_TARGET void masked_column_avx512(double Wf, double cy, double Rm, double dx, const double* a,
                                        const double* b, int ny, double* out) {
  const __m512d reach = _mm512_set1_pd(Rm - 0.1);
  const __m512d dx_squared = _mm512_set1_pd(dx * dx);
  for (int y = 0; y < ny; y += 8) {
    const __mmask8 lanes = first_of_8_lanes(ny - y);
    const __m512d dy = _mm512_sub_pd(
        _mm512_mul_pd(_mm512_mul_pd(eight_rows(y), _mm512_set1_pd(kCellFraction)), _mm512_set1_pd(Wf)),
        _mm512_set1_pd(cy));
    const __m512d length = _mm512_maskz_sqrt_pd(0xFF, _mm512_add_pd(dx_squared, _mm512_mul_pd(dy, dy)));
    const __mmask8 inside = _mm512_cmp_pd_mask(reach, length, _CMP_GT_OQ) & lanes;
    const __m512d difference = _mm512_sub_pd(_mm512_maskz_loadu_pd(lanes, a + y), _mm512_maskz_loadu_pd(lanes, b + y));
    _mm512_mask_storeu_pd(out + y, lanes, _mm512_maskz_mov_pd(inside, difference));
  }
}

}  // namespace

bool perfect_sphere(double R, double Wf, int n, double oy, double ox, double h0, HeightMatrix& target) {
  if (n <= 0) return true;
  const double g = Wf / n;         // mm per cell
  const double c = (n - 1) * 0.5;  // the apex lies between the middle cells
  const double r_squared = R * R;
  const int nx = std::min(n, target.nx());
  const int ny = std::min(n, target.ny());
  const bool wide = simd_level() == SimdLevel::avx512;
  for (int x = 0; x < nx; ++x) {
    const double u = (x - c) * g - ox;
    double* column = target.column(x);
    if (wide) {
      sphere_column_avx512(u, c, g, oy, r_squared, R, h0, ny, column);
      continue;
    }
    for (int y = 0; y < ny; ++y) {
      const double v = (y - c) * g - oy;
      const double r2 = v * v + u * u;
      const double z = r2 >= r_squared ? -R : std::sqrt(r_squared - r2) - R;
      column[y] = z + h0;
    }
  }
  return true;
}

bool masked_difference(double Wf, double cx, double cy, double Rm, const HeightMatrix& A,
                       const HeightMatrix& B, HeightMatrix& Out) {
  const int nx = std::min(kMapSide, common_nx(A, B, Out));
  const int ny = std::min(kMapSide, common_ny(A, B, Out));
  const bool wide = simd_level() == SimdLevel::avx512;
  for (int x = 0; x < nx; ++x) {
    const double* a = A.column(x);
    const double* b = B.column(x);
    double* out = Out.column(x);
    // Each cell is read before it is written, so Out may alias A or B.
    if (wide) {
      masked_column_avx512(Wf, cy, Rm, index_to_mm_x(x, Wf) - cx, a, b, ny, out);
      continue;
    }
    for (int y = 0; y < ny; ++y) out[y] = in_evaluation_mask(Wf, cx, cy, Rm, x, y) ? a[y] - b[y] : 0.0;
  }
  return true;
}

void subtract_maps(const HeightMatrix& A, const HeightMatrix& B, HeightMatrix& Out, int nx, int ny) {
  nx = std::min(nx, common_nx(A, B, Out));
  ny = std::min(ny, common_ny(A, B, Out));
  for (int x = 0; x < nx; ++x) {
    const double* a = A.column(x);
    const double* b = B.column(x);
    double* out = Out.column(x);
    for (int y = 0; y < ny; ++y) out[y] = a[y] - b[y];
  }
}
