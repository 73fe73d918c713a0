// The carrier's fit of a band of cells; its column sums a vector of columns
// at a time (Highway).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "methods/carrier_fit.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>

#include "methods/carrier_fit.h"
#include "methods/phase_field.h"

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// column_sums_plain a vector of columns at a time: whole numbers, the same
// sums in any order; the last columns plainly.
void ColumnSums(const uint8_t* const* rows, int32_t count, int32_t* levels, int32_t* squares, uint8_t& brightest) {
  const hn::ScalableTag<int32_t> d;
  const hn::Rebind<uint8_t, decltype(d)> du8;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  auto top = hn::Zero(d);
  int32_t x = 0;
  for (; x + lanes <= count; x += lanes) {
    auto sum = hn::Zero(d);
    auto square = hn::Zero(d);
    for (int32_t r = 0; r < fringe::methods::kCarrierRows; ++r) {
      const auto v = hn::PromoteTo(d, hn::LoadU(du8, rows[r] + x));
      sum = hn::Add(sum, v);
      square = hn::Add(square, hn::Mul(v, v));
      top = hn::Max(top, v);
    }
    hn::StoreU(sum, d, levels + x);
    hn::StoreU(square, d, squares + x);
  }
  int32_t lane_values[HWY_MAX_BYTES / sizeof(int32_t)];
  hn::StoreU(top, d, lane_values);
  for (int32_t k = 0; k < lanes; ++k) brightest = std::max(brightest, static_cast<uint8_t>(lane_values[k]));
  fringe::methods::column_sums_plain(rows, count, levels, squares, brightest, x);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(ColumnSums);
}  // namespace fringe

namespace fringe::methods {

namespace {

constexpr int32_t kRows = kCarrierRows;

}  // namespace

void column_sums_plain(const uint8_t* const* rows, int32_t count, int32_t* levels, int32_t* squares,
                       uint8_t& brightest, int32_t from) {
  for (int32_t x = from; x < count; ++x) {
    int32_t sum = 0;
    int32_t square = 0;
    for (int32_t r = 0; r < kRows; ++r) {
      const int32_t v = rows[r][x];
      sum += v;
      square += v * v;
      brightest = std::max(brightest, rows[r][x]);
    }
    levels[x] = sum;
    squares[x] = square;
  }
}

void column_sums(const uint8_t* const* rows, int32_t count, int32_t* levels, int32_t* squares, uint8_t& brightest) {
  HWY_DYNAMIC_DISPATCH(fringe::ColumnSums)(rows, count, levels, squares, brightest);
}

void CarrierFit::prepare(int32_t width, double lambda) {
  if (width == width_ && lambda == lambda_) return;
  width_ = width;
  lambda_ = lambda;
  const double rounded = std::nearbyint(lambda);
  n_ = std::isfinite(rounded) ? static_cast<int32_t>(std::clamp(rounded, 3.0, 4096.0)) : 3;
  n_ = std::max(1, std::min(n_, width));
  const auto w = static_cast<std::size_t>(width);
  cosines_.resize(w);
  sines_.resize(w);
  for (int32_t x = 0; x < width; ++x) {
    const double theta = carrier_phase(x, width / 2, lambda);
    cosines_[static_cast<std::size_t>(x)] = std::cos(theta);
    sines_[static_cast<std::size_t>(x)] = std::sin(theta);
  }
  const int32_t starts = width - n_ + 1;
  inverse_.assign(6 * static_cast<std::size_t>(starts), 0.0);
  for (int32_t x0 = 0; x0 < starts; ++x0) {
    // The normal matrix of the window's design rows (1, cos, sin), one row's.
    double g01 = 0.0, g02 = 0.0, g11 = 0.0, g12 = 0.0, g22 = 0.0;
    for (int32_t k = x0; k < x0 + n_; ++k) {
      const double c = cosines_[static_cast<std::size_t>(k)];
      const double s = sines_[static_cast<std::size_t>(k)];
      g01 += c;
      g02 += s;
      g11 += c * c;
      g12 += c * s;
      g22 += s * s;
    }
    const double g00 = n_;
    const double a00 = g11 * g22 - g12 * g12;
    const double a01 = g02 * g12 - g01 * g22;
    const double a02 = g01 * g12 - g02 * g11;
    const double det = g00 * a00 + g01 * a01 + g02 * a02;
    // n samples of at most unit size: a determinant this small is a design
    // without a sine (or a cosine) in it; its inverse stays 0.
    if (!(std::fabs(det) > 1e-9 * g00 * g00 * g00)) continue;
    double* inv = inverse_.data() + 6 * static_cast<std::size_t>(x0);
    inv[0] = a00 / det;
    inv[1] = a01 / det;
    inv[2] = a02 / det;
    inv[3] = (g00 * g22 - g02 * g02) / det;
    inv[4] = (g01 * g02 - g00 * g12) / det;
    inv[5] = (g00 * g11 - g01 * g01) / det;
  }
}

void CarrierFit::band(const uint8_t* const* rows, int32_t first, int32_t end, double* b, double* e,
                      uint8_t& brightest) {
  if (first >= end) return;
  const auto start = [this](int32_t cell) { return std::clamp(4 * cell + 2 - n_ / 2, 0, width_ - n_); };
  const int32_t lo = start(first);
  const int32_t hi = start(end - 1) + n_;
  const auto columns = static_cast<std::size_t>(hi - lo);
  // The band's samples and their squares summed down each column: whole
  // numbers, exact.
  level_sums_.resize(columns);
  square_sums_.resize(columns);
  const uint8_t* from_lo[kRows];
  for (int32_t r = 0; r < kRows; ++r) from_lo[r] = rows[r] + lo;
  column_sums(from_lo, static_cast<int32_t>(columns), level_sums_.data(), square_sums_.data(), brightest);
  // Running sums along the columns of the levels, the levels times the
  // carrier's cosine and sine, and the squares: prefix_ holds them before
  // column lo + k at 4 k.
  prefix_.resize(4 * (columns + 1));
  double* p = prefix_.data();
  p[0] = p[1] = p[2] = p[3] = 0.0;
  for (std::size_t x = 0; x < columns; ++x) {
    const double level = level_sums_[x];
    double* next = p + 4;
    next[0] = p[0] + level;
    next[1] = p[1] + level * cosines_[static_cast<std::size_t>(lo) + x];
    next[2] = p[2] + level * sines_[static_cast<std::size_t>(lo) + x];
    next[3] = p[3] + square_sums_[x];
    p = next;
  }
  const double samples = static_cast<double>(kRows) * n_;
  for (int32_t cell = first; cell < end; ++cell) {
    const int32_t x0 = start(cell);
    const double* inv = inverse_.data() + 6 * static_cast<std::size_t>(x0);
    const std::size_t i = static_cast<std::size_t>(cell - first);
    if (inv[0] == 0.0) {  // no fit (prepare)
      b[i] = 0.0;
      e[i] = 0.0;
      continue;
    }
    const double* from = prefix_.data() + 4 * static_cast<std::size_t>(x0 - lo);
    const double* to = from + 4 * static_cast<std::size_t>(n_);
    const double r0 = to[0] - from[0];
    const double r1 = to[1] - from[1];
    const double r2 = to[2] - from[2];
    const double r3 = to[3] - from[3];
    // The 4 rows share their columns' design: the normal matrix is 4 times
    // one row's.
    const double a = (inv[0] * r0 + inv[1] * r1 + inv[2] * r2) / kRows;
    const double pc = (inv[1] * r0 + inv[3] * r1 + inv[4] * r2) / kRows;
    const double qs = (inv[2] * r0 + inv[4] * r1 + inv[5] * r2) / kRows;
    b[i] = std::sqrt(pc * pc + qs * qs);
    // The residual sum of squares of a least-squares fit: y.y - beta.X'y.
    e[i] = std::max(0.0, r3 - (a * r0 + pc * r1 + qs * r2)) / samples;
  }
}

}  // namespace fringe::methods
#endif  // HWY_ONCE
