// The readers behind read_camera_picture (formats/camera_picture.h), one per
// kind of file. Each opens the file itself, applies the rules given there and
// throws FileError naming the file and the reason. Pictures of 8-bit samples
// always give an 8-bit image.
#pragma once

#include <string>

#include "formats/camera_picture.h"

// What becomes of 16-bit samples: reduced to the engine's 8-bit levels (a
// camera picture), or kept in a 16-bit image (type 2, a frame of a set).
enum class SampleDepth { eight, kept };

GreyImageOwner read_bmp_picture(const std::string& file);
GreyImageOwner read_png_picture(const std::string& file, SampleDepth depth = SampleDepth::eight);
GreyImageOwner read_tiff_picture(const std::string& file, SampleDepth depth = SampleDepth::eight);

// The picture of any kind read_camera_picture takes (told by its first
// bytes), at `depth`.
GreyImageOwner read_any_picture(const std::string& file, SampleDepth depth);
