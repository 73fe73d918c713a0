// The readers behind read_camera_picture (formats/camera_picture.h), one per
// kind of file. Each opens the file itself, applies the rules given there and
// throws FileError naming the file and the reason.
#pragma once

#include <string>

#include "formats/camera_picture.h"

GreyImageOwner read_bmp_picture(const std::string& file);
GreyImageOwner read_png_picture(const std::string& file);
GreyImageOwner read_tiff_picture(const std::string& file);
