#include "image_processing.h"

#include "round_clamped.h"

namespace {

// Centres and semi-axes are clamped to this many pixels: far beyond any
// image (4096 pixels), small enough for 32-bit arithmetic with the centre.
constexpr int32_t kFarPixels = 1 << 30;

bool has_shape(const GreyImage* image, int32_t type, const GreyImage* like) {
  return image != nullptr && image->type == type && image->width == like->width &&
         image->height == like->height;
}

}  // namespace

void process_image(ScnContext& context) {
  GreyImage* const source = context.planes[PLANE_SOURCE];
  GreyImage* const work = context.planes[PLANE_WORK];
  GreyImage* const mask = context.planes[PLANE_MASK];
  GreyImage* const phase = context.planes[PLANE_PHASE];
  if (source == nullptr || source->type != 1 || !has_shape(work, 1, source) ||
      !has_shape(mask, 1, source) || !has_shape(phase, 2, source))
    return;
  const ScnPar& par = context.par;
  const int32_t width = source->width;
  const int32_t height = source->height;

  // Pixel quantities from the parameters (mm over mm per pixel).
  const int32_t window = phase_window(par.LambdaF);
  const int32_t cx = round_clamped(par.MaskXOfs / par.CamResX, -kFarPixels, kFarPixels) + width / 2;
  const int32_t cy = round_clamped(par.MaskYOfs / par.CamResY, -kFarPixels, kFarPixels) + height / 2;
  const int32_t rx = round_clamped(par.MaskRadius / par.CamResX, -kFarPixels, kFarPixels);
  const int32_t ry = round_clamped(par.MaskRadius / par.CamResY, -kFarPixels, kFarPixels);

  // The first pass takes the source's pixels as it goes. Passes stop early
  // once one changes nothing: the rest would not either.
  if (par.NFilt > 0) {
    bool changed = smooth_binomial(work, source);
    for (int32_t pass = 1; changed && pass < par.NFilt && pass < kMaxSmoothingPasses; ++pass)
      changed = smooth_binomial(work);
  } else {
    img_copy(work, source);
  }
  fringe_phase(work, window, par.LambdaF);

  ellipse_mask(mask, cx, cy, rx, ry);
  clear_border_columns(mask, window / 2);
  if (par.FlawThr < 128) flaw_mask(mask, work, par.FlawThr);
  unwrap_orders(mask, work);
  combine_phase(phase, mask, work);
}
