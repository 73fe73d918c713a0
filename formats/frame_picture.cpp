#include "formats/frame_picture.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "common/errors.h"
#include "formats/picture_readers.h"
#include "formats/picture_writers.h"

namespace {

bool named_png(const std::string& file) {
  std::string extension = std::filesystem::path(file).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".png";
}

}  // namespace

GreyImageOwner read_frame_picture(const std::string& file) { return read_any_picture(file, SampleDepth::kept); }

SampleImage frame_samples(const GreyImage& frame) {
  if (frame.type == 1) return grey_samples(frame, 8);
  if (frame.type != 2)
    throw std::invalid_argument("a frame is an 8-bit or 16-bit grey image, not one of " +
                                std::to_string(frame.type) + " bytes per pixel");
  SampleImage out;
  out.width = frame.width;
  out.height = frame.height;
  out.channels = 1;
  out.bits = 16;
  out.samples.resize(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height));
  for (int32_t y = 0; y < frame.height; ++y) {
    // Top row first: the engine's last row.
    std::memcpy(out.samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width),
                img_line(&frame, frame.height - 1 - y), static_cast<std::size_t>(frame.width) * 2);
  }
  return out;
}

void save_frame_picture(const GreyImage& frame, const std::string& file, Durability durability) {
  if (frame.type == 1 && !named_png(file)) {
    const int code = img_save_bmp(&frame, file.c_str(), durability);
    if (code == BMP_OK) return;
    if (code == BMP_IO_ERROR) throw file_error(FileAction::write, file);
    throw file_error(FileAction::create, file);
  }
  // Samples first: an image of another type is refused before the file is touched.
  const SampleImage samples = frame_samples(frame);
  replace_file(file, png_bytes(samples), durability);
}
