#include "python/arrays.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "formats/camera_picture.h"

py::array_t<uint8_t> picture_array(const GreyImage& picture) {
  // A row of a deeper image holds twice the bytes; copying `width` of them
  // would give half a row of low bytes.
  if (picture.type != 1)
    throw std::invalid_argument("a picture of " + std::to_string(picture.type) +
                                " bytes per pixel is not 8-bit grey levels");
  py::array_t<uint8_t> out({picture.height, picture.width});
  uint8_t* rows = out.mutable_data();
  for (int32_t row = 0; row < picture.height; ++row)
    std::memcpy(rows + static_cast<std::size_t>(row) * static_cast<std::size_t>(picture.width),
                img_line(&picture, picture.height - 1 - row), static_cast<std::size_t>(picture.width));
  return out;
}

namespace {

// A 2-D array of one of the engine's sample types, checked and copied into a
// new image of `type` bytes per pixel, rows turned round.
template <typename Sample>
GreyImageOwner image_of_array(const py::array& array, const std::string& argument, int32_t type) {
  if (array.ndim() != 2)
    throw std::invalid_argument(argument + ": the array has " + std::to_string(array.ndim()) +
                                " dimensions; a picture has 2 (rows, columns)");
  const py::ssize_t height = array.shape(0);
  const py::ssize_t width = array.shape(1);
  if (const std::string refusal = size_refusal(static_cast<uint64_t>(width), static_cast<uint64_t>(height));
      !refusal.empty())
    throw std::invalid_argument(argument + ": " + refusal);
  // Rows one after the other, whatever view was given.
  const auto rows = py::array_t<Sample, py::array::c_style | py::array::forcecast>::ensure(array);
  if (!rows) throw py::error_already_set();
  GreyImageOwner image(img_create_rows_unfilled(type, static_cast<int32_t>(width), static_cast<int32_t>(height)));
  if (!image) throw std::bad_alloc();
  const Sample* data = rows.data();
  for (py::ssize_t row = 0; row < height; ++row)
    std::memcpy(img_line(image.get(), static_cast<int32_t>(height - 1 - row)), data + row * width,
                static_cast<std::size_t>(width) * sizeof(Sample));
  return image;
}

py::array array_of(const py::handle& object, const std::string& argument, const char* expected) {
  if (!py::isinstance<py::array>(object))
    throw py::type_error(argument + ": expected a numpy array of " + expected + " grey levels, got " +
                         std::string(py::str(py::type::of(object).attr("__name__"))));
  return py::reinterpret_borrow<py::array>(object);
}

}  // namespace

GreyImageOwner grey_image_of(const py::handle& object, const std::string& argument) {
  const py::array array = array_of(object, argument, "uint8");
  if (!array.dtype().is(py::dtype::of<uint8_t>()))
    throw py::type_error(argument + ": the array's dtype is " + std::string(py::str(array.dtype())) +
                         "; a picture is uint8 grey levels (0..255)");
  return image_of_array<uint8_t>(array, argument, 1);
}

py::array frame_array(const GreyImage& frame) {
  if (frame.type == 1) return picture_array(frame);
  if (frame.type != 2)
    throw std::invalid_argument("a frame of " + std::to_string(frame.type) + " bytes per pixel is neither 8 nor 16 bits");
  py::array_t<uint16_t> out({frame.height, frame.width});
  auto* rows = reinterpret_cast<uint8_t*>(out.mutable_data());
  const std::size_t row_bytes = static_cast<std::size_t>(frame.width) * sizeof(uint16_t);
  for (int32_t row = 0; row < frame.height; ++row)
    std::memcpy(rows + static_cast<std::size_t>(row) * row_bytes, img_line(&frame, frame.height - 1 - row), row_bytes);
  return out;
}

GreyImageOwner frame_image_of(const py::handle& object, const std::string& argument) {
  const py::array array = array_of(object, argument, "uint8 or uint16");
  if (array.dtype().is(py::dtype::of<uint8_t>())) return image_of_array<uint8_t>(array, argument, 1);
  if (array.dtype().is(py::dtype::of<uint16_t>())) return image_of_array<uint16_t>(array, argument, 2);
  throw py::type_error(argument + ": the array's dtype is " + std::string(py::str(array.dtype())) +
                       "; a frame is uint8 or uint16 grey levels");
}

py::array_t<double> map_array(const HeightMatrix& map, const std::function<bool(int, int)>& no_data) {
  py::array_t<double> out({map.ny(), map.nx()});
  double* cells = out.mutable_data();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // The array's memory is ours until it is returned: other Python threads
  // run while it is filled.
  {
    py::gil_scoped_release release;
    for (int y = 0; y < map.ny(); ++y, cells += map.nx())
      for (int x = 0; x < map.nx(); ++x) cells[x] = no_data && no_data(x, y) ? nan : map(x, y);
  }
  return out;
}

py::array_t<double> field_array(const HeightField& field) {
  // The heights are copied whole into the rows x cols array: a count of
  // another size would read or write past one of the two.
  if (const std::string mismatch = height_field_size_mismatch(field); !mismatch.empty())
    throw std::invalid_argument(mismatch);
  py::array_t<double> out({field.rows, field.cols});
  std::memcpy(out.mutable_data(), field.heights.data(), field.heights.size() * sizeof(double));
  return out;
}
