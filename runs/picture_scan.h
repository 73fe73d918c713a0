// The engine on one camera picture of any kind the workbench reads (BMP, PNG,
// TIFF: formats/camera_picture.h), with every failure reported. The same
// picture in any of the kinds gives the same profile, byte for byte.
#pragma once

#include <optional>
#include <string>

#include "common/replace_file.h"
#include "runs/quality_check.h"
#include "scan/grey_image.h"
#include "scan/scn_matrix.h"

// Reads the picture, and the reference picture when one is given (the
// heights are then relative to it), runs the engine with the parameters of
// `section` in `ini_file` (a missing key keeps its default) and writes the
// profile whole. Throws FileError:
// * `Cannot open file "<picture>"` or `Cannot read file "<picture>": <reason>`
//   when a picture cannot be read (nothing is written then);
// * `Cannot read file "<reference>": the reference is 64 x 1024 pixels of 8
//   bits, the picture (<picture>) 1280 x 1024 pixels of 8 bits` when the
//   two differ in size (the engine would drop such a reference);
// * `Cannot read file "<picture>": the engine cannot take the picture` when
//   the engine has no memory for its planes;
// * `Cannot read file "<profile_file>": grid size 0 x 256 out of range` when
//   the picture is too small for the engine to make a profile of (nothing is
//   written: no reader takes an empty grid);
// * `Cannot create file "<profile_file>"` when the profile was not written;
//   an earlier file of that name is then left as it was. (A profile written
//   in place into a device or FIFO cannot be checked and counts as written.)
// `durability`: whether the profile waits for the disk (common/replace_file.h).
// A picture too narrow or too low for the engine's blocks leaves an empty
// grid, which no reader of profiles takes: throws FileError in the words
// reading `profile_file` back would give (`Cannot read file "<file>": grid
// size 0 x 64 out of range`), for a profile file not yet written.
void require_readable_profile(const ScnMatrix& profile, const std::string& profile_file);

// Empty when `reference` has the size and depth of `picture`; else why not:
// "the reference is 64 x 1024 pixels of 8 bits, the picture (./sim00.bmp)
// 1280 x 1024 pixels of 8 bits" (without the parenthesis for an empty
// `picture_file`).
std::string reference_size_mismatch(const GreyImage& reference, const GreyImage& picture,
                                    const std::string& picture_file);

// `check`: the quality asked for (runs/quality_check.h): a picture without fringes is refused before the engine
// runs, too little measured before the profile is written (MeasurementRefused,
// naming the picture); none: the engine alone, as it always was.
void scan_picture(const std::string& picture, const std::optional<std::string>& reference,
                  const std::string& ini_file, const std::string& section,
                  const std::string& profile_file, Durability durability = Durability::synced,
                  QualityCheck* check = nullptr);

// Writes a scanned profile whole, as scan_picture does: refuses an empty grid
// (require_readable_profile) and throws FileError `Cannot create file
// "<profile_file>"` when the file was not replaced (the earlier one stays).
void write_scanned_profile(const ScnMatrix& profile, const std::string& profile_file,
                           Durability durability = Durability::synced);
