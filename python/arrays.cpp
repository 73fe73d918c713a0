#include "python/arrays.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "formats/camera_picture.h"

py::array_t<uint8_t> picture_array(const GreyImage& picture) {
  py::array_t<uint8_t> out({picture.height, picture.width});
  uint8_t* rows = out.mutable_data();
  for (int32_t row = 0; row < picture.height; ++row)
    std::memcpy(rows + static_cast<std::size_t>(row) * static_cast<std::size_t>(picture.width),
                img_line(&picture, picture.height - 1 - row), static_cast<std::size_t>(picture.width));
  return out;
}

GreyImageOwner grey_image_of(const py::handle& object, const std::string& argument) {
  if (!py::isinstance<py::array>(object))
    throw py::type_error(argument + ": expected a numpy array of uint8 grey levels, got " +
                         std::string(py::str(py::type::of(object).attr("__name__"))));
  const py::array array = py::reinterpret_borrow<py::array>(object);
  if (!array.dtype().is(py::dtype::of<uint8_t>()))
    throw py::type_error(argument + ": the array's dtype is " + std::string(py::str(array.dtype())) +
                         "; a picture is uint8 grey levels (0..255)");
  if (array.ndim() != 2)
    throw std::invalid_argument(argument + ": the array has " + std::to_string(array.ndim()) +
                                " dimensions; a picture has 2 (rows, columns)");
  const py::ssize_t height = array.shape(0);
  const py::ssize_t width = array.shape(1);
  if (const std::string refusal = size_refusal(static_cast<uint64_t>(width), static_cast<uint64_t>(height));
      !refusal.empty())
    throw std::invalid_argument(argument + ": " + refusal);
  // Rows one after the other, whatever view was given.
  const auto rows = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>::ensure(array);
  if (!rows) throw py::error_already_set();
  GreyImageOwner image(img_create_rows_unfilled(1, static_cast<int32_t>(width), static_cast<int32_t>(height)));
  if (!image) throw std::bad_alloc();
  const uint8_t* data = rows.data();
  for (py::ssize_t row = 0; row < height; ++row)
    std::memcpy(img_line(image.get(), static_cast<int32_t>(height - 1 - row)),
                data + row * width, static_cast<std::size_t>(width));
  return image;
}

py::array_t<double> map_array(const HeightMatrix& map, const std::function<bool(int, int)>& no_data) {
  py::array_t<double> out({map.ny(), map.nx()});
  auto cells = out.mutable_unchecked<2>();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int y = 0; y < map.ny(); ++y)
    for (int x = 0; x < map.nx(); ++x) cells(y, x) = no_data && no_data(x, y) ? nan : map(x, y);
  return out;
}

py::array_t<double> field_array(const HeightField& field) {
  py::array_t<double> out({field.rows, field.cols});
  std::memcpy(out.mutable_data(), field.heights.data(), field.heights.size() * sizeof(double));
  return out;
}
