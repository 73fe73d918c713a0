// Image buffers of the engine and their Windows bitmap files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/replace_file.h"

// Return codes of img_load_bmp and img_save_bmp.
enum BmpCode : int {
  BMP_OK = 0,
  BMP_CANNOT_OPEN = -1,   // the file cannot be opened
  BMP_IO_ERROR = -2,      // a read, write or seek failed or came up short
  BMP_UNSUPPORTED = -3,   // not a supported bitmap (loading only)
  BMP_NO_BUFFER = -4,     // the image buffer cannot be created (loading only)
  BMP_NULL_ARGUMENT = -9  // null image, result reference or file name
};

constexpr int32_t kMaxImageSide = 4096;

// 256 entries of blue, green, red, reserved.
using ColourTable = std::array<uint8_t, 1024>;

// A rectangle of 1 to 4 bytes per pixel. Rows are padded to 4 bytes; row 0 is
// the first row of a bitmap file, i.e. the bottom row of the picture.
// The 16-bit kind holds one unsigned 16-bit value per pixel in machine order.
struct GreyImage {
  int32_t type;           // bytes per pixel, 1..4
  int32_t bytesPerPixel;  // equal to type
  int32_t width;          // 1..4096
  int32_t height;         // 1..4096
  int32_t stride;         // width * bytesPerPixel rounded up to 4
  int32_t size;           // stride * height
  uint8_t* pixels;        // size bytes, owned
  ColourTable colours;    // grey ramp unless set
  std::size_t allocated;  // bytes behind pixels as img_create made them
};

// Returns a new image with the grey ramp, or null for a bad type or size or
// when memory runs out. Pixels start zeroed.
GreyImage* img_create(int32_t type, int32_t width, int32_t height);
// The same for a caller that writes every pixel before any is read: the
// pixels hold whatever a reused block held (clearing a camera-sized block
// costs about a tenth of a millisecond).
GreyImage* img_create_unfilled(int32_t type, int32_t width, int32_t height);
// The same for a caller that writes every pixel of every row but not the
// padding bytes at the row ends (which a bitmap file holds): those are zero.
GreyImage* img_create_rows_unfilled(int32_t type, int32_t width, int32_t height);
void img_destroy(GreyImage* image);

struct GreyImageDeleter {
  void operator()(GreyImage* image) const { img_destroy(image); }
};
// A GreyImage that is destroyed with its owner.
using GreyImageOwner = std::unique_ptr<GreyImage, GreyImageDeleter>;
// Frees the pixel blocks kept for reuse by later images of the same size
// (a program done with pictures of one size gives their memory back).
void img_release_kept_blocks();
// Address of the first byte of row `row`; no range check.
uint8_t* img_line(const GreyImage* image, int32_t row);
// Copies the pixels when both images have the same type, size, width, height.
void img_copy(GreyImage* destination, const GreyImage* source);
void img_set_color_table(GreyImage* image, const uint8_t* table);
void img_get_color_table(const GreyImage* image, uint8_t* table);
// The grey ramp: entry i is (i, i, i, 0).
ColourTable grey_ramp();

// Loads an uncompressed bitmap of 8, 16, 24 or 32 bits per pixel into an image
// of that many bytes per pixel (rows in file order). Returns a BmpCode. On
// return *result is the new image or null; once created the image belongs to
// the caller even when a later step failed (-2 for a short colour table or
// short rows).
int img_load_bmp(GreyImage** result, const char* fileName);
// Writes the image as a bitmap with a 40-byte information header, for type 1
// followed by its colour table. Returns a BmpCode; -2 also when the data
// cannot be flushed to the file on closing. A record that img_create could
// not have made counts as no image (-9).
// Writes through a temporary file beside the target and renames it over the
// target, so a failed write leaves an earlier file as it was.
// How the new file waits for the disk: synced for pictures users keep, not
// for the chain's working pictures (common/replace_file.h).
int img_save_bmp(const GreyImage* image, const char* fileName, Durability durability = Durability::synced);
