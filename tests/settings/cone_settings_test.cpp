// Cones in the surface settings file and the surface's short text.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "settings/surface_settings.h"
#include "temp_dir.h"

namespace {

Surface coned(SurfaceModel model, std::vector<Cone> cones) {
  Surface s{.model = model, .rx = 7.6, .ry = 7.9, .axis_deg = 30.0, .q = -0.2};
  if (model == SurfaceModel::sphere) s = Surface{};
  s.cones = std::move(cones);
  return s;
}

TEST(ConeFile, FourKeysPerConeAfterTheFiveLines) {
  TempDir dir;
  const Surface s = coned(SurfaceModel::biconic, {{10.0, 0.5, -1.0, 0.8}, {-2.5, 0.0, 1.0 / 3.0, 2.0}});
  write_surface_file("surface.ini", s);
  EXPECT_EQ(read_file_bytes("surface.ini"),
            "Model=biconic\r\nRx=7.6\r\nRy=7.9\r\nAxis=30\r\nQ=-0.2\r\n"
            "Cone1Height=10\r\nCone1X=0.5\r\nCone1Y=-1\r\nCone1Width=0.8\r\n"
            "Cone2Height=-2.5\r\nCone2X=0\r\nCone2Y=0.3333333333333333\r\nCone2Width=2\r\n");
  EXPECT_EQ(read_surface_file("surface.ini"), s);
  // The sphere carries cones too; a cone is there when its height is, its
  // centre defaults to the apex and its width to 1 mm; numbering may skip.
  EXPECT_EQ(parse_surface_lines({"Model=sphere", "cone3height=7", "Cone3Y=2"}),
            coned(SurfaceModel::sphere, {{7.0, 0.0, 2.0, 1.0}}));
  EXPECT_EQ(parse_surface_lines({"Model=sphere", "Cone2Height=1", "Cone1Height=2"}),
            coned(SurfaceModel::sphere, {{2.0, 0.0, 0.0, 1.0}, {1.0, 0.0, 0.0, 1.0}}));
}

TEST(ConeFile, FaultsInBothWordings) {
  struct Case {
    std::vector<std::string> lines;
    std::string message, strict;
  } cases[] = {
      {{"Model=sphere", "Cone1X=1"}, "Cone1Height is missing", "surface.ini: Cone1Height is missing"},
      {{"Model=sphere", "Cone1Height=abc"},
       "Cone1Height: 'abc' is not a valid floating point value",
       "surface.ini: Cone1Height = \"abc\" is not a number"},
      {{"Model=sphere", "Cone1Height=5", "Cone1Width=0"},
       "cone 1: the width must lie between 0.01 and 100 mm (read 0)",
       "surface.ini: cone 1: the width must lie between 0.01 and 100 mm (read 0)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(error_of([&] { parse_surface_lines(c.lines); }), c.message);
    EXPECT_EQ(error_of([&] { read_surface_settings(c.lines, "surface.ini"); }), c.strict);
  }
}

TEST(ConeText, ItemsOfTheSurfaceTextAndTheWindowsBox) {
  EXPECT_EQ(parse_surface_text("sphere:cone=10/0.5/-1/0.8"), coned(SurfaceModel::sphere, {{10.0, 0.5, -1.0, 0.8}}));
  EXPECT_EQ(parse_surface_text("biconic:rx=7.6,cone=1/2/3/4,ry=7.9,axis=30,q=-0.2,CONE=-5/0/0/0.5"),
            coned(SurfaceModel::biconic, {{1.0, 2.0, 3.0, 4.0}, {-5.0, 0.0, 0.0, 0.5}}));
  EXPECT_EQ(parse_cones_text(" 10/0.5/-1/0.8;5/0/0/1  "), (std::vector<Cone>{{10.0, 0.5, -1.0, 0.8}, {5.0, 0.0, 0.0, 1.0}}));
  EXPECT_TRUE(parse_cones_text("  ").empty());
  EXPECT_EQ(cone_text({10.0, 0.5, -1.0, 1.0 / 3.0}), "10/0.5/-1/0.3333333333333333");
  EXPECT_EQ(surface_summary(coned(SurfaceModel::sphere, {{10.0, 0.5, -1.0, 0.8}})), "sphere cone=10/0.5/-1/0.8");

  const std::pair<const char*, const char*> bad[] = {
      {"sphere:cone=10/0.5/-1", "surface 'sphere:cone=10/0.5/-1': cone '10/0.5/-1': give height/x/y/width "
                                "(microns, mm, mm, mm), e.g. 10/0.5/-1/1"},
      {"sphere:cone=1/2/3/4/5", "surface 'sphere:cone=1/2/3/4/5': cone '1/2/3/4/5': give height/x/y/width "
                                "(microns, mm, mm, mm), e.g. 10/0.5/-1/1"},
      {"sphere:cone=1/x/3/4", "surface 'sphere:cone=1/x/3/4': cone '1/x/3/4': x: 'x' is not a valid floating point value"},
      {"sphere:cone=1/0/0/0", "surface 'sphere:cone=1/0/0/0': cone 1: the width must lie between 0.01 and 100 mm (read 0)"},
      {"sphere:rx=7,cone=1/0/0/1", "surface 'sphere:rx=7,cone=1/0/0/1': the sphere takes no numbers (its radius is the set one)"},
  };
  for (auto [text, message] : bad) EXPECT_EQ(error_of([text] { parse_surface_text(text); }), message) << text;
}

}  // namespace
