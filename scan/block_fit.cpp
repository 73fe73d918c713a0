// Block fits: the constant term of a least-squares quadric over each s x s
// block of a height grid.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/block_fit.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "profile_calculation.h"

#ifndef FRINGE_BLOCK_FIT_ONCE
#define FRINGE_BLOCK_FIT_ONCE
namespace fringe {

// A height takes part in a fit when it lies strictly above the limit and is
// finite (NaN compares false).
inline bool usable_height(float z, float noData) { return z > noData && z <= FLT_MAX; }

// 1 for each of the heights z[from..n-1] that takes part, else 0.
inline void usable_bytes_plain(const float* z, int32_t n, float noData, uint8_t* out, int32_t from = 0) {
  for (int32_t x = from; x < n; ++x) out[x] = usable_height(z[x], noData) ? 1 : 0;
}

}  // namespace fringe
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// usable_bytes_plain a vector at a time, the rest plainly.
void UsableBytes(const float* z, int32_t n, float noData, uint8_t* out) {
  const hn::ScalableTag<float> d;
  const hn::Rebind<int32_t, decltype(d)> di;
  const hn::Rebind<uint8_t, decltype(d)> du8;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  int32_t x = 0;
  for (; x + lanes <= n; x += lanes) {
    const auto heights = hn::LoadU(d, z + x);
    const auto usable = hn::And(hn::Gt(heights, hn::Set(d, noData)), hn::Le(heights, hn::Set(d, FLT_MAX)));
    hn::StoreU(hn::DemoteTo(du8, hn::IfThenElseZero(hn::RebindMask(di, usable), hn::Set(di, 1))), du8, out + x);
  }
  usable_bytes_plain(z, n, noData, out, x);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(UsableBytes);
}  // namespace fringe

namespace {

using fringe::usable_height;

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

// Which of the 16 heights of the 4 x 4 block at column x0 take part, bit
// l * 4 + m, from the rows' usable bytes (usable_bytes_plain): the multiply
// moves byte m of a row's four to bit 24 + m without carries between them.
int usable_heights(const uint8_t* const (&usable)[4], int32_t x0) {
  int bits = 0;
  for (int32_t l = 0; l < 4; ++l) {
    const uint8_t* b = usable[l] + x0;
    const uint32_t bytes = b[0] | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    bits |= static_cast<int>(((bytes * 0x01020408u) >> 24) & 0xF) << (4 * l);
  }
  return bits;
}

// kPlanLanes neighbouring 4 x 4 blocks from column x0 on, by the rows'
// usable bytes: none of their heights takes part (outside the measured
// area), all do, or some.
enum class BlockRun { empty, complete, mixed };
BlockRun classify_run(const uint8_t* const (&usable)[4], int32_t x0) {
  constexpr uint64_t kAllUsable = 0x0101010101010101ULL;
  uint64_t any = 0;
  uint64_t all = kAllUsable;
  for (int32_t l = 0; l < 4; ++l)
    for (int32_t w = 0; w < 4 * kPlanLanes / 8; ++w) {
      uint64_t bytes;
      std::memcpy(&bytes, usable[l] + x0 + 8 * w, sizeof bytes);
      any |= bytes;
      all &= bytes;
    }
  return any == 0 ? BlockRun::empty : all == kAllUsable ? BlockRun::complete : BlockRun::mixed;
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
  if (fitting_ && s == 4) {
    usable_ = new (std::nothrow) uint8_t[static_cast<std::size_t>(across) * 16];
    if (usable_ == nullptr) return;
  }
  ready_ = true;
  // Almost every block of the profile's 4 x 4 has all its points, and then
  // the design is always the same: triangularise it once and only carry each
  // block's heights through, several blocks side by side. Blocks of other
  // sizes take the general solver, which gives the same bits.
  if (fitting_ && s == 4) {
    for (int32_t l = 0; l < s; ++l)
      for (int32_t m = 0; m < s; ++m) design_row(design_ + (l * s + m) * kColumns, m, l, c_, 0.0);
    planned_ = plan_least_squares(plan_, design_, static_cast<int32_t>(points), kCoefficients) == 1;
  }
}

BlockFitter::~BlockFitter() {
  delete[] design_;
  delete[] usable_;
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
  const uint8_t* usable_rows[4] = {};
  if (usable_ != nullptr) {
    const int32_t n = 4 * across_;
    for (int32_t l = 0; l < 4; ++l) {
      usable_rows[l] = usable_ + static_cast<std::ptrdiff_t>(l) * n;
      HWY_DYNAMIC_DISPATCH(fringe::UsableBytes)(rows[l], n, noData_, usable_ + static_cast<std::ptrdiff_t>(l) * n);
    }
  }
  // Runs of kPlanLanes blocks with none of their heights (no data, as one at
  // a time) or all of them (a whole batch at once, when none is waiting) are
  // taken together; the blocks of other runs one at a time.
  int32_t one_at_a_time_until = 0;
  for (int32_t bj = 0; bj < cols; ++bj) {
    if (usable_ != nullptr && planned_ && bj >= one_at_a_time_until && bj + kPlanLanes <= std::min(cols, across_)) {
      const BlockRun run = classify_run(usable_rows, 4 * bj);
      if (run == BlockRun::empty) {
        std::fill(target + bj, target + bj + kPlanLanes, noData_);
        bj += kPlanLanes - 1;
        continue;
      }
      if (run == BlockRun::complete && batch_.count == 0) {
        for (int32_t k = 0; k < kPlanLanes; ++k) {
          for (int32_t l = 0; l < 4; ++l)
            for (int32_t m = 0; m < 4; ++m) batch_.b[l * 4 + m][k] = rows[l][4 * (bj + k) + m];
          batch_.target[k] = target + bj + k;
        }
        batch_.count = kPlanLanes;
        solve_batch(plan_, batch_, noData_);
        bj += kPlanLanes - 1;
        continue;
      }
      one_at_a_time_until = bj + kPlanLanes;
    }
    // Which of a 4 x 4 block's heights take part: most blocks have all of
    // them or none (which gives no data, as fit_block would).
    if (usable_ != nullptr && bj < across_) {
      const int usable = usable_heights(usable_rows, 4 * bj);
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
    target[bj] = !fitting_ || bj >= across_ ? noData_ : fit_block(band, 0, bj * s_, s_, c_, noData_, design_);
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
#endif  // HWY_ONCE
