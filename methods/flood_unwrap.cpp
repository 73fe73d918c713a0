#include "methods/flood_unwrap.h"

#include "methods/modulation_mask.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>

namespace fringe::methods {

bool flood_start(const PhaseField& field, int32_t& x, int32_t& y) {
  // A field without pixels has no centre to look at.
  if (field.width <= 0 || field.height <= 0) return false;
  const int32_t cx = field.width / 2;
  const int32_t cy = field.height / 2;
  if (field.modulated(field.at(cx, cy))) {
    x = cx;
    y = cy;
    return true;
  }
  int64_t best = std::numeric_limits<int64_t>::max();
  for (int32_t row = 0; row < field.height; ++row) {
    const RowRun run = field.runs[static_cast<std::size_t>(row)];
    const int64_t dy = row - cy;
    if (run.empty() || dy * dy >= best) continue;
    for (int32_t col = run.first; col < run.end; ++col) {
      if (!field.modulated(field.at(col, row))) continue;
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

namespace {

// A modulated pixel the fill has not reached (yet): no data.
constexpr uint8_t kCandidate = 2;

struct Fill {
  const double* psi;
  double* phase;
  uint8_t* data;
  uint32_t* stack;
  int32_t width;
  int32_t height;
  bool limited;
  double limit;

  // Every pixel is marked before it is pushed, so it is pushed at most once.
  template <bool bounded>
  void run(uint32_t start) const {
    std::size_t top = 0;
    stack[top++] = start;
    const auto w = static_cast<uint32_t>(width);
    while (top > 0) {
      const uint32_t here = stack[--top];
      const double p = psi[here];
      const double unwrapped = phase[here];
      const auto visit = [&](uint32_t there) {
        if (data[there] != kCandidate) return;
        const double step = wrapped_difference(psi[there], p);
        if (limited && std::fabs(step) > limit) return;
        phase[there] = unwrapped + step;
        data[there] = 1;
        stack[top++] = there;
      };
      if constexpr (bounded) {
        const uint32_t x = here % w;
        const uint32_t y = here / w;
        if (y > 0) visit(here - w);
        if (y + 1 < static_cast<uint32_t>(height)) visit(here + w);
        if (x > 0) visit(here - 1);
        if (x + 1 < w) visit(here + 1);
      } else {
        visit(here - w);
        visit(here + w);
        visit(here - 1);
        visit(here + 1);
      }
    }
  }
};

}  // namespace

void flood_unwrap(PhaseField& field, int32_t flaw_threshold, std::vector<uint32_t>& stack) {
  const int32_t width = field.width;
  const int32_t height = field.height;
  // No pixel has data until the fill reaches it; the modulated ones are
  // marked as the fill's candidates first, one byte to test per neighbour.
  mark_modulated(field, kCandidate);
  int32_t sx = 0;
  int32_t sy = 0;
  if (!flood_start(field, sx, sy)) return;

  // |FlawThr| as the engine's flaw test takes it (it compares squares).
  const bool limited = flaw_threshold < 128 && flaw_threshold > -128;
  const double limit = limited ? std::numbers::pi * std::abs(flaw_threshold) / 128.0 : 0.0;
  const double* const psi = field.psi.data();
  double* const phase = field.phase.data();
  uint8_t* const data = field.data.data();

  stack.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  const auto start = static_cast<uint32_t>(field.at(sx, sy));
  phase[start] = psi[start];
  data[start] = 1;
  // A field that keeps off the picture's outermost rows and columns needs no
  // bounds: every neighbour of a modulated pixel lies inside the picture.
  bool inside = width >= 3 && height >= 3 && field.runs.front().empty() && field.runs.back().empty();
  for (const RowRun& run : field.runs) inside = inside && (run.empty() || (run.first > 0 && run.end < width));
  const Fill fill{psi, phase, data, stack.data(), width, height, limited, limit};
  if (inside) fill.run<false>(start);
  else fill.run<true>(start);
}

}  // namespace fringe::methods
