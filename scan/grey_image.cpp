#include "grey_image.h"

#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// Released pixel blocks, kept for the next image of the same size. A
// measurement makes and drops images of the camera size again and again
// (the six planes of every scan, each loaded or synthesised picture), and
// memory fresh from the system costs a page fault per 4 KiB on first touch,
// which takes longer than clearing a block that is already mapped. Blocks
// below 64 KiB come cheaply from the heap and are not kept; at most
// kKeptBlocks blocks and kKeptBytes bytes are kept.
constexpr std::size_t kSmallBlock = std::size_t{1} << 16;
constexpr std::size_t kKeptBlocks = 8;
constexpr std::size_t kKeptBytes = std::size_t{64} << 20;

struct KeptBlock {
  uint8_t* pixels = nullptr;
  std::size_t size = 0;
};

class BlockPool {
 public:
  // A kept block of exactly `size` bytes, cleared when asked, or null.
  uint8_t* take(std::size_t size, bool cleared) {
    if (size < kSmallBlock) return nullptr;
    uint8_t* pixels = nullptr;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (KeptBlock& block : blocks_) {
        if (block.pixels != nullptr && block.size == size) {
          pixels = block.pixels;
          block = {};
          bytes_ -= size;
          break;
        }
      }
    }
    if (pixels != nullptr && cleared) std::memset(pixels, 0, size);
    return pixels;
  }
  // Keeps the block if there is room, else frees it.
  void give(uint8_t* pixels, std::size_t size) {
    if (pixels == nullptr) return;
    if (size >= kSmallBlock) {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (bytes_ + size <= kKeptBytes) {
        for (KeptBlock& block : blocks_) {
          if (block.pixels == nullptr) {
            block = {pixels, size};
            bytes_ += size;
            return;
          }
        }
      }
    }
    std::free(pixels);
  }
  // Frees every kept block.
  void release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (KeptBlock& block : blocks_) {
      std::free(block.pixels);
      block = {};
    }
    bytes_ = 0;
  }

 private:
  std::mutex mutex_;
  std::array<KeptBlock, kKeptBlocks> blocks_{};
  std::size_t bytes_ = 0;
};

BlockPool& block_pool() {
  static BlockPool* pool = new BlockPool;  // never destroyed: images may outlive statics
  return *pool;
}

}  // namespace

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

namespace {

GreyImage* make_image(int32_t type, int32_t width, int32_t height, bool cleared) {
  if (type < 1 || type > 4) return nullptr;
  if (width < 1 || width > kMaxImageSide || height < 1 || height > kMaxImageSide) return nullptr;
  // At most 4 * 4096 * 4096 = 64 MiB: the sizes fit 32 bits.
  const int32_t stride = (width * type + 3) & ~3;
  const int32_t size = stride * height;
  auto* image = new (std::nothrow) GreyImage{};
  if (image == nullptr) return nullptr;
  // A kept block or a new one from calloc, which is zero already.
  const auto bytes = static_cast<std::size_t>(size);
  image->pixels = block_pool().take(bytes, cleared);
  if (image->pixels == nullptr) image->pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
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
  image->allocated = bytes;
  return image;
}

}  // namespace

GreyImage* img_create(int32_t type, int32_t width, int32_t height) {
  return make_image(type, width, height, true);
}

GreyImage* img_create_unfilled(int32_t type, int32_t width, int32_t height) {
  return make_image(type, width, height, false);
}

GreyImage* img_create_rows_unfilled(int32_t type, int32_t width, int32_t height) {
  GreyImage* image = make_image(type, width, height, false);
  if (image == nullptr) return nullptr;
  const int32_t used = width * type;
  if (image->stride > used)
    for (int32_t row = 0; row < height; ++row)
      std::memset(img_line(image, row) + used, 0, static_cast<std::size_t>(image->stride - used));
  return image;
}

void img_release_kept_blocks() { block_pool().release(); }

void img_destroy(GreyImage* image) {
  if (image == nullptr) return;
  block_pool().give(image->pixels, image->allocated);
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
