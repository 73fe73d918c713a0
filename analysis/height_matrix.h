// The window's height grids: 256 x 256 doubles in mm, addressed (x, y) with x
// from the left and y from the top of the map image. Storage is x major: cell
// (x, y) follows (x, y - 1) and column x + 1 follows column x.
#pragma once

#include <cstddef>
#include <vector>

constexpr int kMapSide = 256;
constexpr double kNoHeight = -10.0;    // a point without height
constexpr double kMicronsPerMm = 1000.0;

class HeightMatrix {
 public:
  explicit HeightMatrix(int nx = kMapSide, int ny = kMapSide, double fill = 0.0)
      : nx_(nx), ny_(ny), cells_(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny), fill) {}

  double& operator()(int x, int y) { return cells_[index(x, y)]; }
  double operator()(int x, int y) const { return cells_[index(x, y)]; }

  int nx() const { return nx_; }
  int ny() const { return ny_; }
  // Column x as ny contiguous values (y = 0 first).
  double* column(int x) { return cells_.data() + index(x, 0); }
  const double* column(int x) const { return cells_.data() + index(x, 0); }
  double* data() { return cells_.data(); }
  const double* data() const { return cells_.data(); }

  bool operator==(const HeightMatrix&) const = default;

 private:
  std::size_t index(int x, int y) const {
    return static_cast<std::size_t>(x) * static_cast<std::size_t>(ny_) + static_cast<std::size_t>(y);
  }
  int nx_;
  int ny_;
  std::vector<double> cells_;
};

// Sets every cell of the map to value (start-up blanks the maps with it).
inline void fill_map(HeightMatrix& map, double value) {
  double* cells = map.data();
  const std::size_t count = static_cast<std::size_t>(map.nx()) * static_cast<std::size_t>(map.ny());
  for (std::size_t i = 0; i < count; ++i) cells[i] = value;
}
