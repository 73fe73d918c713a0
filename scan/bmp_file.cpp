// Reading and writing Windows bitmap files: a 14-byte file header, a 40-byte
// information header, for 8-bit images a 256-entry colour table, then the rows
// bottom-up, each padded to 4 bytes. All header fields are little-endian and
// are taken apart byte by byte, so the host's byte order and struct layout do
// not matter.
#include "grey_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

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

// Closes the file on every way out of a function.
class OpenFile {
 public:
  OpenFile(const char* name, const char* mode) : file_(std::fopen(name, mode)) {}
  explicit OpenFile(std::FILE* file) : file_(file) {}
  ~OpenFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  std::FILE* get() const { return file_; }
  // Closes now; false when buffered data could not be written out.
  bool close() {
    std::FILE* file = file_;
    file_ = nullptr;
    return std::fclose(file) == 0;
  }

 private:
  std::FILE* file_;
};

bool read_exactly(std::FILE* file, void* buffer, std::size_t count) {
  return std::fread(buffer, 1, count, file) == count;
}

bool write_exactly(std::FILE* file, const void* buffer, std::size_t count) {
  return std::fwrite(buffer, 1, count, file) == count;
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

// Where img_save_bmp writes. A regular file (or a name not yet taken) is
// written to a new temporary file beside it, which replaces it only once
// every byte is written: a failed write (a full disk, say) leaves the earlier
// bitmap as it was instead of a truncated one. The replaced file keeps its
// permission bits; a symbolic link keeps pointing where it did and its
// target is replaced. Anything else that exists under the name (a device
// such as /dev/full, a FIFO, a directory) is opened in place as before:
// renaming over it would replace the node itself.
class BitmapTarget {
 public:
  explicit BitmapTarget(const char* fileName) : path_(fileName) {}
  ~BitmapTarget() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
  }
  BitmapTarget(const BitmapTarget&) = delete;
  BitmapTarget& operator=(const BitmapTarget&) = delete;

  // A stream to write the bytes to, or null when the file cannot be written.
  std::FILE* open() {
    if (path_.empty()) return nullptr;
    if (!follow_links()) return nullptr;
    struct stat existing {};
    const bool exists = ::stat(path_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) return std::fopen(path_.c_str(), "wb");
    // A write-protected bitmap stays, as opening it for writing would fail.
    if (exists && ::access(path_.c_str(), W_OK) != 0) return nullptr;

    int descriptor = -1;
    for (int attempt = 0; attempt < kNameAttempts && descriptor < 0; ++attempt) {
      temporary_ = path_ + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
      // 0666 less the umask, as fopen gives a new file.
      descriptor = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (descriptor < 0 && errno != EEXIST) break;
    }
    if (descriptor < 0) {
      temporary_.clear();  // nothing of ours to remove
      return nullptr;
    }
    std::FILE* stream = nullptr;
    if (!exists || ::fchmod(descriptor, existing.st_mode & 07777) == 0) stream = ::fdopen(descriptor, "wb");
    if (stream == nullptr) ::close(descriptor);
    return stream;
  }

  // After the stream is closed: puts the written file in place. True when
  // there is nothing to rename (written in place) or the rename succeeded.
  bool commit() {
    if (temporary_.empty()) return true;
    const bool renamed = std::rename(temporary_.c_str(), path_.c_str()) == 0;
    if (renamed) temporary_.clear();
    return renamed;
  }

 private:
  static constexpr int kNameAttempts = 100;
  static constexpr int kMaxLinks = 40;  // as the kernel allows in one path

  // Replaces a name that is a symbolic link by the name it leads to, link by
  // link, also when the last one points to a file not yet there. False for
  // a loop of links or a link that cannot be read.
  bool follow_links() {
    std::filesystem::path name(path_);
    std::error_code error;
    for (int hops = 0; std::filesystem::is_symlink(name, error); ++hops) {
      if (hops == kMaxLinks) return false;
      const std::filesystem::path target = std::filesystem::read_symlink(name, error);
      if (error) return false;
      name = target.is_absolute() ? target : name.parent_path() / target;
    }
    path_ = name.string();
    return true;
  }

  std::string path_;
  std::string temporary_;  // our temporary file until it is renamed; removed otherwise
};

}  // namespace

int img_load_bmp(GreyImage** result, const char* fileName) {
  if (result == nullptr || fileName == nullptr) return BMP_NULL_ARGUMENT;
  *result = nullptr;

  OpenFile file(fileName, "rb");
  if (file.get() == nullptr) return BMP_CANNOT_OPEN;

  uint8_t file_header[kFileHeaderBytes];
  uint8_t info_header[kInfoHeaderBytes];
  if (!read_exactly(file.get(), file_header, sizeof file_header)) return BMP_IO_ERROR;
  if (!read_exactly(file.get(), info_header, sizeof info_header)) return BMP_IO_ERROR;

  BmpLayout layout{};
  const int checked = check_headers(file_header, info_header, &layout);
  if (checked != BMP_OK) return checked;

  GreyImage* image = img_create(layout.bytes_per_pixel, layout.width, layout.height);
  if (image == nullptr) return BMP_NO_BUFFER;
  // From here on the caller owns the image, also when a later step fails.
  *result = image;

  if (image->type == 1) {
    // The table is taken from right behind the 40-byte header whatever the
    // header's size and colour count say; pixels come from the pixel offset.
    uint8_t table[kColourTableBytes];
    if (!read_exactly(file.get(), table, sizeof table)) return BMP_IO_ERROR;
    img_set_color_table(image, table);
  }

  if (layout.pixel_offset > static_cast<uint32_t>(LONG_MAX)) return BMP_IO_ERROR;
  if (std::fseek(file.get(), static_cast<long>(layout.pixel_offset), SEEK_SET) != 0)
    return BMP_IO_ERROR;
  // Seeking past the end succeeds; the first short row read reports it.
  for (int32_t row = 0; row < image->height; ++row) {
    if (!read_exactly(file.get(), img_line(image, row), static_cast<std::size_t>(image->stride)))
      return BMP_IO_ERROR;
  }
  return BMP_OK;
}

int img_save_bmp(const GreyImage* image, const char* fileName) {
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

  BitmapTarget target(fileName);
  OpenFile file(target.open());
  if (file.get() == nullptr) return BMP_CANNOT_OPEN;

  if (!write_exactly(file.get(), file_header, sizeof file_header)) return BMP_IO_ERROR;
  if (!write_exactly(file.get(), info_header, sizeof info_header)) return BMP_IO_ERROR;
  if (image->type == 1) {
    uint8_t table[kColourTableBytes];
    img_get_color_table(image, table);
    if (!write_exactly(file.get(), table, sizeof table)) return BMP_IO_ERROR;
  }
  for (int32_t row = 0; row < image->height; ++row) {
    if (!write_exactly(file.get(), img_line(image, row), stride)) return BMP_IO_ERROR;
  }
  // The last rows may still sit in the stream's buffer: a failing close means
  // they never reached the file, which is a failed write, not a success.
  if (!file.close()) return BMP_IO_ERROR;
  return target.commit() ? BMP_OK : BMP_CANNOT_OPEN;
}
