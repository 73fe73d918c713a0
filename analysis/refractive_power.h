// The workbench's conversion between a surface's radius of curvature and its
// refractive power, used by the parameters dialog and by every figure in
// dioptres (best-fit sphere, keratometry, axial power).
#pragma once

// diopters = 337 / radius in mm. Deliberately 337, not 337.5: the dialog's
// texts (45 D gives 7.49 mm, 7.5 mm gives 44.9 D) are made with it.
constexpr double kDioptersTimesRadius = 337.0;

// Power in D of a radius in mm (a negative radius gives a negative power).
inline double power_of_radius(double radius_mm) { return kDioptersTimesRadius / radius_mm; }
