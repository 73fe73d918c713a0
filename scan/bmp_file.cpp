// Reading and writing Windows bitmap files: a 14-byte file header, a 40-byte
// information header, for 8-bit images a 256-entry colour table, then the rows
// bottom-up, each padded to 4 bytes. All header fields are little-endian and
// are taken apart byte by byte, so the host's byte order and struct layout do
// not matter.
#include "grey_image.h"

#include "common/open_file.h"
#include "common/replace_file.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::size_t kColourTableBytes = 1024;  // 256 entries of B, G, R, reserved
constexpr uint16_t kBmpMagic = 0x4D42;           // "BM"

// File header offsets.
constexpr std::size_t kFhType = 0;
constexpr std::size_t kFhFileSize = 2;
constexpr std::size_t kFhPixelOffset = 10;
// Information header offsets.
constexpr std::size_t kIhSize = 0;
constexpr std::size_t kIhWidth = 4;
constexpr std::size_t kIhHeight = 8;
constexpr std::size_t kIhPlanes = 12;
constexpr std::size_t kIhBitCount = 14;
constexpr std::size_t kIhCompression = 16;

uint16_t get_u16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t get_u32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// Two's complement, as the header stores it (a negative height means top-down rows).
int32_t get_i32(const uint8_t* bytes) { return static_cast<int32_t>(get_u32(bytes)); }

void put_u16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

void put_u32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool read_exactly(std::FILE* file, void* buffer, std::size_t count) {
  return std::fread(buffer, 1, count, file) == count;
}

// What the headers say about the pixels of a supported bitmap.
struct BmpLayout {
  int32_t bytes_per_pixel;
  int32_t width;
  int32_t height;
  uint32_t pixel_offset;  // bytes from the start of the file
};

// The one place that decides whether the headers describe a bitmap we read:
// "BM", one plane, no compression and 8, 16, 24 or 32 bits per pixel.
// Width and height are passed on unchecked; img_create judges them.
int check_headers(const uint8_t* file_header, const uint8_t* info_header, BmpLayout* layout) {
  if (get_u16(file_header + kFhType) != kBmpMagic) return BMP_UNSUPPORTED;
  if (get_u16(info_header + kIhPlanes) != 1) return BMP_UNSUPPORTED;
  if (get_u32(info_header + kIhCompression) != 0) return BMP_UNSUPPORTED;
  // A bit count that is not a whole number of bytes (1, 4, 12, 15, ...) packs
  // pixels differently from our rows, so it is refused rather than read as
  // the next lower byte count.
  const uint16_t bit_count = get_u16(info_header + kIhBitCount);
  if (bit_count % 8 != 0 || bit_count < 8 || bit_count > 32) return BMP_UNSUPPORTED;
  layout->bytes_per_pixel = bit_count / 8;
  layout->width = get_i32(info_header + kIhWidth);
  layout->height = get_i32(info_header + kIhHeight);
  layout->pixel_offset = get_u32(file_header + kFhPixelOffset);
  return BMP_OK;
}

// A record that img_create could not have produced is not an image we write.
bool is_valid_image(const GreyImage* image) {
  if (image->pixels == nullptr) return false;
  if (image->type < 1 || image->type > 4 || image->bytesPerPixel != image->type) return false;
  if (image->width < 1 || image->width > kMaxImageSide) return false;
  if (image->height < 1 || image->height > kMaxImageSide) return false;
  const int32_t stride = (image->width * image->bytesPerPixel + 3) & ~3;
  return image->stride == stride && image->size == stride * image->height;
}

}  // namespace

int img_load_bmp(GreyImage** result, const char* fileName) {
  if (result == nullptr || fileName == nullptr) return BMP_NULL_ARGUMENT;
  *result = nullptr;

  const OpenFile file(fileName, "rb");
  if (file.get() == nullptr) return BMP_CANNOT_OPEN;

  uint8_t file_header[kFileHeaderBytes];
  uint8_t info_header[kInfoHeaderBytes];
  if (!read_exactly(file.get(), file_header, sizeof file_header)) return BMP_IO_ERROR;
  if (!read_exactly(file.get(), info_header, sizeof info_header)) return BMP_IO_ERROR;

  BmpLayout layout{};
  const int checked = check_headers(file_header, info_header, &layout);
  if (checked != BMP_OK) return checked;

  // Not cleared: the read below fills every byte, and a load that fails
  // clears what it did not fill.
  GreyImage* image = img_create_unfilled(layout.bytes_per_pixel, layout.width, layout.height);
  if (image == nullptr) return BMP_NO_BUFFER;
  // From here on the caller owns the image, also when a later step fails.
  *result = image;
  const auto size = static_cast<std::size_t>(image->size);
  const auto fail_filled_from = [&](std::size_t filled) {
    std::memset(image->pixels + filled, 0, size - filled);
    return BMP_IO_ERROR;
  };

  if (image->type == 1) {
    // The table is taken from right behind the 40-byte header whatever the
    // header's size and colour count say; pixels come from the pixel offset.
    uint8_t table[kColourTableBytes];
    if (!read_exactly(file.get(), table, sizeof table)) return fail_filled_from(0);
    img_set_color_table(image, table);
  }

  if (layout.pixel_offset > static_cast<uint32_t>(LONG_MAX)) return fail_filled_from(0);
  if (std::fseek(file.get(), static_cast<long>(layout.pixel_offset), SEEK_SET) != 0) return fail_filled_from(0);
  // Seeking past the end succeeds; the short read reports it. The rows lie
  // in the file as in the image, padding included: one read takes them all.
  const std::size_t filled = std::fread(image->pixels, 1, size, file.get());
  if (filled != size) return fail_filled_from(filled);
  return BMP_OK;
}

int img_save_bmp(const GreyImage* image, const char* fileName, Durability durability) {
  if (image == nullptr || fileName == nullptr) return BMP_NULL_ARGUMENT;
  if (!is_valid_image(image)) return BMP_NULL_ARGUMENT;

  // At most 54 + 1024 + 4096 * 16384 bytes: every size fits 32 bits.
  const uint32_t stride = static_cast<uint32_t>(image->stride);
  const uint32_t pixel_offset = static_cast<uint32_t>(
      kFileHeaderBytes + kInfoHeaderBytes + (image->type == 1 ? kColourTableBytes : 0));
  const uint32_t pixel_bytes = static_cast<uint32_t>(image->height) * stride;

  uint8_t file_header[kFileHeaderBytes] = {};
  put_u16(file_header + kFhType, kBmpMagic);
  put_u32(file_header + kFhFileSize, pixel_offset + pixel_bytes);
  put_u32(file_header + kFhPixelOffset, pixel_offset);  // reserved words stay 0

  uint8_t info_header[kInfoHeaderBytes] = {};  // size of image, resolutions, colours: 0
  put_u32(info_header + kIhSize, static_cast<uint32_t>(kInfoHeaderBytes));
  put_u32(info_header + kIhWidth, static_cast<uint32_t>(image->width));
  put_u32(info_header + kIhHeight, static_cast<uint32_t>(image->height));  // positive: bottom-up
  put_u16(info_header + kIhPlanes, 1);
  put_u16(info_header + kIhBitCount, static_cast<uint16_t>(8 * image->bytesPerPixel));

  // Replaced whole (common/replace_file.h): a failed write leaves the earlier
  // bitmap as it was instead of a truncated one.
  FileReplacement file(fileName, durability);
  if (!file.open()) return BMP_CANNOT_OPEN;
  bool written = file.write(file_header, sizeof file_header) && file.write(info_header, sizeof info_header);
  if (written && image->type == 1) {
    uint8_t table[kColourTableBytes];
    img_get_color_table(image, table);
    written = file.write(table, sizeof table);
  }
  // The rows lie in memory as in the file, padding included.
  written = written && file.write(image->pixels, static_cast<std::size_t>(pixel_bytes));
  if (!written) return BMP_IO_ERROR;
  if (file.commit()) return BMP_OK;
  return file.write_failed() ? BMP_IO_ERROR : BMP_CANNOT_OPEN;
}
