// The frames of a measurement (phase steps, periods) as picture files. Unlike
// a camera picture for the engine, a frame keeps the depth it was taken at:
// a camera of 10 to 16 bits resolves phase steps an 8-bit image would merge.
#pragma once

#include <string>

#include "common/replace_file.h"
#include "formats/sample_image.h"
#include "scan/grey_image.h"

// Reads a frame: as read_camera_picture (formats/camera_picture.h: the same
// kinds, rules, orientation and errors), except that a PNG or TIFF picture of
// 16-bit samples becomes a 16-bit image (type 2, one value per pixel in the
// machine's order, row 0 the bottom row): grey samples as stored, colour
// ones as 0.299 R + 0.587 G + 0.114 B rounded to 16 bits
// (formats/grey_levels.h). Pictures of 8-bit samples and bitmaps give the
// 8-bit image read_camera_picture gives.
GreyImageOwner read_frame_picture(const std::string& file);

// The frame as grey samples, top row first: 8 bits for an 8-bit image, 16
// for a 16-bit one. Throws std::invalid_argument for an image of another
// type (colour).
SampleImage frame_samples(const GreyImage& frame);

// Writes a frame whole (through common/replace_file.h, an earlier file of the
// name stays when the write fails):
// * 8-bit: a bitmap with the image's colour table (img_save_bmp), or an 8-bit
//   grey PNG when the name ends in ".png" (any case);
// * 16-bit: a 16-bit grey PNG, whatever the name: only PNG and TIFF hold
//   16-bit grey, and the readers tell the kind from the file's bytes.
// Throws FileError `Cannot create file "<file>"` when the file cannot be made
// (`Cannot write file "<file>"` when a bitmap's bytes cannot be written out),
// std::invalid_argument for an image of another type.
void save_frame_picture(const GreyImage& frame, const std::string& file,
                        Durability durability = Durability::synced);
