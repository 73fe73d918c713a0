#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <new>

#include "cpu_features.h"
#include "profile_calculation.h"

namespace {

constexpr int32_t kColumns = 7;       // x², y², x·y, x, y, 1, z
constexpr int32_t kCoefficients = 6;  // the constant term is the last one
constexpr int32_t kMinPoints = 6;
using Batch = BlockFitter::Batch;

// Fills design row `row` for the pixel (m, l) of a block whose centre is c.
inline void design_row(double* row, int32_t m, int32_t l, double c, double z) {
  const double x = m - c;
  const double y = l - c;
  row[0] = x * x;
  row[1] = y * y;
  row[2] = x * y;
  row[3] = x;
  row[4] = y;
  row[5] = 1.0;
  row[6] = z;
}

// A height takes part in a fit when it lies strictly above the limit and is
// finite (NaN compares false).
inline bool usable_height(float z, float noData) { return z > noData && z <= FLT_MAX; }

// Copies the block whose first pixel is (x0, y0) into lane `lane` of `b`, row
// l * s + m. Returns false as soon as a point is missing.
bool gather_complete(const ScnMatrix& full, int32_t y0, int32_t x0, int32_t s, float noData,
                     double (*b)[kPlanLanes], int32_t lane) {
  for (int32_t l = 0; l < s; ++l) {
    const float* source = full.values[y0 + l] + x0;
    for (int32_t m = 0; m < s; ++m) {
      if (!usable_height(source[m], noData)) return false;
      b[l * s + m][lane] = source[m];
    }
  }
  return true;
}

// Fits the block whose first pixel is (x0, y0) with the general solver on the
// points it has. Returns the no-data height when it cannot fit.
float fit_block(const ScnMatrix& full, int32_t y0, int32_t x0, int32_t s, double c,
                float noData, double* design) {
  int32_t n = 0;
  for (int32_t l = 0; l < s; ++l) {
    const float* source = full.values[y0 + l] + x0;
    for (int32_t m = 0; m < s; ++m) {
      const float z = source[m];
      if (!usable_height(z, noData)) continue;
      design_row(design + static_cast<std::ptrdiff_t>(n) * kColumns, m, l, c, z);
      ++n;
    }
  }
  if (n < kMinPoints || solve_least_squares(design, n, kCoefficients) != 1) return noData;
  return stored_height(design[(kCoefficients - 1) * kColumns + kCoefficients], noData);
}

// Eight neighbouring 4 x 4 blocks, the first at column x0 of the band's
// rows: none of their 128 heights takes part (outside the measured area),
// all do, or some. When all do and b is given, the heights go into the lanes
// of b (row l * 4 + m, lane k for the block at x0 + 4 k).
enum class EightBlocks { empty, complete, mixed };

AVX512_TARGET EightBlocks eight_blocks(const float* const* rows, int32_t x0, float noData,
                                       double (*b)[kPlanLanes]) {
  const __m512 limit = _mm512_set1_ps(noData);
  const __m512 largest = _mm512_set1_ps(FLT_MAX);
  __m512 z[8];  // row l's two halves at 2 l and 2 l + 1
  __mmask16 usable[8];
#pragma GCC unroll 8
  for (int32_t i = 0; i < 8; ++i) {
    z[i] = _mm512_loadu_ps(rows[i / 2] + x0 + 16 * (i % 2));
    usable[i] = _mm512_cmp_ps_mask(z[i], limit, _CMP_GT_OQ) & _mm512_cmp_ps_mask(z[i], largest, _CMP_LE_OQ);
  }
  // Combined as a tree, not one after the other.
  const __mmask16 all = static_cast<__mmask16>((usable[0] & usable[1]) & (usable[2] & usable[3]) &
                                               ((usable[4] & usable[5]) & (usable[6] & usable[7])));
  const __mmask16 any = static_cast<__mmask16>((usable[0] | usable[1]) | (usable[2] | usable[3]) |
                                               ((usable[4] | usable[5]) | (usable[6] | usable[7])));
  if (any == 0) return EightBlocks::empty;
  if (all != 0xFFFF) return EightBlocks::mixed;
  if (b == nullptr) return EightBlocks::complete;
  // Height m of the eight blocks: every fourth float of the 32, from m.
#pragma GCC unroll 4
  for (int32_t m = 0; m < 4; ++m) {
    const __m512i every_fourth = _mm512_setr_epi32(m, m + 4, m + 8, m + 12, m + 16, m + 20, m + 24, m + 28, 0, 0,
                                                   0, 0, 0, 0, 0, 0);
#pragma GCC unroll 4
    for (int32_t l = 0; l < 4; ++l) {
      const __m512 gathered = _mm512_permutex2var_ps(z[2 * l], every_fourth, z[2 * l + 1]);
      _mm512_storeu_pd(b[l * 4 + m], _mm512_maskz_cvtps_pd(0xFF, _mm512_maskz_extractf32x8_ps(0xFF, gathered, 0)));
    }
  }
  return EightBlocks::complete;
}

void solve_batch(const LeastSquaresPlan& plan, Batch& batch, float noData) {
  if (batch.count == 0) return;
  // Unused lanes carry zeros through the same arithmetic and are dropped.
  for (int32_t k = batch.count; k < kPlanLanes; ++k)
    for (int32_t r = 0; r < plan.n; ++r) batch.b[r][k] = 0.0;
  solve_last_with_plan_lanes(plan, batch.b);  // only the constant term is kept
  for (int32_t k = 0; k < batch.count; ++k)
    *batch.target[k] = stored_height(batch.b[kCoefficients - 1][k], noData);
  batch.count = 0;
}

}  // namespace

BlockFitter::BlockFitter(int32_t s, double limit, int32_t across)
    : s_(s),
      across_(across),
      noData_(static_cast<float>(effective_depth_limit(limit))),
      fitting_(across > 0 && s > 0 && static_cast<int64_t>(s) * s >= kMinPoints),
      c_((s - 1) * 0.5) {
  const int64_t points = static_cast<int64_t>(s) * s;
  if (fitting_) {
    design_ = new (std::nothrow) double[static_cast<std::size_t>(points) * kColumns];
    if (design_ == nullptr) return;
  }
  ready_ = true;
  // Almost every block has all its points, and then the design is always the
  // same: triangularise it once and only carry each block's heights through,
  // several blocks side by side.
  if (fitting_ && points <= LeastSquaresPlan::kMaxRows) {
    for (int32_t l = 0; l < s; ++l)
      for (int32_t m = 0; m < s; ++m) design_row(design_ + (l * s + m) * kColumns, m, l, c_, 0.0);
    planned_ = plan_least_squares(plan_, design_, static_cast<int32_t>(points), kCoefficients) == 1;
  }
}

BlockFitter::~BlockFitter() {
  delete[] design_;
  delete[] masked_;
}

float BlockFitter::fit_masked(const ScnMatrix& band, int32_t x0, int usable) {
  if (masked_ == nullptr) masked_ = new (std::nothrow) MaskedPlan[kMaskedPlans];
  if (masked_ == nullptr) return fit_block(band, 0, x0, s_, c_, noData_, design_);
  const float* const* rows = band.values;
  const int32_t n = __builtin_popcount(static_cast<unsigned>(usable));
  if (n < kMinPoints) return noData_;
  // The design of the heights present, in the order fit_block takes them;
  // planned with the same steps as its solver, so the same coefficients.
  MaskedPlan& slot = masked_[static_cast<uint32_t>(usable * 0x9E3779B1u) >> (32 - kMaskedPlanBits)];
  if (slot.mask != usable) {
    int32_t row = 0;
    for (int32_t k = 0; k < 16; ++k)
      if ((usable >> k) & 1) design_row(design_ + static_cast<std::ptrdiff_t>(row++) * kColumns, k % 4, k / 4, c_, 0.0);
    slot.solvable = plan_least_squares(slot.plan, design_, n, kCoefficients) == 1;
    slot.mask = usable;
  }
  if (!slot.solvable) return noData_;
  double b[LeastSquaresPlan::kMaxRows];
  int32_t row = 0;
  for (int32_t k = 0; k < 16; ++k)
    if ((usable >> k) & 1) b[row++] = rows[k / 4][x0 + k % 4];
  solve_with_plan(slot.plan, b);
  return stored_height(b[kCoefficients - 1], noData_);
}

void BlockFitter::fit_band(const float* const* rows, float* target, int32_t cols) {
  // A view of the band's s rows as the grid the helpers read.
  ScnMatrix band{};
  band.cols = across_ * s_;
  band.rows = s_;
  band.values = const_cast<float**>(rows);
  const bool eight_at_once = s_ == 4 && fitting_ && planned_ && cpu_has_avx512();
  for (int32_t bj = 0; bj < cols; ++bj) {
    // Outside the measured area eight blocks in a row have none of their
    // heights (no data, as one at a time); inside, all of them: they fill an
    // empty batch at once.
    if (eight_at_once && bj + kPlanLanes <= across_) {
      const bool empty_batch = batch_.count == 0;
      const EightBlocks eight = eight_blocks(rows, 4 * bj, noData_, empty_batch ? batch_.b : nullptr);
      if (eight == EightBlocks::empty) {
        std::fill(target + bj, target + bj + kPlanLanes, noData_);
        bj += kPlanLanes - 1;
        continue;
      }
      if (eight == EightBlocks::complete && empty_batch) {
        for (int32_t k = 0; k < kPlanLanes; ++k) batch_.target[k] = target + bj + k;
        batch_.count = kPlanLanes;
        solve_batch(plan_, batch_, noData_);
        bj += kPlanLanes - 1;
        continue;
      }
    }
    // Which of a 4 x 4 block's heights take part, 16 at once: most blocks
    // have all of them or none (which gives no data, as fit_block would).
    int usable = -1;
    if (s_ == 4 && fitting_ && bj < across_) {
      usable = 0;
      const __m128 limit = _mm_set1_ps(noData_);
      const __m128 largest = _mm_set1_ps(FLT_MAX);
      for (int32_t l = 0; l < 4; ++l) {
        const __m128 z = _mm_loadu_ps(rows[l] + 4 * bj);
        const __m128 fit = _mm_and_ps(_mm_cmpgt_ps(z, limit), _mm_cmple_ps(z, largest));
        usable |= _mm_movemask_ps(fit) << (4 * l);
      }
      if (usable == 0) {
        target[bj] = noData_;
        continue;
      }
      if (usable == 0xFFFF && planned_) {
        for (int32_t l = 0; l < 4; ++l)
          for (int32_t m = 0; m < 4; ++m) batch_.b[l * 4 + m][batch_.count] = rows[l][4 * bj + m];
        batch_.target[batch_.count++] = target + bj;
        if (batch_.count == kPlanLanes) solve_batch(plan_, batch_, noData_);
        continue;
      }
      if (usable != 0xFFFF) {
        target[bj] = fit_masked(band, 4 * bj, usable);
        continue;
      }
    }
    if (!fitting_ || bj >= across_) {
      target[bj] = noData_;
    } else if (usable < 0 && planned_ && gather_complete(band, 0, bj * s_, s_, noData_, batch_.b, batch_.count)) {
      batch_.target[batch_.count++] = target + bj;
      if (batch_.count == kPlanLanes) solve_batch(plan_, batch_, noData_);
    } else {
      target[bj] = fit_block(band, 0, bj * s_, s_, c_, noData_, design_);
    }
  }
}

void BlockFitter::skip_band(float* target, int32_t cols) { std::fill(target, target + cols, noData_); }

void BlockFitter::finish() {
  if (planned_) solve_batch(plan_, batch_, noData_);
}

int block_fit(const ScnMatrix& full, ScnMatrix& out, int32_t s, double limit) {
  if (out.values == nullptr) return 0;
  const bool haveFull = full.values != nullptr && s > 0;
  const int32_t across = haveFull ? full.cols / s : 0;
  const int32_t down = haveFull ? full.rows / s : 0;
  BlockFitter fitter(s, limit, down > 0 ? across : 0);
  if (!fitter.ready()) return 1;
  for (int32_t bi = 0; bi < out.rows; ++bi) {
    if (bi < down)
      fitter.fit_band(full.values + static_cast<std::ptrdiff_t>(bi) * s, out.values[bi], out.cols);
    else
      fitter.skip_band(out.values[bi], out.cols);
  }
  fitter.finish();
  return 0;
}
