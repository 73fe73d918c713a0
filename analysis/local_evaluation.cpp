#include "analysis/local_evaluation.h"

#include "analysis/area_statistics.h"

namespace {

constexpr int kHalfWindow = 3;
constexpr int kFirst = 4;
constexpr int kLast = 252;

double statistic(LocalEvaluation kind, const HeightMatrix& map, int x, int y) {
  const int x0 = x - kHalfWindow, x1 = x + kHalfWindow;
  const int y0 = y - kHalfWindow, y1 = y + kHalfWindow;
  switch (kind) {
    case LocalEvaluation::pv:
      return area_pv(map, x0, x1, y0, y1);
    case LocalEvaluation::rms:
      return area_rms(map, x0, x1, y0, y1);
    case LocalEvaluation::mean:
      break;
  }
  return area_mean(map, x0, x1, y0, y1);
}

}  // namespace

void local_evaluation_map(const HeightMatrix& map, LocalEvaluation kind, HeightMatrix& result) {
  for (int x = 0; x < kMapSide; ++x) {
    for (int y = 0; y < kMapSide; ++y) {
      const bool inner = x >= kFirst && x <= kLast && y >= kFirst && y <= kLast;
      result(x, y) = inner ? statistic(kind, map, x, y) : 0.0;
    }
  }
}
