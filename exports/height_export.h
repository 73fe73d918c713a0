// "export heights…" and `fringe export --format`: a channel's measured
// profile or its residual map in the formats other tools read
// (formats/height_field_files.h), or its colour map as a PNG picture.
#pragma once

#include <string>

#include "analysis/height_matrix.h"
#include "analysis/height_text_file.h"
#include "formats/height_field.h"
#include "formats/height_field_files.h"
#include "render/picture.h"
#include "runs/profile_run.h"

enum class ExportedHeights {
  residual,  // the residual map: 256 x 256 cells over the map's field
  profile    // the engine's profile: its whole grid with its own spacing
};

// A height field and the colour map that shows it.
struct HeightExport {
  HeightField field;
  Picture picture;
};

// The channel's residual map as its last profile run left it
// (formats/height_field.h: residual_field) with the map picture as rendered.
// mask_radius in mm.
HeightExport residual_export(int channel, const HeightMatrix& residual, const HeightMatrix& measured,
                             const ProfileGeometry& geometry, double mask_radius,
                             const Picture& map_picture);

// The channel's profile as the engine wrote it (./profile00.txt or
// ./profile01.txt, all of its grid), points without data found by the
// DepthLimit of the channel's scan settings (its default when they lack it).
// The picture shows the grid in the map colours over the range of its
// heights, at one pixel per point. Throws FileError when the profile is
// missing or cannot be read.
HeightExport profile_export(int channel);
// The same of a profile grid held in memory (what profile_as_read gives of
// the engine's profile), points at or below `depth_limit` (mm) without data.
HeightExport profile_export(int channel, const ProfileHeights& grid, double depth_limit);

// A map of the surface figures (256 x 256 cells over field x field mm, NaN
// where it has no value) as a field: `values` in the unit the title names
// (elevation maps in mm, so that every format's unit holds; power maps in
// dioptres, for csv, xyz and png), with its picture over its range.
HeightExport figure_map_export(int channel, const HeightMatrix& values, double field, const char* what);

// Writes the field, or for PNG the picture, as one file, whole. Throws
// FileError `Cannot create file "<file>"` when it cannot be written; an
// earlier file of that name is then left as it was.
void write_height_export(const HeightExport& data, HeightFormat format, const std::string& file);
