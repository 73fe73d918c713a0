// The Python module `fringe`: the measurement chain in memory for notebooks
// (synthesis, scan, comparison with the sphere, figures, exports, studies),
// with NumPy arrays in and out and the GIL released while the chain runs.
#include <pybind11/pybind11.h>

#include "common/errors.h"
#include "python/results.h"
#include "studies/study_grid.h"

namespace py = pybind11;

void bind_errors(py::module_&) {
  // The tool's messages, as the exceptions Python code expects: files
  // OSError, settings and values ValueError (std::invalid_argument is
  // ValueError already).
  py::register_exception_translator([](std::exception_ptr error) {
    try {
      if (error) std::rethrow_exception(error);
    } catch (const FileError& e) {
      PyErr_SetString(PyExc_OSError, e.what());
    } catch (const ConversionError& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const StudyError& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    }
  });
}

PYBIND11_MODULE(fringe, m) {
  m.doc() =
      "Fringe-projection measurement of eye-sized surfaces: the workbench's chain in memory.\n\n"
      "synthesize() makes the camera picture of the fringes, scan() runs the fringe-analysis\n"
      "engine on a picture, synthesize_frames() and scan_frames() do the same for the frame\n"
      "sets of phase shifting and Fourier analysis, compare() compares a profile with the\n"
      "perfect sphere, measure() does all of it for a Workspace's channel as `fringe measure`\n"
      "does, analyse() gives the surface figures, export() writes height files and study()\n"
      "runs grids of settings.";
  m.attr("__version__") = FRINGE_VERSION;
  bind_errors(m);
  bind_quality(m);
  bind_pictures(m);
  bind_measurements(m);
  bind_studies(m);
  bind_frames(m);
}
