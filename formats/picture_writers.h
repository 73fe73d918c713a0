// Pictures written as PNG (libpng) and TIFF (libtiff). The height export
// writes its colour map as PNG; the tests, the benchmarks and the fuzzing
// seeds make their camera pictures in every layout the readers take with
// these writers.
#pragma once

#include <string>

#include "formats/sample_image.h"

// The PNG file of the samples: grey, grey + alpha, RGB or RGBA after the
// channel count, 8 or 16 bits, not interlaced, zlib's compression level 3.
// Throws std::invalid_argument for a sample image that describes no picture
// (a side below 1 or above kMaxImageSide, channels outside 1..4, bits not 8
// or 16, a sample count that does not match) and std::runtime_error when
// libpng fails (memory).
std::string png_bytes(const SampleImage& image);

enum class TiffCompression { none, lzw, deflate, packbits };

struct TiffLayout {
  TiffCompression compression = TiffCompression::none;
  bool predictor = false;  // horizontal differencing (LZW and Deflate only)
  int tile_side = 0;       // 0: strips; otherwise square tiles, a multiple of 16
  int rows_per_strip = 0;  // 0: libtiff's choice (about 8 KiB per strip)
  bool big_endian = false; // "MM" instead of "II"
};

// The TIFF file of the samples: one picture, min-is-black grey or RGB after
// the channel count, a second or fourth sample marked as alpha, top row
// first. Throws like png_bytes, and std::invalid_argument for a tile side
// that is not a positive multiple of 16.
std::string tiff_bytes(const SampleImage& image, const TiffLayout& layout = {});

// png_bytes written whole through common/replace_file.h. Throws FileError
// `Cannot create file "<file>"` when it cannot be written; an earlier file
// of that name is then left as it was.
void save_png(const SampleImage& image, const std::string& file);
