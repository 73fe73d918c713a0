#include "analysis/index_to_mm.h"

double index_to_mm_x(int index, double field_size_x) { return index * kCellFraction * field_size_x; }

double index_to_mm_y(int index, double field_size_y) { return index * kCellFraction * field_size_y; }
