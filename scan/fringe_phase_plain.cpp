// The phase step by definition: one row after another, a walk over the
// window starts that rebuilds the kernels as it goes, each window a plain
// sum and each byte phase_byte()'s. fringe_phase gives the same bytes in
// vectors; this is the reference it is tested against at every target.
#include <algorithm>
#include <vector>

#include "image_processing.h"
#include "phase_angle.h"
#include "phase_plan.h"

void fringe_phase_plain(GreyImage* plane, int32_t window, double period) {
  if (plane == nullptr || plane->type != 1) return;
  const int32_t width = plane->width;
  // The window in force: the given one until the first rebuild, then the
  // last one built, also from one row to the next.
  PhaseKernel kernel{};
  kernel.taps = window;
  kernel.half = window / 2;
  std::vector<uint8_t> levels(static_cast<std::size_t>(width));
  std::vector<uint8_t> out(levels.size());
  for (int32_t y = 0; y < plane->height; ++y) {
    uint8_t* row = img_line(plane, y);
    std::copy(row, row + width, levels.begin());
    std::fill(out.begin(), out.end(), uint8_t{0});
    const auto measure = [&](int32_t start) {
      double re = 0.0;
      double im = 0.0;
      for (int32_t i = 0; i < kernel.taps; ++i) {
        re += levels[static_cast<std::size_t>(start + i)] * kernel.cosine[static_cast<std::size_t>(i)];
        im += levels[static_cast<std::size_t>(start + i)] * kernel.sine[static_cast<std::size_t>(i)];
      }
      out[static_cast<std::size_t>(start + kernel.half)] = phase_byte(re, im);
    };
    bool measured = false;
    for (int32_t j = 0; j <= width - kernel.taps; ++j) {
      if (j % kRebuildStep == 0) {
        const int32_t old_half = kernel.half;
        build_kernel(kernel, local_period(j, width, period));
        // A window that no longer fits ends the row.
        if (j > width - kernel.taps) break;
        // A grown window: the columns between the last centre of the old
        // window and the first centre of the new one.
        if (measured)
          for (int32_t c = std::max(j + old_half, kernel.half); c < j + kernel.half; ++c) measure(c - kernel.half);
      }
      measure(j);
      measured = true;
    }
    // Columns nearer the edge than the last half window hold no full-width
    // measurement.
    for (int32_t s = 0; s < std::min(kernel.half, width); ++s)
      out[static_cast<std::size_t>(s)] = out[static_cast<std::size_t>(width - 1 - s)] = 0;
    std::copy(out.begin(), out.end(), row);
  }
}
