// Loading and saving a Picture through the engine's bitmap reader and writer.
// GreyImage rows run bottom-up with 4-byte padding; Picture rows top-down
// without padding.
#include <cstring>
#include <memory>
#include <string>

#include "common/errors.h"
#include "render/picture.h"

namespace {

struct ImageDeleter {
  void operator()(GreyImage* image) const { img_destroy(image); }
};
using ImageOwner = std::unique_ptr<GreyImage, ImageDeleter>;

FileError load_failure(int code, const std::string& file) {
  const std::string quoted = "\"" + file + "\"";
  switch (code) {
    case BMP_CANNOT_OPEN:
      return file_error(FileAction::open, file);
    case BMP_UNSUPPORTED:
      return FileError("File " + quoted + " is not a supported bitmap");
    case BMP_NO_BUFFER:
      return FileError("Bitmap " + quoted + " has an unsupported size");
    default:
      return file_error(FileAction::read, file);
  }
}

}  // namespace

void Picture::load_bmp(const std::string& file) {
  GreyImage* loaded = nullptr;
  const int code = img_load_bmp(&loaded, file.c_str());
  const ImageOwner image(loaded);  // ours even when loading failed part way
  if (code != BMP_OK || image == nullptr) throw load_failure(code, file);
  // 16-bit images are single 16-bit values, not colours: nothing to show.
  if (image->type == 2) throw FileError("File \"" + file + "\" is not a supported bitmap");

  const PixelFormat format = image->type == 1 ? PixelFormat::indexed8 : PixelFormat::bgr24;
  // A picture of the same size and format takes the new pixels in its own
  // memory (nothing can fail any more); any other is replaced by a new one.
  Picture result;
  Picture& target = width_ == image->width && height_ == image->height && format_ == format ? *this : result;
  if (&target == &result) result = Picture(image->width, image->height, format);
  target.colours_ = format == PixelFormat::indexed8 ? image->colours : grey_ramp();
  for (int y = 0; y < image->height; ++y) {
    const uint8_t* source = img_line(image.get(), image->height - 1 - y);
    uint8_t* line = target.row(y);
    if (image->type == 4) {
      for (int x = 0; x < image->width; ++x) std::memcpy(line + 3 * x, source + 4 * x, 3);
    } else {
      std::memcpy(line, source, static_cast<std::size_t>(target.bytes_per_line()));
    }
  }
  if (&target == &result) replace(std::move(result));
}

void Picture::save_bmp(const std::string& file, Durability durability) const {
  if (width_ == 0 || height_ == 0) throw FileError("Cannot save the empty picture to \"" + file + "\"");
  // Every row is copied in below.
  const ImageOwner image(img_create_rows_unfilled(bytes_per_pixel(), width_, height_));
  if (image == nullptr) throw file_error(FileAction::write, file, ": out of memory");
  if (format_ == PixelFormat::indexed8) image->colours = colours_;
  for (int y = 0; y < height_; ++y)
    std::memcpy(img_line(image.get(), height_ - 1 - y), row(y), static_cast<std::size_t>(bytes_per_line()));
  const int code = img_save_bmp(image.get(), file.c_str(), durability);
  if (code == BMP_CANNOT_OPEN) throw file_error(FileAction::create, file);
  if (code != BMP_OK) throw file_error(FileAction::write, file);
}
