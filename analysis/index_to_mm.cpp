#include "analysis/index_to_mm.h"

// 1/256 is a power of two, so index * (1/256) is exact and only the product
// with the field size rounds.
constexpr double kCellFraction = 1.0 / 256.0;

double index_to_mm_x(int index, double field_size_x) { return index * kCellFraction * field_size_x; }

double index_to_mm_y(int index, double field_size_y) { return index * kCellFraction * field_size_y; }
