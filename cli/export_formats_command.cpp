#include "cli/export_formats_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <stdexcept>

#include "cli/commands.h"
#include "formats/quality_file.h"

void add_export_format_options(CLI::App* exporter, ExportFormatOptions& options) {
  CLI::Option* format =
      exporter
          ->add_option("--format", options.formats,
                       "write BASE.gsf, BASE.csv, BASE.xyz, BASE.ply and/or BASE.png instead of "
                       "the data set: comma-separated, any of gsf (Gwyddion simple field, metres), "
                       "csv (rows of heights in mm), xyz (x y z in mm), ply (binary surface, mm), "
                       "png (the colour map)")
          ->delimiter(',')
          ->check(CLI::IsMember({"gsf", "csv", "xyz", "ply", "png"}));
  exporter
      ->add_option("--what", options.what,
                   "residual: the 256 x 256 residual to the sphere inside the mask; profile: the "
                   "engine's whole profile grid; elevation-sphere, elevation-toric (mm against the "
                   "best-fit sphere or toric ellipsoid), axial, tangential, refractive (power maps in D: "
                   "csv, xyz or png)")
      ->capture_default_str()
      ->check(CLI::IsMember({"residual", "profile", "elevation-sphere", "elevation-toric", "axial", "tangential",
                             "refractive"}))
      ->needs(format);
}

std::vector<HeightFormat> parse_height_formats(const std::vector<std::string>& names) {
  std::vector<HeightFormat> formats;
  for (const std::string& name : names) {
    const std::optional<HeightFormat> format = height_format_named(name);
    if (!format) throw std::invalid_argument("'" + name + "' is not a height format");
    if (std::find(formats.begin(), formats.end(), *format) == formats.end()) formats.push_back(*format);
  }
  return formats;
}

void cmd_export_with(int channel, const std::string& base, const ExportFormatOptions& options,
                     std::ostream* progress, QualityCheck* quality) {
  if (options.formats.empty()) {
    cmd_export(channel, base, progress, quality);
    return;
  }
  if (options.what != "profile" && options.what != "residual") {
    cmd_export_figure_map(channel, base, parse_height_formats(options.formats), options.what, progress);
    return;
  }
  const ExportedHeights what = options.what == "profile" ? ExportedHeights::profile
                                                         : ExportedHeights::residual;
  cmd_export_formats(channel, base, parse_height_formats(options.formats), what, progress, quality,
                     options.quality_channels);
}

void cmd_export_figure_map(int channel, const std::string& base, const std::vector<HeightFormat>& formats,
                           const std::string& what, std::ostream* progress) {
  const bool power = what == "axial" || what == "tangential" || what == "refractive";
  for (const HeightFormat format : formats)
    if (power && format != HeightFormat::csv && format != HeightFormat::xyz && format != HeightFormat::png)
      throw std::invalid_argument("a power map is no height field: export it as csv, xyz or png");
  ProfileOutputs out;
  const ProfileResult result = cmd_profile(channel, progress, &out);
  const double field = result.geometry.field_x;
  const SurfaceFigures f = surface_figures({out.measured_map, out.sphere_map, field, result.mask_radius});
  const std::optional<HeightMatrix>& map = what == "axial"             ? f.axial_power
                                           : what == "tangential"      ? f.tangential_power
                                           : what == "refractive"      ? f.refractive_power
                                           : what == "elevation-sphere" ? f.elevation_to_sphere
                                                                        : f.elevation_to_toric;
  if (!map) {
    const std::string& why = power ? f.axial_note : what == "elevation-sphere" ? f.sphere_note : f.conic_note;
    throw std::invalid_argument("no " + what + " map: " + why);
  }
  HeightMatrix values = *map;
  if (!power)
    for (int x = 0; x < values.nx(); ++x)
      for (int y = 0; y < values.ny(); ++y) values(x, y) /= kMicronsPerMm;
  const std::string title = power ? what + " power, D" : "elevation against the best-fit " +
                                                             std::string(what == "elevation-sphere" ? "sphere" : "toric ellipsoid") +
                                                             ", mm";
  const HeightExport data = figure_map_export(channel, values, field, title.c_str());
  for (const HeightFormat format : formats) {
    const std::string file = base + height_format_extension(format);
    write_height_export(data, format, file);
    if (progress != nullptr) *progress << "written " << file << '\n';
  }
}

void cmd_export_formats(int channel, const std::string& base, const std::vector<HeightFormat>& formats,
                        ExportedHeights what, std::ostream* progress, QualityCheck* quality, bool with_channels) {
  ProfileOutputs out;
  const ProfileResult result = cmd_profile(channel, progress, &out, std::nullopt, quality);
  HeightExport data =
      what == ExportedHeights::profile
          ? profile_export(channel)
          : residual_export(channel, out.channel_map, out.measured_map, result.geometry,
                            result.mask_radius, out.map_image);
  if (quality != nullptr && with_channels)
    data.field.channels = quality_channels(quality->map, data.field.cols, data.field.rows);
  for (const HeightFormat format : formats) {
    const std::string file = base + height_format_extension(format);
    write_height_export(data, format, file);
    if (progress != nullptr) *progress << "written " << file << '\n';
  }
}
