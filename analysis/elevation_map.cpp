#include "analysis/elevation_map.h"

#include <cmath>



HeightMatrix elevation_map(const SurfaceCells& cells, const HeightAt& reference) {
  HeightMatrix map(kMapSide, kMapSide, std::nan(""));
  for (std::size_t i = 0; i < cells.size(); ++i)
    map(cells.column[i], cells.row[i]) = (cells.z[i] - reference(cells.x[i], cells.y[i])) * kMicronsPerMm;
  return map;
}
