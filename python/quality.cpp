// fringe.Quality and fringe.MeasurementRefused: a measurement's quality map
// (methods/measurement_quality.h) as NumPy arrays, and the refusal of a
// measurement not to be believed (runs/quality_check.h).
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>

#include "common/errors.h"
#include "python/results.h"

namespace {

template <typename T, typename Value>
py::array_t<T> cell_array(const QualityMap& map, Value value) {
  py::array_t<T> out({map.rows, map.cols});
  auto cells = out.template mutable_unchecked<2>();
  for (int32_t j = 0; j < map.rows; ++j)
    for (int32_t i = 0; i < map.cols; ++i) cells(j, i) = value(map.at(i, j));
  return out;
}

py::dict summary_dict(const QualityMap& map) {
  const QualitySummary s = summarise_quality(map);
  py::dict d;
  d["valid_fraction"] = s.valid_fraction;
  d["median_modulation"] = s.median_modulation;
  d["median_fit_residual"] = s.median_fit_residual;
  d["mask_cells"] = s.mask_cells;
  d["valid_cells"] = s.valid_cells;
  d["noise"] = s.noise;
  return d;
}

}  // namespace

QualityCheck quality_check_of(const std::optional<double>& min_valid) {
  QualityCheck check;
  if (min_valid) check.min_valid = checked("min_valid", *min_valid, domains::unit);
  return check;
}

const char* const kQualityDoc = R"(
The result carries its quality (a fringe.Quality: modulation, fit residual and the cells
with a height). Pictures without fringes are refused before the engine runs, and a
measurement of which fewer of the evaluation mask's cells have a height than min_valid
asks (0..1; None: the workspace's MinValid, else 0.25) after it: both raise
fringe.MeasurementRefused, a ValueError, as the tool exits with status 4.)";

void bind_quality(py::module_& m) {
  py::register_exception<MeasurementRefused>(m, "MeasurementRefused", PyExc_ValueError);
  m.attr("MeasurementRefused").attr("__doc__") =
      "A measurement not to be believed (a ValueError): pictures without fringes, refused before the\n"
      "engine runs, or a measurement of which fewer cells of the evaluation mask have a height than\n"
      "min_valid asks (the workspace's MinValid, else 0.25). The tool exits with status 4 for the same.";

  py::class_<QualityMap, std::shared_ptr<QualityMap>>(
      m, "Quality",
      R"(How far a measurement can be believed, from its pictures alone, on the profile's grid (arrays
[row, column] as Profile.heights: a cell is the 4 x 4 pixels of a profile point, row 0 the
profile's row 0).

modulation: the fringes' amplitude in grey levels of the frames (the fitted sinusoid's), the
mean over a row of the cell; NaN outside the evaluation ellipse. fit_residual: the RMS distance
of the samples from that sinusoid in units of the modulation (phase shifting: the N steps;
Fourier: one period along the row against the method's own background and fringe; the
engine's quadrature: a sinusoid at the carrier fitted to the cell's 4 rows over one period); NaN
outside and without modulation. state: 0 outside the ellipse, 1 valid (a height), 2 weak (no
height, modulation below 1 % of the brightest sample), 3 unreached (modulated, no height: the
unwrapping did not reach it). summary: valid_fraction, median_modulation, median_fit_residual
(the keys of `fringe measure --json`), mask_cells, valid_cells, noise (grey levels).)")
      .def_property_readonly("modulation",
                             [](const QualityMap& q) {
                               return cell_array<double>(q, [&q](std::size_t c) { return q.modulation[c]; });
                             },
                             "Modulation, grey levels, float64 [row, column]; NaN outside the ellipse.")
      .def_property_readonly("fit_residual",
                             [](const QualityMap& q) {
                               return cell_array<double>(q, [&q](std::size_t c) { return q.fit_residual[c]; });
                             },
                             "Fit residual in units of the modulation, float64 [row, column]; NaN outside.")
      .def_property_readonly("state",
                             [](const QualityMap& q) {
                               return cell_array<uint8_t>(q, [&q](std::size_t c) { return q.state[c]; });
                             },
                             "0 outside, 1 valid, 2 weak, 3 unreached; uint8 [row, column].")
      .def_property_readonly("valid",
                             [](const QualityMap& q) {
                               return cell_array<bool>(q, [&q](std::size_t c) {
                                 return static_cast<CellState>(q.state[c]) == CellState::valid;
                               });
                             },
                             "Cells with a height inside the ellipse; bool [row, column].")
      .def_property_readonly("summary", &summary_dict,
                             "{valid_fraction, median_modulation, median_fit_residual, mask_cells, valid_cells, noise}.")
      .def_property_readonly("valid_fraction", [](const QualityMap& q) { return summarise_quality(q).valid_fraction; },
                             "Cells with a height of those inside the evaluation ellipse, 0..1.")
      .def_property_readonly("median_modulation",
                             [](const QualityMap& q) { return summarise_quality(q).median_modulation; },
                             "Median modulation of the cells inside the ellipse, grey levels.")
      .def_property_readonly("median_fit_residual",
                             [](const QualityMap& q) { return summarise_quality(q).median_fit_residual; },
                             "Median fit residual of the cells inside the ellipse.")
      .def_property_readonly("step_x", [](const QualityMap& q) { return q.step_x; }, "mm per cell across.")
      .def_property_readonly("step_y", [](const QualityMap& q) { return q.step_y; }, "mm per cell down.")
      .def_property_readonly("shape", [](const QualityMap& q) { return py::make_tuple(q.rows, q.cols); },
                             "(rows, columns) of the grid.")
      .def("__repr__", [](const QualityMap& q) {
        const QualitySummary s = summarise_quality(q);
        return "<fringe.Quality " + std::to_string(q.cols) + " x " + std::to_string(q.rows) + " cells, " +
               std::to_string(s.valid_cells) + " of " + std::to_string(s.mask_cells) + " valid>";
      });
}
