#include "methods/flood_unwrap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace fringe::methods {

bool flood_start(const PhaseField& field, int32_t& x, int32_t& y) {
  const int32_t cx = field.width / 2;
  const int32_t cy = field.height / 2;
  if (field.valid[field.at(cx, cy)] != 0) {
    x = cx;
    y = cy;
    return true;
  }
  int64_t best = std::numeric_limits<int64_t>::max();
  for (int32_t row = 0; row < field.height; ++row) {
    const RowRun run = field.runs[static_cast<std::size_t>(row)];
    const int64_t dy = row - cy;
    if (run.empty() || dy * dy >= best) continue;
    const uint8_t* valid = field.valid.data() + field.at(0, row);
    for (int32_t col = run.first; col < run.end; ++col) {
      if (valid[col] == 0) continue;
      const int64_t dx = col - cx;
      const int64_t distance = dx * dx + dy * dy;
      if (distance < best) {
        best = distance;
        x = col;
        y = row;
      }
    }
  }
  return best != std::numeric_limits<int64_t>::max();
}

void flood_unwrap(PhaseField& field, int32_t flaw_threshold, std::vector<uint32_t>& stack) {
  const int32_t width = field.width;
  const int32_t height = field.height;
  // No pixel has data until the fill reaches it.
  for (int32_t y = 0; y < height; ++y) {
    const RowRun run = field.runs[static_cast<std::size_t>(y)];
    if (!run.empty()) std::fill(field.data.begin() + static_cast<std::ptrdiff_t>(field.at(run.first, y)),
                                field.data.begin() + static_cast<std::ptrdiff_t>(field.at(run.end, y)), uint8_t{0});
  }
  int32_t sx = 0;
  int32_t sy = 0;
  if (!flood_start(field, sx, sy)) return;

  // |FlawThr| as the engine's flaw test takes it (it compares squares).
  const bool limited = flaw_threshold < 128 && flaw_threshold > -128;
  const double limit = kPi * std::abs(flaw_threshold) / 128.0;
  const double* const psi = field.psi.data();
  const uint8_t* const valid = field.valid.data();
  double* const phase = field.phase.data();
  uint8_t* const data = field.data.data();

  stack.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::size_t top = 0;
  const auto start = static_cast<uint32_t>(field.at(sx, sy));
  phase[start] = psi[start];
  data[start] = 1;
  stack[top++] = start;
  // Every pixel is marked before it is pushed, so it is pushed at most once.
  while (top > 0) {
    const uint32_t here = stack[--top];
    const int32_t x = static_cast<int32_t>(here % static_cast<uint32_t>(width));
    const int32_t y = static_cast<int32_t>(here / static_cast<uint32_t>(width));
    const double p = psi[here];
    const double unwrapped = phase[here];
    const auto visit = [&](uint32_t there) {
      if (valid[there] == 0 || data[there] != 0) return;
      const double step = wrapped_difference(psi[there], p);
      if (limited && std::fabs(step) > limit) return;
      phase[there] = unwrapped + step;
      data[there] = 1;
      stack[top++] = there;
    };
    if (y > 0) visit(here - static_cast<uint32_t>(width));
    if (y < height - 1) visit(here + static_cast<uint32_t>(width));
    if (x > 0) visit(here - 1);
    if (x < width - 1) visit(here + 1);
  }
}

}  // namespace fringe::methods
