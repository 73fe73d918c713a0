// NumPy arrays of the module and the chain's own grids and pictures.
//
// Pictures are uint8 arrays of shape (rows, columns), row 0 at the top as a
// picture is shown; the engine's GreyImage keeps row 0 at the bottom, so
// rows are turned round on the way in and out. Height grids are float64
// arrays indexed [y, x] (HeightMatrix is addressed (x, y), column-major).
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <functional>
#include <string>

#include "analysis/height_matrix.h"
#include "formats/height_field.h"
#include "scan/grey_image.h"

namespace py = pybind11;

// The 8-bit picture (type 1) as a new array, top row first. Throws
// std::invalid_argument for an image of another type.
py::array_t<uint8_t> picture_array(const GreyImage& picture);

// A new 8-bit engine picture of a 2-D uint8 array (top row first). A
// non-contiguous array (a slice, a transposed view) is copied first. Throws
// py::type_error for another dtype and std::invalid_argument, naming
// `argument`, for another number of dimensions or a size the engine cannot
// hold (1..4096 on either side). Needs the GIL.
GreyImageOwner grey_image_of(const py::handle& array, const std::string& argument);

// A frame of a set as a new array, top row first: uint8 for an 8-bit image
// (type 1), uint16 for a 16-bit one (type 2). Throws std::invalid_argument
// for an image of another type.
py::array frame_array(const GreyImage& frame);

// A new engine frame of a 2-D uint8 or uint16 array (top row first): an 8-bit
// image (type 1) or a 16-bit one (type 2, the values as given). Copies a
// non-contiguous array. Throws py::type_error for another dtype and
// std::invalid_argument, naming `argument`, for another number of dimensions
// or a size the engine cannot hold. Needs the GIL.
GreyImageOwner frame_image_of(const py::handle& array, const std::string& argument);

// The map as an array [y, x]; cells for which `no_data` holds become NaN.
py::array_t<double> map_array(const HeightMatrix& map,
                              const std::function<bool(int x, int y)>& no_data = {});

// A height field's heights as an array [row, col] (NaN where it has none).
// Throws std::invalid_argument when it holds other than rows x cols heights.
py::array_t<double> field_array(const HeightField& field);
