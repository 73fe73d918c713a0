// The geometry of a channel: the telecentric one the engine's triangulation
// assumes (parallel camera rays, parallel planes of light at the angle; the
// default, with which every picture and height stays as it always was) or a
// pinhole camera and projector with lenses, both aimed at the apex.
//
// The pinhole frame is the sphere's: x to the right and y up as the picture's
// columns and rows run, z along the camera axis towards the camera, the apex
// at the origin (heights z are 0 there and negative away from it, as the
// synthesis's). The camera's centre lies `camera.distance` above the apex
// (shifted by the apex offsets of the image settings, so that its principal
// point sees where the telecentric image centre lies), looking down -z, its
// columns along x and its rows along y. The projector's centre lies
// `projector_distance()` from the apex in the x-z plane, `angle_deg` from the
// camera axis on the -x side, looking at the apex; its columns run along
// (cos a, 0, sin a), its rows along y, and its fringes are columns of
// constant phase 2 pi (u - principal_x) / period + shift.
#pragma once

#include <string>

#include "optics/lens.h"
#include "optics/vec3.h"

enum class SystemModel { telecentric, pinhole };

struct Camera {
  Lens lens;
  double distance = 80.0;  // working distance, centre of projection to apex, mm
  bool operator==(const Camera&) const = default;
};

struct Projector {
  Lens lens;
  int width = 1920;           // pixels of its image
  int height = 1080;
  double period = 10.0;       // fringe period, projector pixels, for the channel's fringe period
  bool operator==(const Projector&) const = default;
};

struct OpticalSystem {
  SystemModel model = SystemModel::telecentric;
  Camera camera;
  Projector projector;
  double angle_deg = 30.0;   // triangulation angle between the optical axes, degrees
  double baseline = 0.0;     // distance between the centres of projection, mm

  bool operator==(const OpticalSystem&) const = default;
  bool pinhole() const { return model == SystemModel::pinhole; }
  // The projector's distance from the apex that the baseline gives:
  //   b^2 = D^2 + Dp^2 - 2 D Dp cos(a)  =>  Dp = D cos a + sqrt(b^2 - D^2 sin^2 a);
  // NaN when the baseline is shorter than D sin a (no such triangle).
  double projector_distance() const;
};

// "telecentric" or "pinhole", the words of the settings file.
const char* system_model_name(SystemModel model);

// The default pinhole system for a camera image of `width` x `height`
// pixels: it sees at the apex what the telecentric default sees (0.01 mm per
// pixel, a fringe period of 10 pixels on the flat, 30 degrees), through a
// 40 mm lens with 5 um pixels at 80 mm, k1 -0.2, and a 1920 x 1080 projector
// of 7.6 um pixels behind a 50 mm lens at 80 mm (the baseline 2 * 80 sin 15
// degrees), k1 -0.1. docs/systems.md derives the numbers.
OpticalSystem default_pinhole_system(int width = 1280, int height = 1024);

// The camera pixel (column, row) of a point through the camera's lens, and
// the projector's (u, v); nothing for a point not in front of the device.
struct PinholePose {
  Vec3 camera_centre;
  Vec3 projector_centre;
  Vec3 projector_u;     // the projector's column axis
  Vec3 projector_v;     // its row axis
  Vec3 projector_axis;  // its viewing direction
};
// The pose of `system` for the apex offsets (mm: the apex offset_x right of
// and offset_y above the image centre).
PinholePose pinhole_pose(const OpticalSystem& system, double offset_x, double offset_y);

// Empty for a pinhole system that can measure (a telecentric one always
// can), else the first fault as "<Key> <what>": "CameraFocalLength must be
// greater than 0 (read -1)", "Angle ...", "ProjectorK1 folds the
// projector's image within its field", "WorkingDistance: the camera lies
// within the sphere ...", "ProjectorPrincipalX: the projector does not light
// the sphere's apex ...". `radius` is the sphere's (mm), `width` x `height`
// the camera image.
std::string system_problem(const OpticalSystem& system, double radius, int width, int height);
