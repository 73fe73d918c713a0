// img_load_bmp on arbitrary file bytes. Beyond "no crash, no out-of-bounds
// access", every outcome must be one of the loader's codes with a result that
// matches it, a loaded image must be well formed in every byte, and an image
// that loads must save and load back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_addressable.h"
#include "fuzz_work_dir.h"
#include "scan/grey_image.h"

namespace {

// Every row must lie in the image's buffer, so that a buffer smaller than
// the header fields promise is found.
void check_rows_addressable(const GreyImage* image) {
  for (int32_t row = 0; row < image->height; ++row)
    require_addressable(img_line(image, row), static_cast<std::size_t>(image->stride));
}

void check_shape(const GreyImage* image) {
  if (image->type < 1 || image->type > 4 || image->bytesPerPixel != image->type)
    fuzz_fail("pixel kind out of range");
  if (image->width < 1 || image->width > kMaxImageSide || image->height < 1 ||
      image->height > kMaxImageSide)
    fuzz_fail("image side out of range");
  if (image->stride != ((image->width * image->type + 3) & ~3) ||
      image->size != image->stride * image->height)
    fuzz_fail("stride or size inconsistent");
}

bool same_image(const GreyImage* a, const GreyImage* b) {
  if (a->type != b->type || a->width != b->width || a->height != b->height) return false;
  if (std::memcmp(a->pixels, b->pixels, static_cast<std::size_t>(a->size)) != 0) return false;
  // Only the 8-bit kind stores its colour table in the file.
  return a->type != 1 || a->colours == b->colours;
}

// A loaded image written back and read again must come out the same.
void check_round_trip(const GreyImage* image) {
  const std::string copy = fuzz_work_file("copy.bmp");
  if (img_save_bmp(image, copy.c_str()) != BMP_OK) fuzz_fail("a loaded image does not save");
  GreyImage* again = nullptr;
  const int code = img_load_bmp(&again, copy.c_str());
  if (code != BMP_OK || again == nullptr) fuzz_fail("a saved image does not load");
  if (!same_image(image, again)) fuzz_fail("save and load changed the image");
  img_destroy(again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = fuzz_work_file("input.bmp");
  write_work_file(file, data, size);

  // The loader must set the result on every way out; a stale pointer left
  // behind would be destroyed by its caller.
  static GreyImage not_set{};
  GreyImage* image = &not_set;
  const int code = img_load_bmp(&image, file.c_str());
  if (image == &not_set) fuzz_fail("result not set");
  switch (code) {
    case BMP_OK:
      if (image == nullptr) fuzz_fail("success without an image");
      break;
    case BMP_IO_ERROR:
      // Before the image exists (short headers) it is null; after, the
      // caller owns a complete image whose rows may be partly filled.
      break;
    case BMP_UNSUPPORTED:
    case BMP_NO_BUFFER:
      if (image != nullptr) fuzz_fail("an image with a header failure");
      break;
    default:
      fuzz_fail("unexpected loader code");
  }
  if (image != nullptr) {
    check_shape(image);
    check_rows_addressable(image);
    if (code == BMP_OK) check_round_trip(image);
  }
  img_destroy(image);
  clear_work_dir();
  return 0;
}
