#include "analysis/bilinear.h"

double bilinear(double x1, double y1, double width, double height, double x, double y,
                double q11, double q21, double q22, double q12) {
  const double dx = x - x1;
  const double dy = y - y1;
  // Difference times offset first, then the division by the cell size: the
  // order fixes the last bit of the result.
  const double a = width == 0.0 ? q11 : q11 + (q21 - q11) * dx / width;
  const double b = width == 0.0 ? q12 : q12 + (q22 - q12) * dx / width;
  return height == 0.0 ? a : a + (b - a) * dy / height;
}
