// The exported functions that take a handle. There is one static context; a
// null handle turns every function into a no-op.
#include <cstring>
#include <utility>

#include "grey_image.h"
#include "image_processing.h"
#include "profile_calculation.h"
#include "profile_file.h"
#include "scan.h"
#include "scn_context.h"

namespace {

ScnContext the_context{};  // all zero and null at program start

constexpr int32_t kInitialWidth = 1280;
constexpr int32_t kInitialHeight = 1024;

// Destroys the planes in the order 5, 4, ..., 0.
void destroy_planes(ScnContext& context) {
  for (int i = kPlaneCount - 1; i >= 0; --i) {
    img_destroy(context.planes[i]);
    context.planes[i] = nullptr;
  }
}

// Creates the four 8-bit planes (grey ramp) and the two 16-bit planes.
// On failure every plane is released and false returned.
bool create_planes(ScnContext& context, int32_t width, int32_t height) {
  const ColourTable ramp = grey_ramp();
  for (int i = 0; i < kPlaneCount; ++i) {
    const int32_t type = i < PLANE_PHASE ? 1 : 2;
    context.planes[i] = img_create(type, width, height);
    if (context.planes[i] == nullptr) {
      destroy_planes(context);
      return false;
    }
    if (type == 1) img_set_color_table(context.planes[i], ramp.data());
  }
  return true;
}

bool has_planes(const ScnContext& context) {
  for (const GreyImage* plane : context.planes)
    if (plane == nullptr) return false;
  return true;
}

}  // namespace

extern "C" {

ScnHandle scn_Init(void) {
  // A second scn_Init before scn_Exit would otherwise lose the old planes.
  destroy_planes(the_context);
  if (!create_planes(the_context, kInitialWidth, kInitialHeight)) return nullptr;
  return &the_context;
}

void scn_Exit(ScnHandle handle) {
  if (handle == nullptr) return;
  mat_free(&handle->profile);
  destroy_planes(*handle);
}

void scn_SetPar(ScnHandle handle, const ScnPar* par) {
  if (handle == nullptr || par == nullptr) return;
  std::memcpy(&handle->par, par, sizeof(ScnPar));
}

void scn_GetPar(ScnHandle handle, ScnPar* par) {
  if (handle == nullptr || par == nullptr) return;
  std::memcpy(par, &handle->par, sizeof(ScnPar));
}

int32_t scn_LoadImage(ScnHandle handle, const char* imageFile) {
  if (handle == nullptr) return SCN_FAILED;
  GreyImage* loaded = nullptr;
  const int code = img_load_bmp(&loaded, imageFile);
  int32_t result = SCN_FAILED;
  if (code == BMP_OK && loaded != nullptr && loaded->type == 1) {
    GreyImage* source = handle->planes[PLANE_SOURCE];
    if (source != nullptr && has_planes(*handle) && source->width == loaded->width &&
        source->height == loaded->height) {
      // The loaded pixels become the source plane's (same type, size and
      // stride) instead of being copied; the colour table stays the plane's.
      std::swap(source->pixels, loaded->pixels);
      result = SCN_OK;
    } else {
      destroy_planes(*handle);
      if (create_planes(*handle, loaded->width, loaded->height)) {
        std::swap(handle->planes[PLANE_SOURCE]->pixels, loaded->pixels);
        result = SCN_OK;
      }
    }
  }
  img_destroy(loaded);
  return result;
}

void scn_ImageProcessing(ScnHandle handle) {
  if (handle == nullptr || !has_planes(*handle)) return;
  process_image(*handle);
}

void scn_SetReference(ScnHandle handle) {
  if (handle == nullptr || !has_planes(*handle)) return;
  img_copy(handle->planes[PLANE_REFERENCE], handle->planes[PLANE_PHASE]);
}

void scn_ProfileCalculation(ScnHandle handle, int32_t withReference) {
  if (handle == nullptr || !has_planes(*handle)) return;
  calculate_profile(*handle, withReference);
}

void scn_SaveProfile(ScnHandle handle, const char* profileFile) {
  if (handle == nullptr || profileFile == nullptr) return;
  save_profile(handle->profile, profileFile);
}

void scn_GetImageSize(ScnHandle handle, int32_t* width, int32_t* height) {
  const GreyImage* source = handle != nullptr ? handle->planes[PLANE_SOURCE] : nullptr;
  if (width != nullptr) *width = source != nullptr ? source->width : 0;
  if (height != nullptr) *height = source != nullptr ? source->height : 0;
}

void scn_ReadImageLine(ScnHandle handle, int32_t plane, int32_t line, uint8_t* buffer) {
  if (handle == nullptr || buffer == nullptr) return;
  if (plane < PLANE_SOURCE || plane > PLANE_SPARE) return;
  const GreyImage* image = handle->planes[plane];
  // The caller keeps to 0 <= line < height; an engine must not trust that.
  if (image == nullptr || line < 0 || line >= image->height) return;
  std::memcpy(buffer, img_line(image, line), static_cast<std::size_t>(image->width));
}

}  // extern "C"
