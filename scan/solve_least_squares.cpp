// Householder least squares: the plain solver, a plan of one design, and
// the plan applied to several right-hand sides side by side.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/solve_least_squares.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <cmath>
#include <cstddef>

#include "profile_calculation.h"

#if HWY_ONCE

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

#endif  // HWY_ONCE

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// solve_with_plan for the last coefficient of a plan of N rows and M
// coefficients, a vector of right-hand sides at a time, each lane with
// exactly its operations: the rows stay in registers through the reflections
// (rows i < M - 1 are not carried past step i: only the other coefficients
// need them), and of the back substitution only its first step, the division
// of the last row, is left. (Vectors of a length known only when running
// cannot be held in an array.)
#if !HWY_HAVE_SCALABLE
template <int32_t N, int32_t M>
void SolveLastFixed(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  const hn::CappedTag<double, kPlanLanes> d;
  for (std::size_t lane = 0; lane < kPlanLanes; lane += hn::Lanes(d)) {
    hn::Vec<decltype(d)> rows[N];
    for (int32_t r = 0; r < N; ++r) rows[r] = hn::LoadU(d, b[r] + lane);
    for (int32_t i = 0; i < M; ++i) {
      const double* v = plan.v[i];
      auto sum = hn::Zero(d);
      for (int32_t r = i; r < N; ++r) sum = hn::Add(sum, hn::Mul(hn::Set(d, v[r]), rows[r]));
      const auto t = hn::Mul(hn::Set(d, plan.beta[i]), sum);
      for (int32_t r = (i == M - 1 ? i : i + 1); r < N; ++r) rows[r] = hn::Sub(rows[r], hn::Mul(t, hn::Set(d, v[r])));
    }
    hn::StoreU(hn::Div(rows[M - 1], hn::Set(d, plan.r[M - 1][M - 1])), d, b[M - 1] + lane);
  }
}
#endif

// The 4 x 4 blocks of the profile: 16 points, 6 coefficients; other plans
// one right-hand side at a time.
void SolveLast(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
#if !HWY_HAVE_SCALABLE
  if (plan.n == 16 && plan.m == 6) return SolveLastFixed<16, 6>(plan, b);
#endif
  solve_last_with_plan_plain(plan, b);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(SolveLast);
}  // namespace fringe

void solve_last_with_plan_plain(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  if (plan.m < 1) return;
  for (int32_t lane = 0; lane < kPlanLanes; ++lane) {
    double column[LeastSquaresPlan::kMaxRows];
    for (int32_t r = 0; r < plan.n; ++r) column[r] = b[r][lane];
    solve_with_plan(plan, column);
    b[plan.m - 1][lane] = column[plan.m - 1];
  }
}

void solve_last_with_plan_lanes(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]) {
  HWY_DYNAMIC_DISPATCH(fringe::SolveLast)(plan, b);
}
#endif  // HWY_ONCE
