// PNG pictures through libpng.
//
// libpng reports a fatal error by calling our error function, which must not
// return: it jumps back (png_longjmp) to the setjmp of the function that
// called libpng. A jump over a C++ object skips its destructor, so the two
// functions that call libpng (read_header and read_rows) hold only plain
// data; everything with a destructor (the file, the structures, the buffers,
// the image) belongs to their caller and is cleaned up there however they end.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/errors.h"
#include "common/open_file.h"
#include "formats/grey_levels.h"
#include "formats/picture_readers.h"

namespace {

// Largest chunk libpng may allocate memory for (text, profiles): a camera
// picture needs none of them, and a forged length must not reserve gigabytes.
constexpr png_alloc_size_t kMaxChunkBytes = 1 << 20;
constexpr png_uint_32 kMaxCachedChunks = 100;

// The ancillary chunks libpng knows. None of them changes the samples we
// read (no gamma, no transparency, no colour profile is applied), so they
// are skipped unread, as are unknown chunks.
constexpr png_byte kSkippedChunks[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0"
    "tEXt\0tIME\0tRNS\0zTXt";
constexpr int kSkippedChunkCount = 18;

// Plain data shared with the error and warning functions.
struct Messages {
  char error[256];
  char warning[256];  // the last one
};

void on_error(png_structp png, png_const_charp message) {
  auto* messages = static_cast<Messages*>(png_get_error_ptr(png));
  std::snprintf(messages->error, sizeof messages->error, "%s", message != nullptr ? message : "");
  png_longjmp(png, 1);
}

// Warnings (extra image data, say) do not stop a picture whose samples are
// whole. They are kept because libpng gives the reason for a bad header as a
// warning before its error ("Invalid IHDR data").
void on_warning(png_structp png, png_const_charp message) {
  auto* messages = static_cast<Messages*>(png_get_error_ptr(png));
  std::snprintf(messages->warning, sizeof messages->warning, "%s", message != nullptr ? message : "");
}

// The picture as libpng will deliver its rows after our transformations.
struct Header {
  png_uint_32 width;
  png_uint_32 height;
  int file_bit_depth;  // as stored
  int colour_type;
  int channels;        // per delivered pixel: 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
  int bit_depth;       // of delivered samples: 8 or 16
  bool interlaced;
  png_size_t row_bytes;
};

enum class Outcome { done, failed, low_bit_grey };

// Reads up to the first image data and sets up the transformations:
// palette entries become RGB, nothing else changes the samples. Low-bit grey
// stops before any transformation is set.
Outcome read_header(png_structp png, png_infop info, Header* header) {
  if (setjmp(png_jmpbuf(png))) return Outcome::failed;
  png_read_info(png, info);
  int interlace = 0;
  png_get_IHDR(png, info, &header->width, &header->height, &header->file_bit_depth,
               &header->colour_type, &interlace, nullptr, nullptr);
  if (header->colour_type != PNG_COLOR_TYPE_PALETTE && header->file_bit_depth < 8)
    return Outcome::low_bit_grey;
  if (header->colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  header->interlaced = interlace != PNG_INTERLACE_NONE;
  if (header->interlaced) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  header->channels = png_get_channels(png, info);
  header->bit_depth = png_get_bit_depth(png, info);
  header->row_bytes = png_get_rowbytes(png, info);
  return Outcome::done;
}

// Where the decoded rows go: one row buffer reused (rows arrive in order), or
// for an interlaced picture a buffer for all rows (the passes fill each row
// several times).
struct RowTarget {
  png_bytep row;     // row_bytes
  png_bytepp rows;   // height pointers into a whole-picture buffer, or null
  GreyImage* image;  // 8-bit or (16-bit samples kept) 16-bit, the picture's size
};

void convert_row(const Header& h, png_const_bytep samples, const RowTarget& target, png_uint_32 y) {
  const SampleLayout layout = h.bit_depth == 16 ? SampleLayout::big_endian_words : SampleLayout::bytes;
  // PNG rows run top-down; the engine's row 0 is the bottom row.
  uint8_t* grey = img_line(target.image, static_cast<int32_t>(h.height - 1 - y));
  if (target.image->type == 2)
    grey_row16(samples, layout, h.channels, h.width, reinterpret_cast<uint16_t*>(grey));
  else
    grey_row(samples, layout, h.channels, h.width, grey);
}

bool read_rows(png_structp png, png_infop info, const Header* header, const RowTarget* target) {
  if (setjmp(png_jmpbuf(png))) return false;
  if (target->rows == nullptr) {
    for (png_uint_32 y = 0; y < header->height; ++y) {
      png_read_row(png, target->row, nullptr);
      convert_row(*header, target->row, *target, y);
    }
  } else {
    png_read_image(png, target->rows);
    for (png_uint_32 y = 0; y < header->height; ++y) convert_row(*header, target->rows[y], *target, y);
  }
  // The rest of the file, to its end chunk: a picture cut short after its
  // image data is still a damaged file.
  png_read_end(png, info);
  return true;
}

class PngReader {
 public:
  PngReader() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &messages_, on_error, on_warning);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
  }
  ~PngReader() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  bool ready() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  // libpng's error, with the last warning when there was one.
  std::string error() const {
    std::string text = messages_.error;
    if (messages_.warning[0] != '\0') text += std::string(": ") + messages_.warning;
    return text;
  }
  bool beyond_user_limit() const {
    return std::strstr(messages_.warning, "exceeds user limit") != nullptr;
  }

 private:
  Messages messages_{};
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// Bytes libpng gets per read from the C library: libpng asks for a chunk at
// a time (8 KiB of image data in most files), which a small stream buffer
// would pass on as one system call each.
constexpr std::size_t kStreamBuffer = std::size_t{1} << 20;

}  // namespace

GreyImageOwner read_png_picture(const std::string& file, SampleDepth depth) {
  const auto refuse = [&file](const std::string& reason) {
    return file_error(FileAction::read, file, ": " + reason);
  };
  const OpenFile stream(file, "rb", kStreamBuffer);
  if (stream.get() == nullptr) throw file_error(FileAction::open, file);
  PngReader reader;
  if (!reader.ready()) throw refuse("out of memory");
  png_structp png = reader.png();
  png_init_io(png, stream.get());
  // libpng's own limits refuse a picture the engine cannot hold while it
  // reads the header, before any row is allocated.
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, kMaxCachedChunks);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);

  Header header{};
  switch (read_header(png, reader.info(), &header)) {
    case Outcome::done:
      break;
    case Outcome::low_bit_grey:
      throw refuse(std::to_string(header.file_bit_depth) +
                   "-bit grey samples are not supported (8 or 16 bits)");
    case Outcome::failed:
      if (reader.beyond_user_limit())
        throw refuse("the picture is larger than the engine takes (1 to " +
                     std::to_string(kMaxImageSide) + " pixels on either side)");
      throw refuse("not a readable PNG picture (" + reader.error() + ")");
  }
  // libpng has checked the sides against the limit; this keeps the rule in
  // one place should the limit ever be set otherwise.
  const std::string too_big = size_refusal(header.width, header.height);
  if (!too_big.empty()) throw refuse(too_big);

  const int32_t type = depth == SampleDepth::kept && header.bit_depth == 16 ? 2 : 1;
  GreyImageOwner image(img_create(type, static_cast<int32_t>(header.width),
                                  static_cast<int32_t>(header.height)));
  if (image == nullptr) throw refuse("out of memory");
  std::vector<png_byte> row(header.row_bytes);
  std::vector<png_byte> whole;
  std::vector<png_bytep> rows;
  if (header.interlaced) {
    whole.resize(header.row_bytes * header.height);
    rows.resize(header.height);
    for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = whole.data() + y * header.row_bytes;
  }
  const RowTarget target{row.data(), rows.empty() ? nullptr : rows.data(), image.get()};
  if (!read_rows(png, reader.info(), &header, &target))
    throw refuse("damaged or cut short (" + reader.error() + ")");
  return image;
}
