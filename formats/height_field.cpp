#include "formats/height_field.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "analysis/reference_sphere.h"

namespace {

constexpr double kNoData = std::numeric_limits<double>::quiet_NaN();

HeightField empty_field(int cols, int rows, double step_x, double step_y, std::string title) {
  HeightField field;
  field.cols = cols;
  field.rows = rows;
  field.step_x = step_x;
  field.step_y = step_y;
  field.heights.assign(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows), kNoData);
  // One line: a line break would end a header line early.
  std::replace(title.begin(), title.end(), '\n', ' ');
  std::replace(title.begin(), title.end(), '\r', ' ');
  field.title = std::move(title);
  return field;
}

}  // namespace

std::string height_field_size_mismatch(const HeightField& field) {
  if (field.cols >= 0 && field.rows >= 0 &&
      field.heights.size() == static_cast<std::size_t>(field.cols) * static_cast<std::size_t>(field.rows))
    return "";
  return "a height field of " + std::to_string(field.cols) + " x " + std::to_string(field.rows) + " cells holds " +
         std::to_string(field.heights.size()) + " heights";
}

HeightField residual_field(const HeightMatrix& residual, const HeightMatrix& measured,
                           double field_x, double field_y, double mask_radius, std::string title) {
  const int cols = std::min({kMapSide, residual.nx(), measured.nx()});
  const int rows = std::min({kMapSide, residual.ny(), measured.ny()});
  HeightField field = empty_field(cols, rows, field_x / kMapSide, field_y / kMapSide, std::move(title));
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < cols; ++x) {
      if (!in_evaluation_mask(field_x, field_x * 0.5, field_x * 0.5, mask_radius, x, y)) continue;
      if (measured(x, y) == kNoHeight) continue;
      field.heights[static_cast<std::size_t>(y) * static_cast<std::size_t>(cols) +
                    static_cast<std::size_t>(x)] = residual(x, y);
    }
  }
  return field;
}

HeightField profile_field(const HeightMatrix& grid, double step_x, double step_y,
                          double depth_limit, std::string title) {
  HeightField field = empty_field(grid.nx(), grid.ny(), step_x, step_y, std::move(title));
  // The engine stores heights as 32-bit floats: so is its limit compared
  // (a limit beyond the float range stays as it is).
  const bool fits = std::abs(depth_limit) <= std::numeric_limits<float>::max();
  const double limit = fits ? static_cast<double>(static_cast<float>(depth_limit)) : depth_limit;
  for (int y = 0; y < grid.ny(); ++y) {
    for (int x = 0; x < grid.nx(); ++x) {
      const double z = grid(x, y);
      if (z > limit) field.heights[static_cast<std::size_t>(y) * static_cast<std::size_t>(grid.nx()) +
                                   static_cast<std::size_t>(x)] = z;
    }
  }
  return field;
}
