#include "exports/height_export.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/height_text_file.h"
#include "common/replace_file.h"
#include "common/work_files.h"
#include "formats/picture_writers.h"
#include "render/colour_classes.h"
#include "render/colour_map.h"
#include "settings/channel_settings.h"
#include "scan/default_par.h"
#include "scan/include/scan.h"

namespace {

std::string channel_title(const char* what, int channel) {
  return std::string(what) + ", channel " + std::to_string(channel == 1 ? 1 : 0);
}

// The field in the map colours over the range of its heights; white where
// there is no data (and everywhere when there is none). The range is widened
// upwards by the topmost slice, which the classes leave white, so that the
// highest point has a colour.
Picture field_picture(const HeightField& field) {
  HeightMatrix map(field.cols, field.rows, std::numeric_limits<double>::quiet_NaN());
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (int row = 0; row < field.rows; ++row) {
    for (int col = 0; col < field.cols; ++col) {
      const double z = field.at(col, row);
      map(col, row) = z;
      if (!std::isfinite(z)) continue;
      low = std::min(low, z);
      high = std::max(high, z);
    }
  }
  Picture picture(field.cols, field.rows);
  if (low > high) low = high = 0.0;
  const double top = low + (high - low) * 255.0 / level_thresholds(kMapColourClasses).back();
  render_map(map, 0, field.cols - 1, 0, field.rows - 1, kMapColourClasses, picture, colour_blue,
             colour_red, colour_green, low, top);
  return picture;
}

}  // namespace

HeightExport residual_export(int channel, const HeightMatrix& residual, const HeightMatrix& measured,
                             const ProfileGeometry& geometry, double mask_radius,
                             const Picture& map_picture) {
  return {residual_field(residual, measured, geometry.field_x, geometry.field_y, mask_radius,
                         channel_title("residual to the sphere", channel)),
          map_picture};
}

HeightExport figure_map_export(int channel, const HeightMatrix& values, double field, const char* what) {
  HeightExport out;
  HeightField& f = out.field;
  f.cols = values.nx();
  f.rows = values.ny();
  f.step_x = f.step_y = field / kMapSide;
  f.title = channel_title(what, channel);
  f.heights.reserve(static_cast<std::size_t>(f.cols) * static_cast<std::size_t>(f.rows));
  for (int row = 0; row < f.rows; ++row)
    for (int col = 0; col < f.cols; ++col) f.heights.push_back(values(col, row));
  out.picture = field_picture(f);
  return out;
}

HeightExport profile_export(int channel) {
  const ProfileHeights grid = read_profile_grid(profile_file(channel));
  ScnPar par = kDefaultScnPar;
  scn_LoadPar(&par, channel_files(channel).scan, scan_section);
  return profile_export(channel, grid, par.DepthLimit);
}

HeightExport profile_export(int channel, const ProfileHeights& grid, double depth_limit) {
  HeightExport out{profile_field(grid.heights, grid.step_x, grid.step_y, depth_limit,
                                 channel_title("measured profile", channel)),
                   Picture()};
  out.picture = field_picture(out.field);
  return out;
}

void write_height_export(const HeightExport& data, HeightFormat format, const std::string& file) {
  switch (format) {
    case HeightFormat::gsf:
      replace_file(file, gsf_bytes(data.field));
      break;
    case HeightFormat::csv:
      replace_file(file, csv_bytes(data.field));
      break;
    case HeightFormat::xyz:
      replace_file(file, xyz_bytes(data.field));
      break;
    case HeightFormat::ply:
      replace_file(file, ply_bytes(data.field));
      break;
    case HeightFormat::png:
      save_png(rgb_samples(data.picture), file);
      break;
  }
}
