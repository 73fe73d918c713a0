// Start-up under a locale whose decimal separator is a comma.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

#include "common/settings_file.h"
#include "error_recorder.h"
#include "gui/widgets/decimal_point.h"
#include "gui/enlarged_view/unit_image.h"
#include "gui/main_window/unit1.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "settings/channel_settings.h"
#include "temp_dir.h"

namespace {

TEST(DecimalPoint, CommaLocaleStillReadsAndWritesThePoint) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no comma locale here";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 0.5);
  EXPECT_STREQ(text, "0,5") << "the locale is in force";

  use_point_as_decimal_separator();
  TempDir dir;
  write_default_settings(".");
  ErrorRecorder errors;
  TForm1 form;
  TFormParameters parameters(form.sim_params_records());
  TFormImage image;
  form.FormParameters = &parameters;
  form.FormImage = &image;
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_EQ(form.data.channels[0].sim_params.pixel_size, 0.01);
  EXPECT_EQ(form.Label_min_0->text(), "-0.005");

  // The files the engine and the run write carry points too.
  form.Button_apply_0->click();
  form.Button_calculate_0->click();
  EXPECT_TRUE(errors.messages.empty());
  const std::string profile = read_file_bytes("profile00.txt");
  EXPECT_EQ(profile.substr(0, 26), "320 256\n0.040000 0.040000\n");
  EXPECT_EQ(read_file_bytes("perfect_sphere00.txt").find(','), std::string::npos);
  std::setlocale(LC_ALL, "C");
}

}  // namespace
