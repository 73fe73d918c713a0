#include "render/colour_classes.h"

#include <cstring>

#include "scan/cpu_features.h"

#include <cmath>

std::vector<int> level_thresholds(int n) {
  std::vector<int> thresholds;
  if (n < 1 || n > kMaxColourClasses) return thresholds;
  thresholds.reserve(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) thresholds.push_back(static_cast<int>(std::lrint(k * 255.0 / n)));
  return thresholds;
}

ClassColours class_colours(const std::vector<int>& thresholds, ColourComponent blue, ColourComponent red,
                           ColourComponent green) {
  ClassColours table;
  std::size_t p = 0;  // index of the class of the current level
  for (int level = 0; level < 256; ++level) {
    if (thresholds.empty() || level < thresholds.front() || level > thresholds.back()) {
      table.bgr[static_cast<std::size_t>(level)] = {255, 255, 255};
      continue;
    }
    while (p + 1 < thresholds.size() && thresholds[p + 1] <= level) ++p;
    const auto value = static_cast<uint8_t>(thresholds[p]);
    table.bgr[static_cast<std::size_t>(level)] = {blue(value), green(value), red(value)};
  }
  return table;
}

namespace {

using Quad = double __attribute__((vector_size(32)));

// Four levels of class_level: both limits and the level's own range
// checked lane by lane, the level rounded to nearest (halves to even, as
// lrint in the default mode) by adding and removing 1.5 * 2^52.
__attribute__((target("avx2"))) void class_levels_avx2(const double* values, int n, double min, double max,
                                                      int16_t* levels) {
  constexpr double kRoundingShift = 6755399441055744.0;
  const double range = max - min;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    Quad v;
    std::memcpy(&v, values + i, sizeof v);
    const Quad level = (v - min) * 255.0 / range;
    const Quad rounded = (level + kRoundingShift) - kRoundingShift;
    const auto inside = (v >= min) & (v <= max);
    const auto valid = inside & (level >= 0.0) & (level <= 255.0);
    Quad result = valid ? rounded : Quad{} - 1.0;
    if (range == 0.0) result = inside ? Quad{} + 1.0 : Quad{} - 1.0;
    for (int k = 0; k < 4; ++k) levels[i + k] = static_cast<int16_t>(result[k]);
  }
  for (; i < n; ++i) levels[i] = static_cast<int16_t>(class_level(values[i], min, max));
}

}  // namespace

void class_levels(const double* values, int n, double min, double max, int16_t* levels) {
  if (cpu_has_avx2()) {
    class_levels_avx2(values, n, min, max, levels);
    return;
  }
  for (int i = 0; i < n; ++i) levels[i] = static_cast<int16_t>(class_level(values[i], min, max));
}
