#include "grey_image.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

ColourTable grey_ramp() {
  ColourTable table{};
  for (int i = 0; i < 256; ++i) {
    table[4 * i + 0] = static_cast<uint8_t>(i);
    table[4 * i + 1] = static_cast<uint8_t>(i);
    table[4 * i + 2] = static_cast<uint8_t>(i);
    table[4 * i + 3] = 0;
  }
  return table;
}

GreyImage* img_create(int32_t type, int32_t width, int32_t height) {
  if (type < 1 || type > 4) return nullptr;
  if (width < 1 || width > kMaxImageSide || height < 1 || height > kMaxImageSide) return nullptr;
  // At most 4 * 4096 * 4096 = 64 MiB: the sizes fit 32 bits.
  const int32_t stride = (width * type + 3) & ~3;
  const int32_t size = stride * height;
  auto* image = new (std::nothrow) GreyImage{};
  if (image == nullptr) return nullptr;
  // calloc rather than a zeroed new[]: memory fresh from the system is
  // already zero and stays untouched until it is written, so a plane that is
  // never written (the spare plane, the reference plane without a
  // reference) costs neither the clearing nor its page faults.
  image->pixels = static_cast<uint8_t*>(std::calloc(static_cast<std::size_t>(size), 1));
  if (image->pixels == nullptr) {
    delete image;
    return nullptr;
  }
  image->type = type;
  image->bytesPerPixel = type;
  image->width = width;
  image->height = height;
  image->stride = stride;
  image->size = size;
  image->colours = grey_ramp();
  return image;
}

void img_destroy(GreyImage* image) {
  if (image == nullptr) return;
  std::free(image->pixels);
  delete image;
}

uint8_t* img_line(const GreyImage* image, int32_t row) {
  return image->pixels + static_cast<std::ptrdiff_t>(row) * image->stride;
}

void img_copy(GreyImage* destination, const GreyImage* source) {
  if (destination == nullptr || source == nullptr) return;
  if (destination->type != source->type || destination->size != source->size ||
      destination->width != source->width || destination->height != source->height)
    return;
  std::memcpy(destination->pixels, source->pixels, static_cast<std::size_t>(source->size));
}

void img_set_color_table(GreyImage* image, const uint8_t* table) {
  if (image == nullptr || image->type != 1 || table == nullptr) return;
  std::memcpy(image->colours.data(), table, image->colours.size());
}

void img_get_color_table(const GreyImage* image, uint8_t* table) {
  if (image == nullptr || image->type != 1 || table == nullptr) return;
  std::memcpy(table, image->colours.data(), image->colours.size());
}
