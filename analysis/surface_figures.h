// The figures optometry uses, from a channel's measured heights after
// "profile": the best-fit sphere, the best-fit conic surface, keratometry,
// the Zernike terms of the residual and the axial and tangential power maps. One toolkit-free call; the surface
// window, `fringe analyse` and studies all go through it.
//
// Every figure is over the cells of surface_cells.h (inside the evaluation
// mask, with data; cell centres in mm from the map's centre, x to the right,
// y up as the map is shown). A figure that cannot be made (too few cells, a
// degenerate fit, a flat surface) is absent and its note says why; no figure
// is ever NaN.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/height_matrix.h"
#include "analysis/conic_fit.h"
#include "analysis/corneal_aberrations.h"
#include "analysis/keratoconus_indices.h"
#include "analysis/keratometry.h"
#include "analysis/sphere_fit.h"
#include "analysis/surface_cells.h"
#include "analysis/zernike.h"

// What the Zernike table describes: the residual to the sphere of the set
// radius that "profile" subtracted (the residual map), or the residual to
// the best-fit sphere.
enum class ZernikeReference { set_sphere, best_fit_sphere };

// What surface_figures keeps from one call to the next: the Zernike fits of
// the residual table and of the aberrations' pupil over the last cells. A
// call on the same cells (the same mask and coverage, as most runs of a
// study have) takes them from here instead of forming them again; the
// figures are the same bits either way. One per thread.
struct FigureCache {
  ZernikeFitCache residual;
  ZernikeFitCache pupil;
};

struct FigureOptions {
  int zernike_order = kDefaultZernikeOrder;  // 0..kMaxZernikeOrder
  ZernikeReference reference = ZernikeReference::set_sphere;
  // The maps (axial, tangential and refractive power, elevation against the
  // best-fit sphere and toric ellipsoid), which windows and exports show: a
  // study's figures do not need them.
  bool power_maps = true;
  FigureCache* cache = nullptr;  // none: everything is formed anew
  // The pupil of the corneal aberrations, mm.
  double pupil_diameter = kDefaultPupilDiameter;
};

// The channel's maps as "profile" leaves them.
struct SurfaceMaps {
  const HeightMatrix& measured;    // heights as read back, kNoHeight without data, mm
  const HeightMatrix& set_sphere;  // the perfect sphere of the set radius, mm, as large as `measured`
  double field = 10.24;            // width of the map, mm (both axes)
  double mask_radius = 3.3;        // the mask radius setting, mm
};

struct SphereFigure {
  double radius_mm = 0.0;  // signed: positive for a cap bulging towards the camera
  double power_D = 0.0;    // 337 / radius
  double apex_x_mm = 0.0;
  double apex_y_mm = 0.0;
  double apex_z_mm = 0.0;
  double rms_um = 0.0;     // of the residual to the best-fit sphere
};

struct ConicFigure {
  double flat_radius_mm = 0.0;   // apical, signed like the sphere's radius
  double steep_radius_mm = 0.0;
  std::optional<double> axis_deg;  // of the flat meridian; none when sphere-like
  double q = 0.0;                // conic constant
  double apex_x_mm = 0.0;
  double apex_y_mm = 0.0;
  double rms_um = 0.0;           // of the residual to the fitted surface
};

struct ZernikeFigure {
  int order = 0;
  ZernikeReference reference = ZernikeReference::set_sphere;
  std::vector<double> coefficients_um;  // index j = 0 .. terms - 1
  double rms_um = 0.0;                  // left after the fit
};

struct SurfaceFigures {
  int cells = 0;              // inside the mask with data
  EvaluationDisc disc;        // the Zernike terms' unit disc, mm

  std::optional<SphereFigure> sphere;
  std::string sphere_note;    // why there is no sphere
  std::optional<ConicFigure> conic;
  std::string conic_note;
  std::optional<ConicSurface> toric;  // the fitted conic itself, with `conic`
  std::optional<KeratometryResult> keratometry;
  std::string keratometry_note;
  std::optional<ZernikeFigure> zernike;
  std::string zernike_note;
  // OSA/ANSI aberrations of the wavefront (n - 1) (measured - best-fit
  // sphere) over the pupil of the options (corneal_aberrations.h).
  std::optional<CornealAberrations> aberrations;
  std::string aberrations_note;
  // The screening indices (keratoconus_indices.h) of the axial power taken
  // from local fits of the measured heights (local_slope.h), SRAX from the
  // reconstruction the axial map shows, with keratometry's astigmatism.
  std::optional<KeratoconusIndices> indices;
  std::string indices_note;

  // measured - best-fit sphere (mm) in the mask, kNoHeight where the cell
  // has no data, 0.0 outside the mask, like the residual map; with the
  // sphere only.
  std::optional<HeightMatrix> sphere_residual;
  // Axial, tangential and refractive power (D) of the best-fit sphere plus
  // the Zernike terms of the residual to it (curvature_maps.h), at each cell
  // of the mask, NaN elsewhere (shown white). All or none; axial_note says
  // why not.
  std::optional<HeightMatrix> axial_power;
  std::optional<HeightMatrix> tangential_power;
  std::optional<HeightMatrix> refractive_power;
  std::string axial_note;
  // Elevation (microns, elevation_map.h) against the best-fit sphere (with
  // the sphere; sphere_note says why not) and against the best-fit toric
  // ellipsoid, the conic fit (with the conic; conic_note says why not), at
  // the cells with data, NaN elsewhere.
  std::optional<HeightMatrix> elevation_to_sphere;
  std::optional<HeightMatrix> elevation_to_toric;
};

// Throws std::invalid_argument for a Zernike order outside
// 0..kMaxZernikeOrder; every other input gives figures or notes.
SurfaceFigures surface_figures(const SurfaceMaps& maps, const FigureOptions& options = {});
