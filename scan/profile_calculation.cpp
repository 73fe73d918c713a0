#include "profile_calculation.h"

double effective_depth_limit(double depthLimit) {
  return std::fabs(depthLimit) <= static_cast<double>(FLT_MAX) ? depthLimit : kFallbackDepthLimit;
}

void calculate_profile(ScnContext& context, int32_t withReference) {
  const GreyImage* phase = context.planes[PLANE_PHASE];
  // A context whose planes could not be re-created has nothing to calculate.
  if (phase == nullptr || phase->type != 2) return;
  const ScnPar& par = context.par;
  const int32_t width = phase->width;
  const int32_t height = phase->height;

  // One profile point per 4 x 4 block; the last width mod 4 columns and
  // height mod 4 rows are not used.
  mat_free(&context.profile);
  if (mat_create(&context.profile, width / 4, height / 4, 4 * par.CamResX, 4 * par.CamResY) != 0) {
    mat_free(&context.profile);
    return;
  }
  ScnMatrix full{};
  if (mat_create(&full, width, height, par.CamResX, par.CamResY) != 0) {
    mat_free(&context.profile);
    return;
  }
  if (withReference != 0)
    height_map_reference(full, phase, context.planes[PLANE_REFERENCE], par);
  else
    height_map(full, phase, par);
  if (block_fit(full, context.profile, 4, par.DepthLimit) != 0) mat_free(&context.profile);
  mat_free(&full);
}
