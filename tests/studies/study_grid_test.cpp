// The grid of a study: --vary texts, domains, run order, seeds and limits.
#include "studies/study_grid.h"

#include <gtest/gtest.h>

#include "common/settings_file.h"
#include "error_of.h"
#include "settings/channel_settings.h"

namespace {

StudyRunSettings default_base() {
  const ChannelSettingsTexts texts;
  StudyRunSettings base;
  base.scan = scan_settings_lines(texts);
  base.image = image_settings_lines(texts);
  return base;
}

std::vector<StudyAxis> axes(std::initializer_list<const char*> texts) {
  std::vector<StudyAxis> result;
  for (const char* text : texts) result.push_back(parse_study_axis(text));
  return result;
}

TEST(StudyAxis, RangesAndLists) {
  const struct {
    const char* text;
    std::vector<double> values;
  } cases[] = {
      {"noise=0:1:11", {0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1}},
      {"contrast=0.25,0.5,1", {0.25, 0.5, 1}},
      {"contrast=1:0.25:4", {1, 0.75, 0.5, 0.25}},  // descending
      {"period=12", {12}},
      {"period=8:8:1", {8}},
      {"angle=1e1,.5e2", {10, 50}},
      {"passes=0:1024:3", {0, 512, 1024}},
      {"pixel_size=0.005:0.02:4", {0.005, 0.01, 0.015, 0.02}},
  };
  for (const auto& c : cases) {
    const StudyAxis axis = parse_study_axis(c.text);
    EXPECT_EQ(axis.values, c.values) << c.text << ": values exact, the last one b itself";
  }
  EXPECT_STREQ(parse_study_axis("mask_radius=2").parameter->name, "mask_radius");
}

TEST(StudyAxis, BadTextsAreNamedWithTheReason) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"noise", "--vary \"noise\": expected NAME=VALUES"},
      {"nois=0:1:5",
       "--vary \"nois=0:1:5\": unknown parameter \"nois\"; the parameters are contrast, noise, "
       "period, angle, radius, mask_radius, passes, pixel_size, rx, ry, axis, q, cone_height, cone_x, cone_y, "
       "cone_width, method, steps, gamma, blur, bits, ambient"},
      {"Noise=0.5", "unknown parameter \"Noise\""},
      {"noise=", "no values"},
      {"noise=0:1", "malformed values \"0:1\""},
      {"noise=0:1:2:3", "malformed values"},
      {"noise=0:1:x", "\"x\" is not a number"},
      {"noise=0:1:2.5", "the count \"2.5\" is not a whole number of at least 1"},
      {"noise=0:1:0", "not a whole number of at least 1"},
      {"noise=0:1:1", "a:b:1 holds one value, so a and b must be equal"},
      {"noise=0:1:2000000", "more than 1000000 values"},
      {"noise=0.1,,0.2", "\"\" is not a number"},
      {"noise=0.1;0.2", "\"0.1;0.2\" is not a number"},
      {"noise= 0.5", "\" 0.5\" is not a number"},
      {"noise=nan", "\"nan\" is not a number"},
      {"noise=1.5", "noise=1.5 is outside 0..1"},
      {"noise=-0.5:1:4", "noise=-0.5 is outside 0..1"},
      {"angle=0:60:3", "angle=0 must lie strictly between 0 and 90"},
      {"angle=90", "must lie strictly between 0 and 90"},
      {"mask_radius=0.1", "mask_radius=0.1 must be greater than 0.1 and at most 10"},
      {"radius=6.5", "radius=6.5 is outside 6.7..9.6"},
      {"passes=2.5", "passes=2.5 is not a whole number"},
      {"passes=1025", "outside 0..1024"},
      {"period=1", "period=1 is outside 2..200"},
      {"pixel_size=0", "outside 0.001..0.1"},
      {"contrast=0.5,1,0.5", "the value 0.5 is given twice"},
      {"contrast=0.5:0.5:3", "the value 0.5 is given twice"},
  };
  for (const auto& c : cases) {
    const std::string message = error_of<StudyError>([&] { parse_study_axis(c.text); });
    EXPECT_NE(message.find(c.message), std::string::npos) << c.text << " gave: " << message;
  }
}

TEST(StudyPlan, RunOrderSeedsAndSettings) {
  const StudyPlan plan(default_base(), axes({"noise=0:1:3", "period=8,12"}), 2, 7);
  ASSERT_EQ(plan.point_count(), 6u);
  ASSERT_EQ(plan.run_count(), 12u);
  // Grid point after grid point, the last parameter fastest; repeats inside.
  const struct {
    std::size_t run;
    double noise, period;
    int repeat;
    uint32_t seed;
  } rows[] = {{0, 0, 8, 0, 7}, {1, 0, 8, 1, 8}, {2, 0, 12, 0, 7}, {5, 0.5, 8, 1, 8},
              {9, 1, 8, 1, 8}, {11, 1, 12, 1, 8}};
  for (const auto& r : rows) {
    EXPECT_EQ(plan.point_values(plan.point_of(r.run)), (std::vector<double>{r.noise, r.period}))
        << "run " << r.run;
    EXPECT_EQ(plan.repeat_of(r.run), r.repeat) << "run " << r.run;
    EXPECT_EQ(plan.seed_of(r.run), r.seed) << "run " << r.run;
    EXPECT_EQ(plan.run_of({r.noise, r.period}, r.repeat), r.run);
    const StudyRunSettings s = plan.run_settings(r.run);
    EXPECT_EQ(s.noise, r.noise);
    EXPECT_EQ(s.seed, r.seed);
    // The period reaches the engine's file and the synthesis' file.
    const std::string period = r.period == 8 ? "8" : "12";
    EXPECT_EQ(settings_value(s.scan, "LambdaF"), period);
    EXPECT_EQ(settings_value(s.image, "LambdaF"), period);
  }
  EXPECT_FALSE(plan.run_of({0.25, 8}, 0)) << "not on the grid";
  EXPECT_FALSE(plan.run_of({0, 8}, 2)) << "no third repeat";
  EXPECT_FALSE(plan.run_of({0}, 0));
}

TEST(StudyPlan, EachParameterReachesItsSettings) {
  const StudyPlan plan(default_base(),
                       axes({"contrast=0.25", "angle=22.5", "radius=8.1", "mask_radius=2.75",
                             "passes=5", "pixel_size=0.0125"}),
                       1, 1);
  const StudyRunSettings s = plan.run_settings(0);
  EXPECT_EQ(s.contrast, 0.25);
  EXPECT_EQ(settings_value(s.scan, "Alpha"), "22.5");
  EXPECT_EQ(settings_value(s.image, "Alpha"), "22.5");
  EXPECT_EQ(settings_value(s.image, "Radius"), "8.1");
  EXPECT_EQ(settings_value(s.scan, "MaskRadius"), "2.75");
  EXPECT_EQ(settings_value(s.scan, "NFilt"), "5");
  for (const char* key : {"CamResX", "CamResY"}) EXPECT_EQ(settings_value(s.scan, key), "0.0125");
  for (const char* key : {"XRes", "YRes"}) EXPECT_EQ(settings_value(s.image, key), "0.0125");
  EXPECT_EQ(s.scan.size(), default_base().scan.size()) << "keys replaced, none added";
}

TEST(StudyPlan, BiconicNumbersStartFromTheSphereOrTheChannelsBiconic) {
  // Without a surface file: the sphere of the set radius becomes a biconic,
  // changed in the one number varied.
  const StudyPlan from_sphere(default_base(), axes({"rx=7.6", "q=-0.25"}), 1, 1);
  EXPECT_EQ(from_sphere.run_settings(0).surface,
            (std::vector<std::string>{"Model=biconic", "Rx=7.6", "Ry=7.5", "Axis=0", "Q=-0.25"}));
  // A channel that simulates a biconic keeps its other numbers; a sphere
  // file is the sphere of the set radius whatever numbers it keeps.
  StudyRunSettings base = default_base();
  base.surface = {"Model=Biconic", "Rx=7.7", "Ry=7.9", "Axis=15", "Q=-0.1"};
  EXPECT_EQ(StudyPlan(base, axes({"axis=40"}), 1, 1).run_settings(0).surface,
            (std::vector<std::string>{"Model=Biconic", "Rx=7.7", "Ry=7.9", "Axis=40", "Q=-0.1"}));
  base.surface = {"Model=sphere", "Rx=9", "Ry=9", "Axis=0", "Q=0"};
  EXPECT_EQ(StudyPlan(base, axes({"ry=8"}), 1, 1).run_settings(0).surface,
            (std::vector<std::string>{"Model=biconic", "Rx=7.5", "Ry=8", "Axis=0", "Q=0"}));
  // Studies of the sphere do not touch the surface.
  EXPECT_TRUE(StudyPlan(default_base(), axes({"noise=0.5"}), 1, 1).run_settings(0).surface.empty());
}

TEST(StudyPlan, ConeNumbersGoToTheFirstConeOfEitherModel) {
  // Without a surface file the sphere carries the cone.
  const StudyPlan from_sphere(default_base(), axes({"cone_height=12", "cone_width=0.7"}), 1, 1);
  EXPECT_EQ(from_sphere.run_settings(0).surface,
            (std::vector<std::string>{"Model=sphere", "Cone1Height=12", "Cone1Width=0.7"}));
  // A biconic keeps its numbers and its cone's others.
  StudyRunSettings base = default_base();
  base.surface = {"Model=biconic", "Rx=7.7", "Ry=7.9", "Axis=15", "Q=-0.1", "Cone1Height=5", "Cone1Y=-1"};
  EXPECT_EQ(StudyPlan(base, axes({"cone_x=0.5"}), 1, 1).run_settings(0).surface,
            (std::vector<std::string>{"Model=biconic", "Rx=7.7", "Ry=7.9", "Axis=15", "Q=-0.1", "Cone1Height=5",
                                      "Cone1Y=-1", "Cone1X=0.5"}));
}

TEST(StudyPlan, LimitsBeforeTheFirstRun) {
  const auto error = [](std::vector<StudyAxis> a, int repeats, uint32_t seed) -> std::string {
    try {
      StudyPlan(default_base(), std::move(a), repeats, seed);
    } catch (const StudyError& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_EQ(error({}, 1, 1), "a study varies at least one parameter (--vary NAME=VALUES)");
  EXPECT_EQ(error(axes({"noise=0.5", "noise=0.7"}), 1, 1), "noise is varied twice");
  EXPECT_EQ(error(axes({"noise=0.5"}), 0, 1), "--repeats must be at least 1");
  // 1000 x 1000 is a million runs, allowed; one more repeat is not.
  EXPECT_EQ(error(axes({"noise=0:1:1000", "contrast=0:1:1000"}), 1, 1), "");
  EXPECT_NE(error(axes({"noise=0:1:1000", "contrast=0:1:1000"}), 2, 1).find("more than 1000000 runs"),
            std::string::npos);
  EXPECT_NE(error(axes({"noise=0:1:1000", "contrast=0:1:1000", "passes=0:1:2"}), 1, 1)
                .find("more than 1000000 runs"),
            std::string::npos);
  EXPECT_NE(error(axes({"noise=0.5"}), 2000000, 1).find("more than 1000000 runs"), std::string::npos);
  EXPECT_EQ(error(axes({"noise=0.5"}), 2, 4294967294u), "");
  EXPECT_EQ(error(axes({"noise=0.5"}), 3, 4294967294u),
            "the seeds of the repeats (--seed + repeat) would pass 4294967295");
}

}  // namespace
