#include <cmath>
#include <cstddef>
#include <cstring>

#include "cpu_features.h"

#include "profile_calculation.h"

// The plain solver and the planned one share these two steps, so that a plan
// repeats the plain solver's arithmetic on the right-hand side operation for
// operation (sums from 0.0 in row order, no reassociation).
namespace {

// Householder step for column i of a matrix with `stride` doubles per row:
// returns false for a column that is (numerically) dependent on the earlier
// ones, else sets d and beta and turns A[i][i] into the reflection's head.
inline bool householder_column(double* a, std::ptrdiff_t stride, int32_t i, int32_t n,
                               double& d, double& beta) {
  double s = 0.0;
  for (int32_t r = i; r < n; ++r) s += a[r * stride + i] * a[r * stride + i];
  const double root = std::sqrt(s);
  d = a[i * stride + i] < 0.0 ? root : -root;
  // Written as "not at least" so that a NaN column also counts as degenerate.
  if (!(std::fabs(d) >= 1e-12)) return false;
  beta = 1.0 / ((d - a[i * stride + i]) * d);
  a[i * stride + i] = a[i * stride + i] - d;
  return true;
}

// Reflects one column (rows from..n-1) with reflection v and factor beta.
inline void reflect(const double* v, std::ptrdiff_t vStride, double beta, double* column,
                    std::ptrdiff_t columnStride, int32_t from, int32_t n) {
  double sum = 0.0;
  for (int32_t r = from; r < n; ++r) sum += v[r * vStride] * column[r * columnStride];
  const double t = beta * sum;
  for (int32_t r = from; r < n; ++r)
    column[r * columnStride] = column[r * columnStride] - t * v[r * vStride];
}

}  // namespace

int solve_least_squares(double* a, int32_t n, int32_t m) {
  // With fewer rows than coefficients the diagonal would lie outside `a`.
  if (a == nullptr || m < 0 || n < m) return 0;
  const std::ptrdiff_t stride = m + 1;
  for (int32_t i = 0; i < m; ++i) {
    double d = 0.0;
    double beta = 0.0;
    if (!householder_column(a, stride, i, n, d, beta)) return 0;
    for (int32_t j = i + 1; j <= m; ++j) reflect(a + i, stride, beta, a + j, stride, i, n);
    a[i * stride + i] = d;
    for (int32_t r = i + 1; r < n; ++r) a[r * stride + i] = 0.0;
  }
  for (int32_t i = m - 1; i >= 0; --i) {
    double* row = a + i * stride;
    for (int32_t j = m; j >= i; --j) row[j] = row[j] / row[i];
    for (int32_t r = i - 1; r >= 0; --r) {
      double* upper = a + r * stride;
      for (int32_t j = m; j >= i; --j) upper[j] = upper[j] - row[j] * upper[i];
    }
  }
  return 1;
}

int plan_least_squares(LeastSquaresPlan& plan, const double* a, int32_t n, int32_t m) {
  if (a == nullptr || m < 0 || n < m || n > LeastSquaresPlan::kMaxRows ||
      m > LeastSquaresPlan::kMaxCoefficients)
    return 0;
  // Work copy of the design columns only; the right-hand side never feeds back
  // into them.
  double work[LeastSquaresPlan::kMaxRows * LeastSquaresPlan::kMaxCoefficients];
  const std::ptrdiff_t stride = m;
  for (int32_t r = 0; r < n; ++r)
    for (int32_t c = 0; c < m; ++c) work[r * stride + c] = a[r * (m + 1) + c];
  plan.n = n;
  plan.m = m;
  for (int32_t i = 0; i < m; ++i) {
    double d = 0.0;
    double beta = 0.0;
    if (!householder_column(work, stride, i, n, d, beta)) return 0;
    for (int32_t j = i + 1; j < m; ++j) reflect(work + i, stride, beta, work + j, stride, i, n);
    for (int32_t r = i; r < n; ++r) plan.v[i][r] = work[r * stride + i];
    plan.beta[i] = beta;
    work[i * stride + i] = d;
  }
  for (int32_t i = 0; i < m; ++i)
    for (int32_t c = i; c < m; ++c) plan.r[i][c] = work[i * stride + c];
  return 1;
}

void solve_with_plan(const LeastSquaresPlan& plan, double* b) {
  const int32_t n = plan.n;
  const int32_t m = plan.m;
  for (int32_t i = 0; i < m; ++i) reflect(plan.v[i], 1, plan.beta[i], b, 1, i, n);
  // Back substitution as the plain solver does it for column m: divide by the
  // diagonal, then remove the solved coefficient from the rows above.
  for (int32_t i = m - 1; i >= 0; --i) {
    b[i] = b[i] / plan.r[i][i];
    for (int32_t r = i - 1; r >= 0; --r) b[r] = b[r] - b[i] * plan.r[r][i];
  }
}

namespace {

// kPlanLanes right-hand sides in one vector; the SSE2 and AVX2 variants split
// it into four or two hardware vectors.
using Lanes = double __attribute__((vector_size(kPlanLanes * sizeof(double))));

inline __attribute__((always_inline)) void load(Lanes& lanes, const double* p) {
  std::memcpy(&lanes, p, sizeof lanes);
}
inline __attribute__((always_inline)) void store(double* p, const Lanes& lanes) {
  std::memcpy(p, &lanes, sizeof lanes);
}

inline __attribute__((always_inline)) void solve_lanes(const LeastSquaresPlan& plan,
                                                       double (*b)[kPlanLanes]) {
  const int32_t n = plan.n;
  const int32_t m = plan.m;
  for (int32_t i = 0; i < m; ++i) {
    const double* v = plan.v[i];
    Lanes sum = {};
    for (int32_t r = i; r < n; ++r) {
      Lanes row;
      load(row, b[r]);
      sum += v[r] * row;
    }
    const Lanes t = plan.beta[i] * sum;
    for (int32_t r = i; r < n; ++r) {
      Lanes row;
      load(row, b[r]);
      store(b[r], row - t * v[r]);
    }
  }
  for (int32_t i = m - 1; i >= 0; --i) {
    Lanes solved;
    load(solved, b[i]);
    solved = solved / plan.r[i][i];
    store(b[i], solved);
    for (int32_t r = i - 1; r >= 0; --r) {
      Lanes row;
      load(row, b[r]);
      store(b[r], row - solved * plan.r[r][i]);
    }
  }
}

// solve_lanes for the last coefficient only, of a plan of N rows and M
// coefficients known when compiled: the right-hand sides stay in registers
// through the reflections (their rows i < M - 1 are not carried past step i:
// only the other coefficients need them), and of the back substitution only
// its first step, the division of the last row, is left.
template <int32_t N, int32_t M>
inline __attribute__((always_inline)) void solve_last_lanes(const LeastSquaresPlan& plan,
                                                            double (*b)[kPlanLanes]) {
  Lanes rows[N];
#pragma GCC unroll 16
  for (int32_t r = 0; r < N; ++r) load(rows[r], b[r]);
#pragma GCC unroll 6
  for (int32_t i = 0; i < M; ++i) {
    const double* v = plan.v[i];
    Lanes sum = {};
#pragma GCC unroll 16
    for (int32_t r = i; r < N; ++r) sum += v[r] * rows[r];
    const Lanes t = plan.beta[i] * sum;
#pragma GCC unroll 16
    for (int32_t r = (i == M - 1 ? i : i + 1); r < N; ++r) rows[r] = rows[r] - t * v[r];
  }
  store(b[M - 1], rows[M - 1] / plan.r[M - 1][M - 1]);
}

AVX512_TARGET void solve_lanes_avx512(
    const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  solve_lanes(plan, b);
}
AVX512_TARGET void solve_last_16x6_avx512(
    const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  solve_last_lanes<16, 6>(plan, b);
}
__attribute__((target("avx2"))) void solve_last_16x6_avx2(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  solve_last_lanes<16, 6>(plan, b);
}
void solve_last_16x6_sse2(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  solve_last_lanes<16, 6>(plan, b);
}
__attribute__((target("avx2"))) void solve_lanes_avx2(const LeastSquaresPlan& plan,
                                                      double (*b)[kPlanLanes]) {
  solve_lanes(plan, b);
}
void solve_lanes_sse2(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  solve_lanes(plan, b);
}

}  // namespace

namespace {

using LaneSolver = void (*)(const LeastSquaresPlan&, double (*)[kPlanLanes]);

// The variant of the widest vectors that may run: {AVX-512, AVX2, SSE2}.
LaneSolver widest(const LaneSolver (&variants)[3]) {
  switch (simd_level()) {
    case SimdLevel::avx512:
      return variants[0];
    case SimdLevel::avx2:
      return variants[1];
    default:
      return variants[2];
  }
}

}  // namespace

void solve_with_plan_lanes(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  static constexpr LaneSolver kVariants[3] = {solve_lanes_avx512, solve_lanes_avx2, solve_lanes_sse2};
  widest(kVariants)(plan, b);
}

void solve_last_with_plan_lanes(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  // The 4 x 4 blocks of the profile: 16 points, 6 coefficients.
  if (plan.n != 16 || plan.m != 6) {
    solve_with_plan_lanes(plan, b);
    return;
  }
  static constexpr LaneSolver kVariants[3] = {solve_last_16x6_avx512, solve_last_16x6_avx2, solve_last_16x6_sse2};
  widest(kVariants)(plan, b);
}
