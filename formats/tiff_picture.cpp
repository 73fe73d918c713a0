// TIFF pictures through libtiff.
//
// libtiff reports errors through the handler given when the file is opened
// and by its return values; nothing jumps. The handler keeps the first error
// for the message; warnings (unknown tags, say) are dropped. libtiff's own
// allocation limit bounds what a forged header can make it reserve.
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/errors.h"
#include "formats/grey_levels.h"
#include "formats/picture_readers.h"

namespace {

// Largest single block libtiff may allocate: a whole strip or tile of the
// biggest picture we take (4096 x 4096 pixels of four 16-bit samples) fits.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{4096} * 4096 * 4 * 2;

struct Messages {
  char error[256];  // the first one
};

int on_error(TIFF*, void* user_data, const char* module, const char* format, va_list arguments) {
  auto* messages = static_cast<Messages*>(user_data);
  if (messages->error[0] != '\0') return 1;
  char text[200];
  std::vsnprintf(text, sizeof text, format, arguments);
  if (module != nullptr && module[0] != '\0')
    std::snprintf(messages->error, sizeof messages->error, "%s: %s", module, text);
  else
    std::snprintf(messages->error, sizeof messages->error, "%s", text);
  return 1;  // handled: nothing goes to stderr
}

int on_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

class TiffFile {
 public:
  explicit TiffFile(const std::string& name) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxTiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, on_error, &messages_);
    TIFFOpenOptionsSetWarningHandlerExtR(options, on_warning, nullptr);
    tiff_ = TIFFOpenExt(name.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
  }
  ~TiffFile() {
    if (tiff_ != nullptr) TIFFClose(tiff_);
  }
  TiffFile(const TiffFile&) = delete;
  TiffFile& operator=(const TiffFile&) = delete;

  TIFF* get() const { return tiff_; }
  // libtiff's first error, in parentheses after a blank, or nothing.
  std::string error() const {
    return messages_.error[0] != '\0' ? std::string(" (") + messages_.error + ")" : std::string();
  }

 private:
  Messages messages_{};
  TIFF* tiff_ = nullptr;
};

// What the first directory says about the samples, once checked.
struct Layout {
  uint32_t width = 0;
  uint32_t height = 0;
  int channels = 1;        // 1..4 interleaved samples per pixel
  SampleLayout samples = SampleLayout::bytes;
  bool min_is_white = false;
  bool bottom_up = false;  // orientations 3 and 4: the first row is the bottom one
  bool mirrored = false;   // orientations 2 and 3: the first column is the right one
  bool uncompressed = false;
};

template <typename T>
T field_or(TIFF* tiff, uint32_t tag, T fallback) {
  T value = fallback;
  return TIFFGetFieldDefaulted(tiff, tag, &value) == 1 ? value : fallback;
}

// The reason the picture is refused, or empty when we read it.
std::string check_layout(TIFF* tiff, Layout& layout) {
  if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width) != 1 ||
      TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.height) != 1)
    return "the picture has no width or height";
  std::string refusal = size_refusal(layout.width, layout.height);
  if (!refusal.empty()) return refusal;

  const auto channels = field_or<uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  const auto bits = field_or<uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  const auto format = field_or<uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  const auto planar = field_or<uint16_t>(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  const auto compression = field_or<uint16_t>(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  const auto orientation = field_or<uint16_t>(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  uint16_t photometric = 0;
  if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1)
    photometric = channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;

  if (channels < 1 || channels > 4)
    return std::to_string(channels) + " samples per pixel are not supported (1 to 4)";
  if (format == SAMPLEFORMAT_IEEEFP) return "floating-point samples are not supported";
  if (format == SAMPLEFORMAT_INT) return "signed integer samples are not supported";
  if (format != SAMPLEFORMAT_UINT) return "sample format " + std::to_string(format) + " is not supported";
  if (bits != 8 && bits != 16)
    return std::to_string(bits) + "-bit samples are not supported (8 or 16 bits)";
  switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
      if (channels > 2) return "a grey picture with " + std::to_string(channels) + " samples per pixel";
      break;
    case PHOTOMETRIC_RGB:
      if (channels < 3) return "an RGB picture with " + std::to_string(channels) + " samples per pixel";
      break;
    case PHOTOMETRIC_PALETTE:
      return "colour-mapped (palette) TIFF pictures are not supported";
    default:
      return "photometric interpretation " + std::to_string(photometric) +
             " is not supported (grey or RGB)";
  }
  if (planar != PLANARCONFIG_CONTIG && channels > 1)
    return "samples stored in separate planes are not supported";
  switch (compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS:
      break;
    default:
      return "compression " + std::to_string(compression) +
             " is not supported (none, LZW, Deflate or PackBits)";
  }
  if (orientation >= ORIENTATION_LEFTTOP && orientation <= ORIENTATION_LEFTBOT)
    return "pictures turned by a quarter (orientation " + std::to_string(orientation) +
           ") are not supported";

  layout.uncompressed = compression == COMPRESSION_NONE;
  layout.channels = channels;
  layout.samples = bits == 16 ? SampleLayout::words : SampleLayout::bytes;
  layout.min_is_white = photometric == PHOTOMETRIC_MINISWHITE;
  layout.bottom_up = orientation == ORIENTATION_BOTRIGHT || orientation == ORIENTATION_BOTLEFT;
  layout.mirrored = orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT;
  return {};
}

// The engine's row for the picture's row y as stored.
uint8_t* engine_row(GreyImage* image, const Layout& layout, uint32_t y) {
  const auto row = static_cast<int32_t>(layout.bottom_up ? y : layout.height - 1 - y);
  return img_line(image, row);
}

// `count` pixels' levels into `grey`, at the image's depth.
void grey_row_into(const uint8_t* samples, const Layout& layout, std::size_t count, const GreyImage* image,
                   uint8_t* grey) {
  if (image->type == 2)
    grey_row16(samples, layout.samples, layout.channels, count, reinterpret_cast<uint16_t*>(grey));
  else
    grey_row(samples, layout.samples, layout.channels, count, grey);
}

// Strips, row by row: libtiff decodes each strip as the rows are asked for,
// so one row of memory serves any strip size.
bool read_strips(TIFF* tiff, const Layout& layout, GreyImage* image) {
  const tmsize_t row_bytes = TIFFScanlineSize(tiff);
  if (row_bytes <= 0) return false;
  std::vector<uint8_t> row(static_cast<std::size_t>(row_bytes));
  for (uint32_t y = 0; y < layout.height; ++y) {
    if (TIFFReadScanline(tiff, row.data(), y, 0) < 0) return false;
    grey_row_into(row.data(), layout, layout.width, image, engine_row(image, layout, y));
  }
  return true;
}

bool read_tiles(TIFF* tiff, const Layout& layout, GreyImage* image) {
  uint32_t tile_width = 0;
  uint32_t tile_height = 0;
  if (TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tile_width) != 1 ||
      TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tile_height) != 1 || tile_width == 0 ||
      tile_height == 0 || tile_width > kMaxImageSide || tile_height > kMaxImageSide)
    return false;
  const tmsize_t tile_bytes = TIFFTileSize(tiff);
  const tmsize_t tile_row_bytes = TIFFTileRowSize(tiff);
  if (tile_bytes <= 0 || tile_row_bytes <= 0) return false;
  // Only the tile rows that lie in the picture are decoded: a tile may reach
  // far below a short picture (a forged 4096-row tile over a 257-row picture
  // asked for 128 MB from a file of a few hundred bytes). Not zeroed: libtiff
  // fills it, and a forged tile size costs no memory until then.
  const auto rows_bytes = [&](uint32_t rows) {
    return std::min(tile_bytes, static_cast<tmsize_t>(rows) * tile_row_bytes);
  };
  const std::unique_ptr<uint8_t[]> tile(
      new uint8_t[static_cast<std::size_t>(rows_bytes(std::min(tile_height, layout.height)))]);
  for (uint32_t y0 = 0; y0 < layout.height; y0 += tile_height) {
    const uint32_t rows = std::min(tile_height, layout.height - y0);
    const tmsize_t wanted = rows_bytes(rows);
    for (uint32_t x0 = 0; x0 < layout.width; x0 += tile_width) {
      const uint32_t columns = std::min(tile_width, layout.width - x0);
      const uint32_t index = TIFFComputeTile(tiff, x0, y0, 0, 0);
      if (TIFFReadEncodedTile(tiff, index, tile.get(), wanted) != wanted) return false;
      for (uint32_t k = 0; k < rows; ++k) {
        grey_row_into(tile.get() + static_cast<std::size_t>(k) * static_cast<std::size_t>(tile_row_bytes),
                      layout, columns, image,
                      engine_row(image, layout, y0 + k) + static_cast<std::size_t>(x0) * image->type);
      }
    }
  }
  return true;
}

}  // namespace

GreyImageOwner read_tiff_picture(const std::string& file, SampleDepth depth) {
  const auto refuse = [&file](const std::string& reason) {
    return file_error(FileAction::read, file, ": " + reason);
  };
  const TiffFile tiff(file);
  if (tiff.get() == nullptr) throw refuse("not a readable TIFF picture" + tiff.error());
  Layout layout;
  const std::string refusal = check_layout(tiff.get(), layout);
  if (!refusal.empty()) throw refuse(refusal);

  // An uncompressed picture's samples are stored as they are: a header that
  // promises more than the file holds is refused before its rows are made
  // (a forged 4096 x 2816 picture of 16-bit RGBA tiles asked for 92 MB of
  // tile and 12 MB of image from a file of 166 bytes).
  struct stat info {};
  if (layout.uncompressed && ::fstat(TIFFFileno(tiff.get()), &info) == 0 && S_ISREG(info.st_mode)) {
    const auto sample_bytes = static_cast<uint64_t>(layout.samples == SampleLayout::words ? 2 : 1);
    const uint64_t pixel_bytes = uint64_t{layout.width} * layout.height * static_cast<uint64_t>(layout.channels) * sample_bytes;
    if (pixel_bytes > static_cast<uint64_t>(info.st_size))
      throw refuse("damaged or cut short (" + std::to_string(pixel_bytes) + " bytes of samples in a file of " +
                   std::to_string(info.st_size) + ")");
  }

  const int32_t type = depth == SampleDepth::kept && layout.samples == SampleLayout::words ? 2 : 1;
  GreyImageOwner image(img_create(type, static_cast<int32_t>(layout.width),
                                  static_cast<int32_t>(layout.height)));
  if (image == nullptr) throw refuse("out of memory");
  const bool read = TIFFIsTiled(tiff.get()) ? read_tiles(tiff.get(), layout, image.get())
                                            : read_strips(tiff.get(), layout, image.get());
  if (!read) throw refuse("damaged or cut short" + tiff.error());

  if (type == 2) {
    for (int32_t row = 0; row < image->height; ++row) {
      auto* grey = reinterpret_cast<uint16_t*>(img_line(image.get(), row));
      if (layout.mirrored) std::reverse(grey, grey + image->width);
      if (layout.min_is_white)
        for (int32_t x = 0; x < image->width; ++x) grey[x] = static_cast<uint16_t>(65535 - grey[x]);
    }
    return image;
  }
  for (int32_t row = 0; row < image->height; ++row) {
    uint8_t* grey = img_line(image.get(), row);
    if (layout.mirrored) std::reverse(grey, grey + image->width);
    if (layout.min_is_white)
      for (int32_t x = 0; x < image->width; ++x) grey[x] = static_cast<uint8_t>(255 - grey[x]);
  }
  return image;
}
