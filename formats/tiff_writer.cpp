// The TIFF writer: libtiff writes into memory through client procedures, and
// the bytes are handed back whole.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "formats/picture_writers.h"

namespace {

// A file in memory, as libtiff's client procedures see it. They are called
// from C and must not throw.
struct MemoryFile {
  std::string bytes;
  std::size_t position = 0;
  char error[256] = {};
};

tmsize_t memory_read(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (size < 0 || file->position >= file->bytes.size()) return 0;
  const std::size_t count = std::min(static_cast<std::size_t>(size), file->bytes.size() - file->position);
  std::memcpy(buffer, file->bytes.data() + file->position, count);
  file->position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t memory_write(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (size < 0) return -1;
  const auto count = static_cast<std::size_t>(size);
  try {
    if (file->position + count > file->bytes.size()) file->bytes.resize(file->position + count);
  } catch (...) {
    return -1;
  }
  std::memcpy(file->bytes.data() + file->position, buffer, count);
  file->position += count;
  return size;
}

toff_t memory_seek(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = file->position;
  if (whence == SEEK_END) base = file->bytes.size();
  file->position = static_cast<std::size_t>(base + offset);
  return file->position;
}

int memory_close(thandle_t) { return 0; }
toff_t memory_size(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes.size(); }
int memory_map(thandle_t, void**, toff_t*) { return 0; }
void memory_unmap(thandle_t, void*, toff_t) {}

int on_error(TIFF*, void* user_data, const char* module, const char* format, va_list arguments) {
  auto* file = static_cast<MemoryFile*>(user_data);
  if (file->error[0] != '\0') return 1;
  char text[200];
  std::vsnprintf(text, sizeof text, format, arguments);
  std::snprintf(file->error, sizeof file->error, "%s: %s", module != nullptr ? module : "", text);
  return 1;
}

int on_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

uint16_t compression_tag(TiffCompression compression) {
  switch (compression) {
    case TiffCompression::lzw:
      return COMPRESSION_LZW;
    case TiffCompression::deflate:
      return COMPRESSION_ADOBE_DEFLATE;
    case TiffCompression::packbits:
      return COMPRESSION_PACKBITS;
    case TiffCompression::none:
      break;
  }
  return COMPRESSION_NONE;
}

// Samples of pixels x0 .. x0 + count - 1 of row y in the file's sample size
// (machine order; libtiff swaps them for a big-endian file), into `out`.
void put_samples(const SampleImage& image, int x0, int count, int y, uint8_t* out) {
  const std::size_t first = (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                             static_cast<std::size_t>(x0)) *
                            static_cast<std::size_t>(image.channels);
  const std::size_t n = static_cast<std::size_t>(count) * static_cast<std::size_t>(image.channels);
  if (image.bits == 16) {
    std::memcpy(out, image.samples.data() + first, n * sizeof(uint16_t));
  } else {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(image.samples[first + i]);
  }
}

class TiffWriter {
 public:
  TiffWriter(MemoryFile& file, bool big_endian) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return;
    TIFFOpenOptionsSetErrorHandlerExtR(options, on_error, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options, on_warning, nullptr);
    tiff_ = TIFFClientOpenExt("memory", big_endian ? "wb" : "wl", &file, memory_read, memory_write,
                              memory_seek, memory_close, memory_size, memory_map, memory_unmap,
                              options);
    TIFFOpenOptionsFree(options);
  }
  ~TiffWriter() { close(); }
  TiffWriter(const TiffWriter&) = delete;
  TiffWriter& operator=(const TiffWriter&) = delete;

  TIFF* get() const { return tiff_; }
  // Writes the directory and ends the file.
  void close() {
    if (tiff_ != nullptr) TIFFClose(tiff_);
    tiff_ = nullptr;
  }

 private:
  TIFF* tiff_ = nullptr;
};

bool write_tags(TIFF* tiff, const SampleImage& image, const TiffLayout& layout) {
  const bool colour = image.channels >= 3;
  const bool alpha = image.channels == 2 || image.channels == 4;
  bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width)) == 1 &&
            TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height)) == 1 &&
            TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(image.bits)) == 1 &&
            TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(image.channels)) == 1 &&
            TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) == 1 &&
            TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, colour ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) == 1 &&
            TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
            TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) == 1 &&
            TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression_tag(layout.compression)) == 1;
  if (ok && alpha) {
    const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    ok = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra) == 1;
  }
  if (ok && layout.predictor)
    ok = TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) == 1;
  if (!ok) return false;
  if (layout.tile_side > 0) {
    return TIFFSetField(tiff, TIFFTAG_TILEWIDTH, static_cast<uint32_t>(layout.tile_side)) == 1 &&
           TIFFSetField(tiff, TIFFTAG_TILELENGTH, static_cast<uint32_t>(layout.tile_side)) == 1;
  }
  const uint32_t rows = layout.rows_per_strip > 0 ? static_cast<uint32_t>(layout.rows_per_strip)
                                                  : TIFFDefaultStripSize(tiff, 0);
  return TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rows) == 1;
}

bool write_strips(TIFF* tiff, const SampleImage& image) {
  std::vector<uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tiff)));
  for (int y = 0; y < image.height; ++y) {
    put_samples(image, 0, image.width, y, row.data());
    if (TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) < 0) return false;
  }
  return true;
}

bool write_tiles(TIFF* tiff, const SampleImage& image, int side) {
  std::vector<uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tiff)));
  const std::size_t row_bytes = static_cast<std::size_t>(TIFFTileRowSize(tiff));
  for (int y0 = 0; y0 < image.height; y0 += side) {
    for (int x0 = 0; x0 < image.width; x0 += side) {
      std::fill(tile.begin(), tile.end(), uint8_t{0});  // the part beyond the picture's edge
      const int columns = std::min(side, image.width - x0);
      for (int k = 0; k < side && y0 + k < image.height; ++k)
        put_samples(image, x0, columns, y0 + k, tile.data() + static_cast<std::size_t>(k) * row_bytes);
      if (TIFFWriteTile(tiff, tile.data(), static_cast<uint32_t>(x0), static_cast<uint32_t>(y0), 0, 0) < 0)
        return false;
    }
  }
  return true;
}

}  // namespace

std::string tiff_bytes(const SampleImage& image, const TiffLayout& layout) {
  if (!describes_picture(image))
    throw std::invalid_argument("not a picture of 1 to 4 samples of 8 or 16 bits");
  if (layout.tile_side < 0 || layout.tile_side % 16 != 0)
    throw std::invalid_argument("TIFF tiles are a positive multiple of 16 pixels wide");

  MemoryFile file;
  {
    TiffWriter writer(file, layout.big_endian);
    TIFF* tiff = writer.get();
    const bool written = tiff != nullptr && write_tags(tiff, image, layout) &&
                         (layout.tile_side > 0 ? write_tiles(tiff, image, layout.tile_side)
                                               : write_strips(tiff, image)) &&
                         TIFFWriteDirectory(tiff) == 1;
    if (!written) throw std::runtime_error(std::string("TIFF writer: ") + file.error);
  }
  return std::move(file.bytes);
}
