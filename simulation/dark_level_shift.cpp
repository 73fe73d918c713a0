#include "simulation/dark_level_shift.h"

double dark_level_shift(double g, int floor) {
  const double b = 127.0 - 127.0 * g;
  if (static_cast<double>(floor) >= b) return 0.0;
  return b - static_cast<double>(floor);
}
