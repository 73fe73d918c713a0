#include "phase_plan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "round_clamped.h"

namespace {

constexpr double kPeriodSpread = 5.0;
constexpr double kMinLocalPeriod = 5.0;

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
    PhaseKernel& kernel = plan.kernels.emplace_back();
    build_kernel(kernel, local_period(j, width, period));
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

}  // namespace

int32_t phase_window(double period) {
  int32_t taps = round_clamped(3.0 * period, 1, kMaxKernelTaps);
  if (taps % 2 == 0) --taps;
  return taps;
}

double local_period(int32_t j, int32_t width, double period) {
  const double left = period - kPeriodSpread;
  const double right = period + kPeriodSpread;
  const double half_width = 0.5 * width;
  double local = j <= width / 2 ? left + j / half_width * (period - left)
                                : period + (j - half_width) / half_width * (right - period);
  if (!(local >= kMinLocalPeriod)) local = kMinLocalPeriod;  // NaN as well
  return local;
}

void build_kernel(PhaseKernel& kernel, double local) {
  const int32_t taps = phase_window(local);
  kernel.taps = taps;
  kernel.half = taps / 2;
  for (int32_t i = 0; i < taps; ++i) {
    const int32_t t = i - kernel.half;
    const double weight = 0.54 + 0.46 * std::cos(2.0 * std::numbers::pi * t / taps);
    kernel.cosine[i] = weight * std::cos(2.0 * std::numbers::pi * t / local);
    kernel.sine[i] = weight * std::sin(2.0 * std::numbers::pi * t / local);
  }
}

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
