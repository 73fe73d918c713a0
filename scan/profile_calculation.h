// Heights by triangulation and their reduction to a grid by quadric fits.
#pragma once

#include "grey_image.h"
#include "scn_context.h"
#include "scn_matrix.h"

// Absolute heights against a straight pattern of period LambdaF.
void height_map(ScnMatrix& full, const GreyImage* phase, const ScnPar& par);
// Heights relative to the reference phase.
void height_map_reference(ScnMatrix& full, const GreyImage* phase,
                          const GreyImage* reference, const ScnPar& par);
// Reduces each s x s block to the constant term of a least-squares quadric.
void block_fit(const ScnMatrix& full, ScnMatrix& out, int32_t s, double limit);
// Householder least squares on an n x (m + 1) row-major matrix `a` (right-hand
// side in column m). Returns 1 with the solution in column m of rows 0..m-1.
int solve_least_squares(double* a, int32_t n, int32_t m);

// The whole calculation on the context: replaces context.profile.
void calculate_profile(ScnContext& context, int32_t withReference);
