// The exported functions that take a handle. There is one static context; a
// null handle turns every function into a no-op.
#include <cstring>
#include <memory>
#include <utility>

#include "c_boundary.h"
#include "engine_image.h"
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

// Creates the four 8-bit planes (grey ramp) and the two 16-bit planes, all
// zero unless `cleared` is false. On failure every plane is released and
// false returned.
bool create_planes(ScnContext& context, int32_t width, int32_t height, bool cleared = true) {
  const ColourTable ramp = grey_ramp();
  for (int i = 0; i < kPlaneCount; ++i) {
    const int32_t type = i < PLANE_PHASE ? 1 : 2;
    context.planes[i] = cleared ? img_create(type, width, height) : img_create_unfilled(type, width, height);
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

// A record that img_create could not have made as an 8-bit image (a stride or
// size that does not match its sides) would be copied short or not at all.
bool is_8_bit_image(const GreyImage* image) {
  return image != nullptr && image->pixels != nullptr && image->type == 1 &&
         image->bytesPerPixel == 1 && image->width >= 1 && image->width <= kMaxImageSide &&
         image->height >= 1 && image->height <= kMaxImageSide &&
         image->stride == ((image->width + 3) & ~3) && image->size == image->stride * image->height;
}

}  // namespace

namespace {

// Makes `loaded` the source plane's picture, keeping the planes when the size
// is unchanged. A loaded image the caller gives up (`take`) hands over its
// pixel block instead of being copied; the plane keeps its colour table.
int32_t set_source_image(ScnContext& context, GreyImage* loaded, bool take) {
  const auto put = [&](GreyImage* source) {
    if (take) {
      std::swap(source->pixels, loaded->pixels);
      std::swap(source->allocated, loaded->allocated);
    } else {
      img_copy(source, loaded);
    }
  };
  GreyImage* source = context.planes[PLANE_SOURCE];
  if (source != nullptr && has_planes(context) && source->width == loaded->width &&
      source->height == loaded->height) {
    put(source);
    return SCN_OK;
  }
  destroy_planes(context);
  if (!create_planes(context, loaded->width, loaded->height)) return SCN_FAILED;
  put(context.planes[PLANE_SOURCE]);
  return SCN_OK;
}

}  // namespace

int32_t load_engine_image(ScnHandle handle, const GreyImage* loaded) {
  if (handle == nullptr || !is_8_bit_image(loaded)) return SCN_FAILED;
  return set_source_image(*handle, const_cast<GreyImage*>(loaded), false);
}

int32_t take_engine_image(ScnHandle handle, GreyImage* loaded) {
  if (handle == nullptr || !is_8_bit_image(loaded)) return SCN_FAILED;
  return set_source_image(*handle, loaded, true);
}

void save_engine_profile(ScnHandle handle, const char* profileFile, Durability durability) {
  if (handle == nullptr || profileFile == nullptr) return;
  save_profile(handle->profile, profileFile, durability);
}

bool make_processing_planes(ScnContext& context, int32_t width, int32_t height) {
  destroy_planes(context);
  return create_planes(context, width, height, false);
}

void release_engine_context(ScnContext& context) {
  mat_free(&context.profile);
  destroy_planes(context);
}

ScnHandle engine_init_for_processing() {
  if (!make_processing_planes(the_context, kInitialWidth, kInitialHeight)) return nullptr;
  return &the_context;
}

extern "C" {

ScnHandle scn_Init(void) noexcept {
  return at_c_boundary(ScnHandle{nullptr}, [] {
    // A second scn_Init before scn_Exit would otherwise lose the old planes.
    destroy_planes(the_context);
    return create_planes(the_context, kInitialWidth, kInitialHeight) ? &the_context : nullptr;
  });
}

void scn_Exit(ScnHandle handle) noexcept {
  if (handle == nullptr) return;
  at_c_boundary([handle] { release_engine_context(*handle); });
}

void scn_SetPar(ScnHandle handle, const ScnPar* par) noexcept {
  if (handle == nullptr || par == nullptr) return;
  std::memcpy(&handle->par, par, sizeof(ScnPar));
}

void scn_GetPar(ScnHandle handle, ScnPar* par) noexcept {
  if (handle == nullptr || par == nullptr) return;
  std::memcpy(par, &handle->par, sizeof(ScnPar));
}

int32_t scn_LoadImage(ScnHandle handle, const char* imageFile) noexcept {
  if (handle == nullptr) return SCN_FAILED;
  return at_c_boundary(int32_t{SCN_FAILED}, [handle, imageFile] {
    GreyImage* loaded = nullptr;
    const int code = img_load_bmp(&loaded, imageFile);
    const std::unique_ptr<GreyImage, void (*)(GreyImage*)> owned(loaded, &img_destroy);
    // The image was loaded for the engine alone: its pixels are taken over.
    return code == BMP_OK && is_8_bit_image(loaded) ? set_source_image(*handle, loaded, true) : int32_t{SCN_FAILED};
  });
}

void scn_ImageProcessing(ScnHandle handle) noexcept {
  if (handle == nullptr || !has_planes(*handle)) return;
  at_c_boundary([handle] { process_image(*handle); });
}

void scn_SetReference(ScnHandle handle) noexcept {
  if (handle == nullptr || !has_planes(*handle)) return;
  img_copy(handle->planes[PLANE_REFERENCE], handle->planes[PLANE_PHASE]);
}

void scn_ProfileCalculation(ScnHandle handle, int32_t withReference) noexcept {
  if (handle == nullptr || !has_planes(*handle)) return;
  at_c_boundary([handle, withReference] { calculate_profile(*handle, withReference); });
}

void scn_SaveProfile(ScnHandle handle, const char* profileFile) noexcept {
  // A failed write leaves no file and the old one in place, as any other.
  at_c_boundary([handle, profileFile] { save_engine_profile(handle, profileFile, Durability::synced); });
}

void scn_GetImageSize(ScnHandle handle, int32_t* width, int32_t* height) noexcept {
  const GreyImage* source = handle != nullptr ? handle->planes[PLANE_SOURCE] : nullptr;
  if (width != nullptr) *width = source != nullptr ? source->width : 0;
  if (height != nullptr) *height = source != nullptr ? source->height : 0;
}

void scn_ReadImageLine(ScnHandle handle, int32_t plane, int32_t line, uint8_t* buffer) noexcept {
  if (handle == nullptr || buffer == nullptr) return;
  if (plane < PLANE_SOURCE || plane > PLANE_SPARE) return;
  const GreyImage* image = handle->planes[plane];
  // The caller keeps to 0 <= line < height; an engine must not trust that.
  if (image == nullptr || line < 0 || line >= image->height) return;
  std::memcpy(buffer, img_line(image, line), static_cast<std::size_t>(image->width));
}

}  // extern "C"
