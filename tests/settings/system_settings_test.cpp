// A channel's system file: the default system, the lines written and read
// back, and the refusals, each naming the file and the key.
#include "settings/system_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "settings/channel_parameters.h"
#include "temp_dir.h"

namespace {

TEST(SystemSettings, NoFileOrTelecentricIsTodaysGeometry) {
  EXPECT_EQ(read_system_settings({}, "./system.ini", 1280, 1024, 7.5), OpticalSystem{});
  EXPECT_EQ(read_system_settings({"Model=telecentric", "CameraK1=5"}, "./system.ini", 1280, 1024, 7.5),
            OpticalSystem{});
  // The keys left out keep the default pinhole system's values.
  EXPECT_EQ(read_system_settings({"Model=pinhole"}, "./system.ini", 1280, 1024, 7.5), default_pinhole_system());
}

TEST(SystemSettings, LinesRoundTripWithCrLf) {
  TempDir dir;
  OpticalSystem s = default_pinhole_system(640, 480);
  s.camera.lens.focal_mm = 35.5;
  s.camera.lens.p2 = -1.5e-4;
  s.projector.width = 1280;
  s.projector.height = 800;
  s.projector.lens.principal_x = 600.25;
  s.projector.lens.principal_y = 410;
  s.angle_deg = 25;
  write_system_file("system_1.ini", s);
  const std::string bytes = read_file_bytes("system_1.ini");
  EXPECT_EQ(bytes.rfind("Model=pinhole\r\nCameraFocalLength=35.5\r\n", 0), 0u) << bytes;
  EXPECT_EQ(read_system_file("system_1.ini", 640, 480, 7.5), s);
  // A projector of another size centres its principal point unless given.
  const OpticalSystem small =
      read_system_settings({"Model=pinhole", "ProjectorXPixels=1280", "ProjectorYPixels=720"}, "x", 1280, 1024, 7.5);
  EXPECT_EQ(small.projector.lens.principal_x, 639.5);
  EXPECT_EQ(small.projector.lens.principal_y, 359.5);
}

TEST(SystemSettings, BadSystemsAreRefusedNamingTheKey) {
  const struct {
    std::vector<std::string> lines;
    const char* words;
  } cases[] = {
      {{"Model=fisheye"}, "system.ini: Model = \"fisheye\" is not telecentric or pinhole"},
      {{"Model=pinhole", "CameraFocalLength=-1"}, "system.ini: CameraFocalLength must be greater than 0 mm (read -1)"},
      {{"Model=pinhole", "CameraFocalLength=0"}, "system.ini: CameraFocalLength must be greater than 0 mm (read 0)"},
      {{"Model=pinhole", "ProjectorFocalLength=abc"}, "system.ini: ProjectorFocalLength = \"abc\" is not a number"},
      {{"Model=pinhole", "ProjectorXPixels=12.5"}, "system.ini: ProjectorXPixels = \"12.5\" is not a whole number"},
      {{"Model=pinhole", "Angle=95"}, "system.ini: Angle must lie between 0 and 90 degrees"},
      {{"Model=pinhole", "ProjectorPrincipalX=-400"}, "system.ini: ProjectorPrincipalX: the projector does not light"},
      {{"Model=pinhole", "CameraK1=-40"}, "system.ini: CameraK1 folds the camera's image within its field"},
      {{"Model=pinhole", "WorkingDistance=6"}, "system.ini: WorkingDistance: the camera must lie outside the sphere"},
  };
  for (const auto& c : cases) {
    const std::string error = error_of<SettingsError>([&] { read_system_settings(c.lines, "./system.ini", 1280, 1024, 7.5); });
    EXPECT_EQ(error.rfind(c.words, 0), 0u) << error;
  }
}

TEST(SystemSettings, TheChannelsParametersCarryItsSystem) {
  ChannelSettings files;
  files.scan = scan_settings_lines({});
  files.image = image_settings_lines({});
  files.system = {"Model=pinhole", "Angle=25"};
  const ChannelParameters p = channel_parameters(files, "64");
  EXPECT_TRUE(p.sim.system.pinhole());
  EXPECT_EQ(p.sim.system.angle_deg, 25.0);
  files.system = {"Model=pinhole", "CameraFocalLength=0"};
  EXPECT_THROW(channel_parameters(files, "64"), SettingsError);
}

}  // namespace
