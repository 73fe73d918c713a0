// The filter kernels of the phase step and which window starts each of them
// measures: the local period follows the column alone, so every row of an
// image follows one plan.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "image_processing.h"

// The kernels follow the local period, rebuilt every this many window starts.
constexpr int32_t kRebuildStep = 32;

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

struct RowPlan {
  int32_t width = -1;
  uint64_t period_bits = 0;
  std::vector<PhaseKernel> kernels;  // the last one is in force at the row's end
  std::vector<WindowRun> runs;
};

// Local period (pixels) at window start j of a row `width` pixels wide: from
// period - 5 at the left edge over `period` at the centre to period + 5 at
// the right edge, never below 5 pixels (NaN becomes 5 as well).
double local_period(int32_t j, int32_t width, double period);

// Hamming-windowed cosine and sine of the local period, phase_window(local)
// taps centred on the window.
void build_kernel(PhaseKernel& kernel, double local);

// The plan of a row `width` pixels wide. Kept per thread for the last width
// and period asked: a study measures image after image of one width and
// period, and building the kernels takes some thousand cosines and sines.
const RowPlan& row_plan(int32_t width, double period);
