#include "scan_engine.h"

#include "engine_image.h"
#include "image_processing.h"
#include "profile_calculation.h"
#include "scn_matrix.h"

ScanEngine::ScanEngine() = default;

ScanEngine::~ScanEngine() { release_engine_context(context_); }

namespace {

bool has_planes(const ScnContext& context) {
  for (const GreyImage* plane : context.planes)
    if (plane == nullptr) return false;
  return true;
}

}  // namespace

ScanEngine::Outcome ScanEngine::scan(GreyImage& picture, const ScnPar& par, GreyImage* reference) {
  mat_free(&context_.profile);
  context_.par = par;
  // Processing writes every pixel of the planes it uses before reading it
  // (engine_image.h), so the first planes need not be cleared; a picture of
  // another size makes new planes as loading does.
  const auto take = [&](GreyImage& image) {
    if (!has_planes(context_) && !make_processing_planes(context_, image.width, image.height)) return false;
    return take_engine_image(&context_, &image) == SCN_OK;
  };
  int32_t with_reference = 0;
  if (reference != nullptr) {
    if (!take(*reference)) return Outcome::reference_refused;
    process_image(context_);
    scn_SetReference(&context_);
    with_reference = 1;
  }
  if (!take(picture)) return Outcome::picture_refused;
  process_image(context_);
  calculate_profile(context_, with_reference);
  return Outcome::scanned;
}
