// The engine's grid of 32-bit heights.
#pragma once

#include <cstdint>

struct ScnMatrix {
  int32_t cols;
  int32_t rows;
  double xStep;     // mm between neighbouring columns
  double yStep;     // mm between neighbouring rows
  float** values;   // `rows` row pointers into one block of rows * cols floats
};

// Allocates the grid (values not cleared) and returns 0; returns 1 and leaves
// a null row table and the four numbers untouched when memory runs out.
int mat_create(ScnMatrix* matrix, int32_t cols, int32_t rows, double xStep, double yStep);
// Releases the grid and zeroes the four numbers; a null table is allowed.
void mat_free(ScnMatrix* matrix);

// Releases a grid however the code that fills it ends.
struct GridGuard {
  ScnMatrix grid{};
  GridGuard() = default;
  GridGuard(const GridGuard&) = delete;
  GridGuard& operator=(const GridGuard&) = delete;
  ~GridGuard() { mat_free(&grid); }
};
