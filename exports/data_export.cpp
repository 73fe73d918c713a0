#include "exports/data_export.h"

#include <vector>

#include "analysis/height_text_file.h"
#include "common/number_text.h"
#include "common/round_trip_number.h"
#include "common/settings_file.h"

namespace {

constexpr int kCentre = kMapSide / 2;

std::string scan_value(double v) { return number_text(v, 4, 4); }

std::vector<std::string> row_lines(const HeightMatrix& map, int y) {
  std::vector<std::string> lines;
  lines.reserve(kMapSide);
  for (int x = 0; x < kMapSide; ++x) lines.push_back(scan_value(map(x, y)));
  return lines;
}

std::vector<std::string> column_lines(const HeightMatrix& map, int x) {
  std::vector<std::string> lines;
  lines.reserve(kMapSide);
  for (int y = 0; y < kMapSide; ++y) lines.push_back(scan_value(map(x, y)));
  return lines;
}

}  // namespace

std::vector<std::string> parameter_summary(const std::vector<std::string>& settings, double field_x,
                                           const Surface& surface) {
  // Other programs read these lines: the labels, "vertival" included, stay
  // exactly as they have always been written.
  std::vector<std::string> lines = {
      "x dimension in pixels      : " + settings_value(settings, "XPixels"),
      "y dimension in pixels      : " + settings_value(settings, "YPixels"),
      "resolution in mm/pixel     : " + settings_value(settings, "XRes"),
      "wavelength in pixels       : " + settings_value(settings, "LambdaF"),
      "triangulation angle in deg : " + settings_value(settings, "Alpha"),
      "radius in mm               : " + settings_value(settings, "Radius"),
      "horizontal and vertival line scans: " + std::to_string(kMapSide) + " data points, " +
          number_text(field_x / kMapSide, 4, 2) + " mm/point",
  };
  // The surface only where it is not the sphere, and only at the end.
  if (surface.model != SurfaceModel::sphere) {
    lines.push_back(std::string("surface model              : ") + surface_model_name(surface.model));
    lines.push_back("radius Rx in mm            : " + round_trip_text(surface.rx));
    lines.push_back("radius Ry in mm            : " + round_trip_text(surface.ry));
    lines.push_back("axis of Rx in deg          : " + round_trip_text(surface.axis_deg));
    lines.push_back("conic constant Q           : " + round_trip_text(surface.q));
  }
  for (std::size_t k = 0; k < surface.cones.size(); ++k) {
    const Cone& c = surface.cones[k];
    lines.push_back("cone " + std::to_string(k + 1) + " h/x/y/sigma (um/mm) : " + round_trip_text(c.height_um) + " " +
                    round_trip_text(c.x_mm) + " " + round_trip_text(c.y_mm) + " " + round_trip_text(c.width_mm));
  }
  return lines;
}

void save_data_set(const std::string& base, const Picture& raw_image, const Picture& map_image,
                   const HeightMatrix& channel_map, const HeightMatrix& measured_map,
                   const std::string& settings_file, double field_x, double field_y,
                   const Surface& surface) {
  // The settings are read first: a missing file then leaves no half set.
  const std::vector<std::string> summary = parameter_summary(read_lines(settings_file), field_x, surface);
  raw_image.save_bmp(base + "_gray.bmp");
  map_image.save_bmp(base + "_col.bmp");
  write_heights(base + "_heights.txt", channel_map, kMapSide, kMapSide, field_x * (1.0 / kMapSide),
                field_y * (1.0 / kMapSide));
  write_lines(base + "_hor_scan.txt", row_lines(channel_map, kCentre));
  write_lines(base + "_hor_scan_profile.txt", row_lines(measured_map, kCentre));
  write_lines(base + "_vert_scan.txt", column_lines(channel_map, kCentre));
  write_lines(base + "_vert_scan_profile.txt", column_lines(measured_map, kCentre));
  write_lines(base + "_parameter.txt", summary);
}
