// The quality a front end asks of a measurement (methods/measurement_quality.h)
// and the two refusals of a measurement not to be believed, for the tool, the
// window and the Python module alike:
// * a picture (or frame set) without fringes is refused before the engine
//   runs: `<name>: no fringes: the strongest modulation of a cell is 0 grey
//   levels, noise alone gives 0 (fringes need more than 2.55)`;
// * a measurement of which too little of the evaluation mask has a height is
//   refused after it: `<name>: too little measured: 0 of 21379 cells inside
//   the evaluation mask have a height (0 %), fewer than the 25 % asked
//   (MinValid)`.
// Both throw MeasurementRefused (common/errors.h). The engine's C API and
// the runs asked for no quality (studies) measure as they always did.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "methods/measurement_quality.h"
#include "methods/method_engine.h"
#include "scan/grey_image.h"
#include "scan/scan_engine.h"

struct QualityCheck {
  // Filled by the run, also when it refuses the measurement (what went wrong
  // shows in it); empty when the run stopped before measuring.
  QualityMap map;
  // The least valid fraction of the mask (0..1; 0 takes any) an option asks;
  // none: `settings_min_valid`, which the run sets from the channel's method
  // settings (MinValid) where it reads them.
  std::optional<double> min_valid;
  double settings_min_valid = kDefaultMinValid;

  double least_valid() const { return min_valid.value_or(settings_min_valid); }

  // Work room of the engine's quality, kept while the check is.
  std::shared_ptr<CarrierQuality> carrier = std::make_shared<CarrierQuality>();
};

// Throws MeasurementRefused "<name>: <why>" for frames without fringes.
void refuse_without_fringes(const QualityMap& map, const std::string& name);
// Throws MeasurementRefused "<name>: <why>" when too little was measured.
void refuse_too_little(const QualityMap& map, double min_valid, const std::string& name);

// The engine's quadrature on `picture` as ScanEngine::scan, with the quality
// `check` asks for (none: the engine alone): the map from the picture before
// the engine takes its pixels, a picture without fringes refused before the
// engine runs, the cells marked from the profile, too little measured
// refused (below check->least_valid()). `name` names the picture in the
// refusals.
ScanEngine::Outcome checked_engine_scan(ScanEngine& engine, GreyImage& picture, const ScnPar& par,
                                        GreyImage* reference, QualityCheck* check, const std::string& name);

// MethodEngine::profile with the same quality and refusals (after the
// measurement, before anything is written).
void checked_method_profile(MethodEngine& engine, std::span<const GreyImage* const> frames, const MethodPlan& plan,
                            const ScnPar& par, ScnMatrix& profile, QualityCheck* check, const std::string& name);

// The quality of frames measured through a pinhole system, whose `profile`
// the triangulation made: the modulation and fit residual from the frames
// (a MethodEngine::profile of them beside, its heights unused), the cells
// marked from `profile`, and the same refusals, after the measurement.
// Nothing without `check`.
void checked_pinhole_profile(MethodEngine& engine, std::span<const GreyImage* const> frames, const MethodPlan& plan,
                             const ScnPar& par, const ScnMatrix& profile, QualityCheck* check, const std::string& name);

