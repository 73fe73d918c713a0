// The vector kernels of the synthesis (Highway, chosen at run time). Each
// works through a row in whole vectors and leaves the rest to the plain
// definition (sphere_rows.h, pixel_noise.h): the columns after the last
// whole vector, and the few it lists, whose bytes an estimate could get
// wrong.
#pragma once

#include <cstddef>
#include <cstdint>

#include "simulation/pixel_noise.h"
#include "simulation/sphere_rows.h"

// Columns [0, done) are written except the `listed` ones named in the list
// (ascending), which the caller works out pixel by pixel, as it does the
// columns from `done` on.
struct KernelRow {
  std::size_t done;
  std::size_t listed;
};

// The levels of the sphere's row of y squared y_sq, with the cosine
// estimated; lists the columns whose phase lies beyond the estimate's range
// (or is not a number).
KernelRow estimate_sphere_row(const SphereGeometry& g, double y_sq, double* levels, uint32_t* listed);

// The same in two halves, for frames of one geometry that differ in their
// phase shift only (the root and the division are then worked out once per
// row for all of them): the unshifted phases 2 pi (x + z t) / P of columns
// [0, done), returning done; then the levels from those phases, exactly the
// ones estimate_sphere_row gives.
std::size_t sphere_phase_row(const SphereGeometry& g, double y_sq, double* phases);
KernelRow shifted_sphere_row(const SphereGeometry& g, double y_sq, const double* phases, double* levels,
                             uint32_t* listed);

// The levels of a row of pictures through lenses from the projector column
// u of each pixel (NaN: dark, level 0): (contrast cos(per_column u + shift) +
// 1) 127 - dark_shift with the cosine estimated; lists the columns whose
// phase lies beyond the estimate's range.
KernelRow estimate_ray_row(const double* columns, std::size_t width, double per_column, double phase_shift,
                           double contrast, double dark_shift, double* levels, uint32_t* listed);

// The grey bytes of noise-free levels; lists the columns whose level lies
// within `margin` of an integer.
KernelRow clean_grey_row(const double* levels, std::size_t width, double margin, uint8_t* line,
                         uint32_t* listed);

// The grey bytes of levels with noise, pixel j drawing from the state
// `first` jumped j * noise.draws draws ahead (`first`: the generator after
// pixel 0's first draw); lists the columns whose noisy value lies within
// `margin` of an integer.
KernelRow noisy_grey_row(const Noise& noise, double margin, const double* levels, std::size_t width,
                         uint64_t first, uint8_t* line, uint32_t* listed);
