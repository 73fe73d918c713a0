// Camera pictures as the engine takes them: any BMP, PNG or TIFF picture the
// workbench reads, turned into the engine's 8-bit GreyImage.
//
// Kinds (taken from the file's first bytes, never from its name):
// * BMP, through the engine's own reader: 8-bit pictures as they are (the
//   index bytes, as the engine reads them), 24- and 32-bit ones converted to
//   grey. 16-bit bitmaps are refused.
// * PNG (libpng): grey, grey + alpha, RGB, RGBA and palette pictures with 8 or
//   16 bits per sample, interlaced or not. Grey with fewer than 8 bits per
//   sample is refused.
// * TIFF (libtiff): grey (min-is-black or min-is-white) or RGB, each with or
//   without an alpha sample, 8 or 16 bits of unsigned integer per sample,
//   uncompressed, LZW, Deflate or PackBits, in strips or tiles, samples
//   interleaved (a separate plane per sample only for grey). Orientations
//   top-left, top-right, bottom-right and bottom-left are honoured; the
//   quarter-turned ones are refused. Only the first picture of a file is read.
//
// Samples become grey levels as formats/grey_levels.h says.
//
// Orientation: the top row of a PNG or TIFF picture is the top of the camera
// picture, as the top row of a bitmap shown on screen is. The result is in
// the engine's order, row 0 the bottom row of the picture, so the same
// picture as BMP, PNG or TIFF gives the same image bytes and the same profile.
//
// Sizes: 1 to kMaxImageSide (4096) pixels on either side. A picture outside
// that is refused from its header, before any pixel memory is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "scan/grey_image.h"


enum class PictureKind { bmp, png, tiff, unknown };

// The kind of picture whose file begins with `bytes` (`count` of them; 8 are
// enough to tell): "BM", the PNG signature, or a TIFF header ("II*\0",
// "MM\0*", or the same with 43 for BigTIFF).
PictureKind picture_kind(const uint8_t* bytes, std::size_t count);

// Reads a camera picture into a new 8-bit image (type 1, the grey ramp as its
// colour table, rows in the engine's order). Throws FileError
// `Cannot open file "<file>"` when it cannot be opened, and
// `Cannot read file "<file>": <reason>` when it is not a picture of the kinds
// above, is cut short or corrupt, holds samples of another kind, or is too big
// for the engine; `reason` says which in words for the user.
GreyImageOwner read_camera_picture(const std::string& file);

// "the picture is 5000 x 20 pixels; the engine takes 1 to 4096 on either side",
// or empty when the engine can hold a picture of this size.
std::string size_refusal(uint64_t width, uint64_t height);
