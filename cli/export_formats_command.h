// `fringe export --format gsf,csv,xyz,ply,png --what residual|profile BASE`:
// the channel's heights in the formats other tools read, beside the data set
// that `export` without --format writes.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "formats/height_field_files.h"
#include "exports/height_export.h"
#include "analysis/surface_figures.h"
#include "runs/quality_check.h"

namespace CLI {
class App;
}

struct ExportFormatOptions {
  std::vector<std::string> formats;  // empty: the eight-file data set
  // "residual", "profile", or a map of the surface figures:
  // "elevation-sphere", "elevation-toric", "axial", "tangential", "refractive"
  std::string what = "residual";
  // Whether the formats that carry more than one value a cell (XYZ, PLY)
  // carry the quality's modulation and fit residual beside each height
  // (fringe export --quality FILE); needs a quality check.
  bool quality_channels = false;
};

// Adds --format and --what to the export subcommand.
void add_export_format_options(CLI::App* exporter, ExportFormatOptions& options);

// The format names in order, each once; throws std::invalid_argument naming
// a word that is no format.
std::vector<HeightFormat> parse_height_formats(const std::vector<std::string>& names);

// The export subcommand with these options: cmd_export_formats when formats
// are given, otherwise cmd_export (commands.h).
// `quality`: the quality asked for (runs/quality_check.h).
void cmd_export_with(int channel, const std::string& base, const ExportFormatOptions& options,
                     std::ostream* progress, QualityCheck* quality = nullptr);

// "profile" (see cmd_profile), then base + ".gsf" and so on for each format:
// the residual map or the engine's profile of the channel. `base` as for
// cmd_export. Throws FileError like cmd_profile and write_height_export; the
// files written before a failure stay.
// With `quality` and `with_channels`, XYZ and PLY carry the channels
// "modulation" and "fit_residual" (formats/quality_file.h).
void cmd_export_formats(int channel, const std::string& base, const std::vector<HeightFormat>& formats,
                        ExportedHeights what, std::ostream* progress, QualityCheck* quality = nullptr,
                        bool with_channels = false);

// "profile", then the surface figures' map `what` (see ExportFormatOptions)
// as base + ".csv" and so on: elevation maps in mm (every format), power
// maps in D (csv, xyz and png; other formats are refused with
// std::invalid_argument before anything runs). A map the figures could not
// make is refused after the profile, naming why; nothing is written then.
void cmd_export_figure_map(int channel, const std::string& base, const std::vector<HeightFormat>& formats,
                           const std::string& what, std::ostream* progress);
