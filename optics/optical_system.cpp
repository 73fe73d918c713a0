#include "optics/optical_system.h"

#include <cmath>
#include <cstdio>
#include <numbers>

double OpticalSystem::projector_distance() const {
  const double a = angle_deg * std::numbers::pi / 180.0;
  const double d = camera.distance;
  const double across = d * std::sin(a);
  const double left = baseline * baseline - across * across;
  if (!(left >= 0.0)) return std::nan("");
  return d * std::cos(a) + std::sqrt(left);
}

const char* system_model_name(SystemModel model) {
  return model == SystemModel::pinhole ? "pinhole" : "telecentric";
}

OpticalSystem default_pinhole_system(int width, int height) {
  OpticalSystem s;
  s.model = SystemModel::pinhole;
  s.camera.lens = {40.0, 0.005, (width - 1) * 0.5, (height - 1) * 0.5, -0.2, 0.0, 0.0, 0.0};
  s.camera.distance = 80.0;
  s.projector.width = 1920;
  s.projector.height = 1080;
  s.projector.lens = {50.0, 0.0076, (s.projector.width - 1) * 0.5, (s.projector.height - 1) * 0.5, -0.1, 0.0, 0.0, 0.0};
  s.angle_deg = 30.0;
  const double a = s.angle_deg * std::numbers::pi / 180.0;
  const double projector_distance = 80.0;
  s.baseline = 2.0 * projector_distance * std::sin(a / 2.0);
  // A fringe of 0.1 mm on the flat (10 camera pixels of 0.01 mm) is
  // 0.1 cos(a) mm across the projector's beam; one projector pixel covers
  // pitch * distance / f there.
  const double projector_pixel_mm = s.projector.lens.pitch_mm * projector_distance / s.projector.lens.focal_mm;
  s.projector.period = 0.1 * std::cos(a) / projector_pixel_mm;
  return s;
}

PinholePose pinhole_pose(const OpticalSystem& system, double offset_x, double offset_y) {
  const double a = system.angle_deg * std::numbers::pi / 180.0;
  const double dp = system.projector_distance();
  PinholePose pose;
  pose.camera_centre = {-offset_x, -offset_y, system.camera.distance};
  pose.projector_axis = {std::sin(a), 0.0, -std::cos(a)};
  pose.projector_centre = {-dp * std::sin(a), 0.0, dp * std::cos(a)};
  pose.projector_u = {std::cos(a), 0.0, std::sin(a)};
  pose.projector_v = {0.0, 1.0, 0.0};
  return pose;
}

namespace {

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// The lens's faults, keys named with `device` ("Camera" or "Projector").
// The field is the image's pixels; the distortion must not fold it.
std::string lens_problem(const Lens& lens, const std::string& device, int width, int height) {
  const auto bad = [&](const char* key, double value, const char* what) {
    return device + key + " " + what + " (read " + number(value) + ")";
  };
  if (!(std::isfinite(lens.focal_mm) && lens.focal_mm > 0.0))
    return bad("FocalLength", lens.focal_mm, "must be greater than 0 mm");
  if (!(std::isfinite(lens.pitch_mm) && lens.pitch_mm > 0.0))
    return bad("PixelPitch", lens.pitch_mm, "must be greater than 0 mm");
  if (!std::isfinite(lens.principal_x)) return bad("PrincipalX", lens.principal_x, "is not a finite number");
  if (!std::isfinite(lens.principal_y)) return bad("PrincipalY", lens.principal_y, "is not a finite number");
  const struct {
    const char* key;
    double value;
  } terms[] = {{"K1", lens.k1}, {"K2", lens.k2}, {"P1", lens.p1}, {"P2", lens.p2}};
  for (const auto& term : terms)
    if (!std::isfinite(term.value)) return bad(term.key, term.value, "is not a finite number");
  // The field in normalised coordinates, a quarter wider on every side than
  // the image's corners (undistorted and distorted points differ little
  // where the distortion does not fold): the Jacobian must stay positive.
  const double s = lens.scale();
  const double x0 = (-0.5 - lens.principal_x) / s, x1 = (width - 0.5 - lens.principal_x) / s;
  const double y0 = (-0.5 - lens.principal_y) / s, y1 = (height - 0.5 - lens.principal_y) / s;
  const double mx = 0.25 * (x1 - x0), my = 0.25 * (y1 - y0);
  constexpr int kSamples = 32;
  for (int i = 0; i <= kSamples; ++i)
    for (int j = 0; j <= kSamples; ++j) {
      const Point2 p{x0 - mx + (x1 - x0 + 2.0 * mx) * j / kSamples, y0 - my + (y1 - y0 + 2.0 * my) * i / kSamples};
      if (!(distortion_jacobian(lens, p) > 0.0)) {
        const char* key = lens.k2 != 0.0 ? "K2" : lens.k1 != 0.0 ? "K1" : lens.p1 != 0.0 ? "P1" : "P2";
        return device + key + " folds the " + (device == "Camera" ? "camera" : "projector") +
               "'s image within its field (the distortion turns back at x " + number(p.x) + ", y " + number(p.y) +
               " of the normalised image)";
      }
    }
  return "";
}

}  // namespace

std::string system_problem(const OpticalSystem& s, double radius, int width, int height) {
  if (!s.pinhole()) return "";
  if (std::string why = lens_problem(s.camera.lens, "Camera", width, height); !why.empty()) return why;
  if (std::string why = lens_problem(s.projector.lens, "Projector", s.projector.width, s.projector.height);
      !why.empty())
    return why;
  if (!(s.projector.width >= 1 && s.projector.width <= 65536))
    return "ProjectorXPixels must lie between 1 and 65536 (read " + std::to_string(s.projector.width) + ")";
  if (!(s.projector.height >= 1 && s.projector.height <= 65536))
    return "ProjectorYPixels must lie between 1 and 65536 (read " + std::to_string(s.projector.height) + ")";
  if (!(std::isfinite(s.projector.period) && s.projector.period > 0.0))
    return "ProjectorPeriod must be greater than 0 projector pixels (read " + number(s.projector.period) + ")";
  if (!(std::isfinite(s.angle_deg) && s.angle_deg > 0.0 && s.angle_deg < 90.0))
    return "Angle must lie between 0 and 90 degrees, both excluded: a projector at 90 degrees or more cannot "
           "light the sphere's front (read " + number(s.angle_deg) + ")";
  if (!(std::isfinite(s.camera.distance) && s.camera.distance > radius))
    return "WorkingDistance: the camera must lie outside the sphere, more than its radius " + number(radius) +
           " mm from the apex (read " + number(s.camera.distance) + ")";
  const double dp = s.projector_distance();
  if (!(std::isfinite(s.baseline) && std::isfinite(dp)))
    return "Baseline must be at least WorkingDistance sin(Angle) = " +
           number(s.camera.distance * std::sin(s.angle_deg * std::numbers::pi / 180.0)) +
           " mm, or no projector at that angle has it (read " + number(s.baseline) + ")";
  if (!(dp > radius))
    return "Baseline puts the projector " + number(dp) + " mm from the apex, within the sphere of radius " +
           number(radius) + " mm: it cannot light the sphere";
  // The apex must be lit: it lies on the projector's axis, so its pixel is
  // the principal point.
  const Lens& p = s.projector.lens;
  if (!(p.principal_x >= 0.0 && p.principal_x <= s.projector.width - 1.0))
    return "ProjectorPrincipalX: the projector does not light the sphere's apex (its axis meets the apex at "
           "column " + number(p.principal_x) + ", outside its 0.." + std::to_string(s.projector.width - 1) + ")";
  if (!(p.principal_y >= 0.0 && p.principal_y <= s.projector.height - 1.0))
    return "ProjectorPrincipalY: the projector does not light the sphere's apex (its axis meets the apex at "
           "row " + number(p.principal_y) + ", outside its 0.." + std::to_string(s.projector.height - 1) + ")";
  return "";
}
