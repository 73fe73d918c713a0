#include "render/colour_classes.h"

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
