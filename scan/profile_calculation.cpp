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
  // The heights of one band of 4 rows at a time, fitted at once: the same
  // heights and fits as for a whole height grid, without holding one.
  constexpr int32_t kBlock = 4;
  ScnMatrix band{};
  if (mat_create(&band, width, kBlock, par.CamResX, par.CamResY) != 0) {
    mat_free(&context.profile);
    return;
  }
  static const GreyImage kNoReference{};
  const GreyImage* reference = context.planes[PLANE_REFERENCE];
  const HeightRow heights(par, phase,
                          withReference == 0 ? nullptr : reference != nullptr ? reference : &kNoReference);
  BlockFitter fitter(kBlock, par.DepthLimit, context.profile.rows > 0 ? context.profile.cols : 0);
  if (!fitter.ready()) {
    mat_free(&band);
    mat_free(&context.profile);
    return;
  }
  for (int32_t bi = 0; bi < context.profile.rows; ++bi) {
    for (int32_t l = 0; l < kBlock; ++l) heights(bi * kBlock + l, band.values[l], width);
    fitter.fit_band(band.values, context.profile.values[bi], context.profile.cols);
  }
  fitter.finish();
  mat_free(&band);
}
