// A channel's system file (./system.ini, ./system_1.ini): the camera and the
// projector that take its pictures (optics/optical_system.h). Without the file,
// or with Model=telecentric, the channel works exactly as it always has.
//
// File lines (CR LF, keys without regard to case; a missing key keeps the
// default pinhole system's value, docs/systems.md):
//   Model=pinhole                telecentric or pinhole
//   CameraFocalLength=40         mm, > 0
//   CameraPixelPitch=0.005       mm, > 0
//   CameraPrincipalX=639.5       pixels; empty: the image centre
//   CameraPrincipalY=511.5
//   CameraK1=-0.2  CameraK2=0  CameraP1=0  CameraP2=0
//   WorkingDistance=80           camera centre to apex, mm
//   ProjectorFocalLength=50  ProjectorPixelPitch=0.0076
//   ProjectorXPixels=1920  ProjectorYPixels=1080
//   ProjectorPrincipalX=959.5  ProjectorPrincipalY=539.5   empty: its centre
//   ProjectorK1=-0.1  ProjectorK2=0  ProjectorP1=0  ProjectorP2=0
//   ProjectorPeriod=7.12...      projector pixels, for the channel's fringe period
//   Angle=30                     degrees between the optical axes
//   Baseline=41.41...            mm between the centres of projection
#pragma once

#include <string>
#include <vector>

#include "optics/optical_system.h"

// "./system.ini" or "./system_1.ini"; any channel but 1 counts as 0.
const char* system_file(int channel);

// The file's lines for `system`; numbers as the shortest text that reads back
// as the same value. A telecentric system is the one line Model=telecentric.
std::vector<std::string> system_settings_lines(const OpticalSystem& system);

// Reads the lines (empty: telecentric) for a camera image of width x height
// pixels and a sphere of `radius` mm, and checks the system
// (system_problem). Throws SettingsError naming `file` and the key:
// `system.ini: CameraFocalLength = "-1" must be greater than 0 mm`,
// `system.ini: Model = "fisheye" is not telecentric or pinhole`,
// `system.ini: ProjectorK1 folds the projector's image within its field ...`.
OpticalSystem read_system_settings(const std::vector<std::string>& lines, const std::string& file, int width,
                                   int height, double radius);

// Reads and checks a system file (FileError when it cannot be read).
OpticalSystem read_system_file(const std::string& file, int width, int height, double radius);

// The channel's system: its file's when the file exists (read and checked as
// above), else the telecentric one.
OpticalSystem channel_system(int channel, int width, int height, double radius);

// Writes the file whole; throws FileError `Cannot create file "<file>"`.
void write_system_file(const std::string& file, const OpticalSystem& system);
