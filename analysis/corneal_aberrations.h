// The anterior cornea's aberrations in the OSA/ANSI convention (ISO 24157):
// Zernike terms ordered by the single index j = (n (n + 2) + m) / 2 and
// normalised so that each coefficient is the term's RMS over the pupil
// (zernike.h), fitted in the least-squares sense to the wavefront
//   W = (n - 1) (measured - best-fit sphere),   n = 1.376,
// over a pupil centred on the map's centre (the instrument's axis), in
// microns. From the coefficients c_j:
//  * higher-order RMS: sqrt of the sum of c_j^2 over orders n >= 3;
//  * spherical aberration: c_12, Z(4, 0);
//  * coma: sqrt(c_7^2 + c_8^2), Z(3, -1) and Z(3, 1);
//  * trefoil: sqrt(c_6^2 + c_9^2), Z(3, -3) and Z(3, 3).
// The table of the residual (surface_figures.h) is another thing: the
// heights over the evaluation mask, kept as it was.
#pragma once

#include "analysis/zernike.h"

#include <optional>
#include <string>
#include <vector>

#include "analysis/sphere_fit.h"
#include "analysis/surface_cells.h"

constexpr double kDefaultPupilDiameter = 6.0;  // mm
constexpr int kAberrationOrder = 6;            // 28 terms

struct CornealAberrations {
  double pupil_diameter_mm = kDefaultPupilDiameter;
  int cells = 0;                        // inside the pupil
  std::vector<double> coefficients_um;  // j = 0 .. zernike_terms(kAberrationOrder) - 1
  double higher_order_rms_um = 0.0;
  double spherical_um = 0.0;            // Z(4, 0), signed
  double coma_um = 0.0;
  double trefoil_um = 0.0;
};

// The aberrations of the cells' heights (mm) against `sphere` over a pupil
// of `pupil_diameter` mm about the map's centre. Without a result `why_not`
// (when given) says why: a pupil that is not positive, one wider than the
// evaluation disc, or too few cells in it for the terms. `cache` keeps the
// fit's factorised terms for the next call on the same cells (none: formed
// anew); the coefficients are the same bits either way.
std::optional<CornealAberrations> corneal_aberrations(const SurfaceCells& cells, const SphereCap& sphere,
                                                      double pupil_diameter = kDefaultPupilDiameter,
                                                      std::string* why_not = nullptr,
                                                      ZernikeFitCache* cache = nullptr);

// The four summaries of a coefficient list (j = 0..27 or more; microns),
// into `a` (coefficients_um left alone).
void summarise_aberrations(const std::vector<double>& coefficients_um, CornealAberrations& a);
