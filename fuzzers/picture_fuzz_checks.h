// The properties both camera-picture readers must keep on any file bytes,
// beyond "no crash, no out-of-bounds access, no leak": a reader either gives
// a well-formed 8-bit engine image or throws FileError naming the file; and
// an image it gives comes back unchanged through the PNG writer and reader.
// Read as a frame (its depth kept), the same bytes give a well-formed 8- or
// 16-bit image that comes back unchanged through the frame writer.
#pragma once

#include <cstring>
#include <string>

#include "common/errors.h"
#include "formats/camera_picture.h"
#include "formats/frame_picture.h"
#include "formats/picture_readers.h"
#include "formats/picture_writers.h"
#include "fuzz_addressable.h"
#include "fuzz_work_dir.h"

// Every row must lie in the image's buffer, so that a buffer smaller than
// the record promises is found.
inline void check_rows_addressable(const GreyImage& image) {
  for (int32_t row = 0; row < image.height; ++row)
    require_addressable(img_line(&image, row), static_cast<std::size_t>(image.stride));
}

inline void check_picture(const GreyImage& image) {
  if (image.type != 1 || image.bytesPerPixel != 1) fuzz_fail("not an 8-bit image");
  if (image.width < 1 || image.width > kMaxImageSide || image.height < 1 || image.height > kMaxImageSide)
    fuzz_fail("image side out of range");
  if (image.stride != ((image.width + 3) & ~3) || image.size != image.stride * image.height)
    fuzz_fail("stride or size inconsistent");
  if (image.colours != grey_ramp()) fuzz_fail("colour table is not the grey ramp");
  check_rows_addressable(image);
}

// The image written as an 8-bit grey PNG and read back must be the same.
inline void check_round_trip(const GreyImage& image) {
  const std::string copy = fuzz_work_file("copy.png");
  write_work_file(copy, png_bytes(grey_samples(image)));
  const GreyImageOwner again = read_camera_picture(copy);
  for (int32_t row = 0; row < image.height; ++row)
    if (std::memcmp(img_line(&image, row), img_line(again.get(), row), static_cast<std::size_t>(image.width)) != 0)
      fuzz_fail("an image read does not come back through PNG");
}

// A frame of either depth: the sides, the row bytes, every sample read; and
// the frame written and read back is the same.
inline void check_frame(const GreyImage& frame) {
  if (frame.type == 1) {
    check_picture(frame);
  } else {
    if (frame.type != 2 || frame.bytesPerPixel != 2) fuzz_fail("a frame neither 8- nor 16-bit");
    if (frame.width < 1 || frame.width > kMaxImageSide || frame.height < 1 || frame.height > kMaxImageSide)
      fuzz_fail("frame side out of range");
    check_rows_addressable(frame);
  }
  const std::string copy = fuzz_work_file("frame.png");
  save_frame_picture(frame, copy, Durability::atomic_only);
  const GreyImageOwner again = read_frame_picture(copy);
  const auto row_bytes = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.bytesPerPixel);
  if (again->type != frame.type) fuzz_fail("a frame changes its depth through the frame writer");
  for (int32_t row = 0; row < frame.height; ++row)
    if (std::memcmp(img_line(&frame, row), img_line(again.get(), row), row_bytes) != 0)
      fuzz_fail("a frame does not come back through the frame writer");
}

// Runs `reader` on the input written as `name` and checks its outcome.
template <typename Reader>
void fuzz_picture_reader(Reader reader, const char* name, const uint8_t* data, size_t size) {
  const std::string file = fuzz_work_file(name);
  write_work_file(file, data, size);
  try {
    const GreyImageOwner image = reader(file);
    if (image == nullptr) fuzz_fail("no image and no error");
    check_picture(*image);
    check_round_trip(*image);
    const GreyImageOwner frame = read_frame_picture(file);
    if (frame == nullptr) fuzz_fail("no frame and no error");
    check_frame(*frame);
  } catch (const FileError& error) {
    const std::string message = error.what();
    if (message.find("\"" + file + "\"") == std::string::npos) fuzz_fail("error without the file's name");
  } catch (...) {
    fuzz_fail("an error other than a file error");
  }
  clear_work_dir();
}
