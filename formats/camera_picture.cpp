#include "formats/camera_picture.h"

#include <cstdio>
#include <cstring>

#include "common/errors.h"
#include "common/open_file.h"
#include "formats/grey_levels.h"
#include "formats/picture_readers.h"

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool starts_with(const uint8_t* bytes, std::size_t count, const void* prefix, std::size_t length) {
  return count >= length && std::memcmp(bytes, prefix, length) == 0;
}

FileError unreadable(const std::string& file, const std::string& reason) {
  return file_error(FileAction::read, file, ": " + reason);
}

}  // namespace

PictureKind picture_kind(const uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr) return PictureKind::unknown;
  if (starts_with(bytes, count, "BM", 2)) return PictureKind::bmp;
  if (starts_with(bytes, count, kPngSignature, sizeof kPngSignature)) return PictureKind::png;
  // Classic TIFF (42) and BigTIFF (43), either byte order.
  if (starts_with(bytes, count, "II*\0", 4) || starts_with(bytes, count, "MM\0*", 4) ||
      starts_with(bytes, count, "II+\0", 4) || starts_with(bytes, count, "MM\0+", 4))
    return PictureKind::tiff;
  return PictureKind::unknown;
}

std::string size_refusal(uint64_t width, uint64_t height) {
  if (width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide) return {};
  return "the picture is " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels; the engine takes 1 to " + std::to_string(kMaxImageSide) + " on either side";
}

GreyImageOwner read_camera_picture(const std::string& file) { return read_any_picture(file, SampleDepth::eight); }

GreyImageOwner read_any_picture(const std::string& file, SampleDepth depth) {
  uint8_t head[8] = {};
  std::size_t count = 0;
  {
    const OpenFile stream(file, "rb");
    if (stream.get() == nullptr) throw file_error(FileAction::open, file);
    count = std::fread(head, 1, sizeof head, stream.get());
    // A directory opens on Linux and fails on its first read.
    if (std::ferror(stream.get())) throw file_error(FileAction::read, file);
  }
  switch (picture_kind(head, count)) {
    case PictureKind::bmp:
      return read_bmp_picture(file);
    case PictureKind::png:
      return read_png_picture(file, depth);
    case PictureKind::tiff:
      return read_tiff_picture(file, depth);
    case PictureKind::unknown:
      break;
  }
  throw unreadable(file, count == 0 ? "the file is empty"
                                    : "neither a BMP, a PNG nor a TIFF picture");
}

GreyImageOwner read_bmp_picture(const std::string& file) {
  GreyImage* loaded = nullptr;
  const int code = img_load_bmp(&loaded, file.c_str());
  GreyImageOwner image(loaded);  // ours even when loading failed part way
  switch (code) {
    case BMP_OK:
      break;
    case BMP_CANNOT_OPEN:
      throw file_error(FileAction::open, file);
    case BMP_UNSUPPORTED:
      throw unreadable(file, "not a bitmap the engine reads (uncompressed, 8, 24 or 32 bits per pixel)");
    case BMP_NO_BUFFER:
      throw unreadable(file, "the bitmap's size lies outside 1 to " + std::to_string(kMaxImageSide) +
                                 " pixels on either side, or memory ran out");
    default:
      throw unreadable(file, "the file ends before the last pixel row (cut short)");
  }
  if (image->type == 1) {
    // The engine reads the index bytes whatever the colour table says.
    image->colours = grey_ramp();
    return image;
  }
  if (image->type == 2) throw unreadable(file, "16-bit bitmaps are not supported");

  GreyImageOwner grey(img_create(1, image->width, image->height));
  if (grey == nullptr) throw unreadable(file, "out of memory");
  // Bitmap pixels are blue, green, red (and a fourth byte); rows already in
  // the engine's order.
  const int bytes = image->type;
  for (int32_t row = 0; row < image->height; ++row) {
    const uint8_t* source = img_line(image.get(), row);
    uint8_t* target = img_line(grey.get(), row);
    for (int32_t x = 0; x < image->width; ++x, source += bytes)
      target[x] = grey_from_rgb8(source[2], source[1], source[0]);
  }
  return grey;
}
