#include "scn_matrix.h"

#include <cstddef>
#include <new>

int mat_create(ScnMatrix* matrix, int32_t cols, int32_t rows, double xStep, double yStep) {
  if (matrix == nullptr) return 1;
  if (cols < 0 || rows < 0) {
    matrix->values = nullptr;
    return 1;
  }
  const std::size_t count = static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows);
  auto** table = new (std::nothrow) float*[static_cast<std::size_t>(rows) + 1];
  float* block = new (std::nothrow) float[count + 1];
  if (table == nullptr || block == nullptr) {
    delete[] table;
    delete[] block;
    matrix->values = nullptr;
    return 1;
  }
  for (int32_t r = 0; r < rows; ++r) table[r] = block + static_cast<std::size_t>(r) * static_cast<std::size_t>(cols);
  // Row 0 always points at the block, so mat_free finds it for any size.
  table[0] = block;
  matrix->values = table;
  matrix->cols = cols;
  matrix->rows = rows;
  matrix->xStep = xStep;
  matrix->yStep = yStep;
  return 0;
}

void mat_free(ScnMatrix* matrix) {
  if (matrix == nullptr) return;
  if (matrix->values != nullptr) {
    delete[] matrix->values[0];
    delete[] matrix->values;
  }
  matrix->values = nullptr;
  matrix->cols = 0;
  matrix->rows = 0;
  matrix->xStep = 0.0;
  matrix->yStep = 0.0;
}
