// The workbench window from start-up through "apply" and "profile", driven
// the way a user drives it, offscreen.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "common/settings_file.h"
#include "gui/enlarged_view/unit_image.h"
#include "error_recorder.h"
#include "gui/main_window/unit1.h"
#include "settings/channel_settings.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "temp_dir.h"
#include "workbench_windows.h"

namespace {


std::vector<int> progress_of(QProgressBar* bar, const std::function<void()>& action) {
  std::vector<int> positions;
  auto connection = QObject::connect(bar, &QProgressBar::valueChanged,
                                     [&](int value) { positions.push_back(value); });
  action();
  QObject::disconnect(connection);
  return positions;
}

void expect_default_record(const SimParams& p) {
  EXPECT_EQ(p.x_pixels, 1280);
  EXPECT_EQ(p.y_pixels, 1024);
  EXPECT_EQ(p.pixel_size, 0.01);
  EXPECT_EQ(p.fringe_period, 10.0);
  EXPECT_EQ(p.alpha_deg, 30.0);
  EXPECT_EQ(p.radius, 7.5);
}

TEST(StartUp, EmptyDirectoryShowsBothErrorsAndKeepsTheDefaults) {
  Workbench w([] {});
  EXPECT_EQ(w.errors.messages, (std::vector<std::string>{"Cannot open file \"./scnmod.ini\"",
                                                         "Cannot open file \"./image.ini\""}));
  expect_default_record(w.form->data.channels[0].sim_params);
  expect_default_record(w.form->data.channels[1].sim_params);
  EXPECT_EQ(w.form->windowTitle(), "simulation");
  EXPECT_EQ(w.form->Label_min_0->text(), "-0.005");
  EXPECT_EQ(w.form->Label_max_diff->text(), "0.005");
  EXPECT_EQ(w.form->ComboBox0->currentText(), "select");
  EXPECT_EQ(w.form->TrackBarDynamic0->value(), 256);
  EXPECT_TRUE(w.form->Label_val_0->isHidden());
  EXPECT_TRUE(w.form->Edit_max_noise->isHidden());
  // Every map starts as the colour of 0.0.
  EXPECT_EQ(w.form->Image_prof_0->picture.pixel(0, 0), w.form->Image0->picture.pixel(255, 255));
}

TEST(StartUp, SettingsFilesFillBothRecords) {
  TempDir dir;
  write_default_settings(".");
  write_lines("image_1.ini", {"XPixels=1280.9", "YPixels=1000", "Radius=8.25"});
  write_lines("scnmod_1.ini", {"[ScanParameter]", "LambdaF=12", "CamResX=0.02", "Alpha=45",
                               "MAskXOfs=0.5", "MAskYOfs=-0.25"});
  ErrorRecorder errors;
  TForm1 form;
  EXPECT_TRUE(errors.messages.empty());
  expect_default_record(form.data.channels[0].sim_params);
  const SimParams& p = form.data.channels[1].sim_params;
  EXPECT_EQ(p.x_pixels, 1280);
  EXPECT_EQ(p.y_pixels, 1000);
  EXPECT_EQ(p.radius, 8.25);
  EXPECT_EQ(p.fringe_period, 12.0);
  EXPECT_EQ(p.pixel_size, 0.02);
  EXPECT_EQ(p.offset_x, 0.5);
  EXPECT_EQ(p.offset_y, -0.25);
}

TEST(StartUp, BadValueSkipsTheRestOfStartUp) {
  TempDir dir;
  write_default_settings(".");
  write_lines("scnmod.ini", {"[ScanParameter]", "CamResX=0.02", "LambdaF=ten"});
  ErrorRecorder errors;
  TForm1 form;
  EXPECT_EQ(errors.messages, (std::vector<std::string>{"'ten' is not a valid floating point value"}));
  EXPECT_EQ(form.data.channels[0].sim_params.pixel_size, 0.02) << "read before the failure";
  EXPECT_EQ(form.data.channels[0].sim_params.fringe_period, 10.0);
}

TEST(MainMenu, LineScansToggleEachControlAndComeBack) {
  Workbench w;
  TForm1& f = *w.form;
  f.Label0_horiz_min->hide();  // one of them hidden on its own
  f.show_linescans->trigger();
  EXPECT_FALSE(f.show_linescans->isChecked());
  EXPECT_TRUE(f.Image_vert_cross_0->isHidden());
  EXPECT_FALSE(f.Label0_horiz_min->isHidden()) << "each visibility is inverted separately";
  f.show_linescans->trigger();
  EXPECT_FALSE(f.Image_vert_cross_0->isHidden());
  EXPECT_TRUE(f.Label0_horiz_min->isHidden());

  f.show_statistics->trigger();
  EXPECT_TRUE(f.GroupBox_statistics->isHidden());
  f.show_magnifier->trigger();
  EXPECT_FALSE(f.Image_Lupe->isHidden());
  EXPECT_FALSE(f.Label_magnifier->isHidden());
  f.show_colorbar->trigger();
  EXPECT_FALSE(f.Image_skala->isHidden());
  EXPECT_EQ(f.Image_skala->picture.height(), 681);
}

TEST(Apply, WithoutNoiseWritesTheSameImageTwice) {
  Workbench w;
  TForm1& f = *w.form;
  const std::vector<int> progress = progress_of(f.ProgressBar1, [&] { f.Button_apply_0->click(); });
  EXPECT_EQ(progress, (std::vector<int>{50, 100}));
  EXPECT_EQ(f.Label_action->text(), "done                               ");
  const std::string first = read_file_bytes("sim00.bmp");
  ASSERT_FALSE(first.empty());
  EXPECT_TRUE(std::filesystem::exists("sim00_filtered.bmp"));
  f.Button_apply_0->click();
  EXPECT_TRUE(read_file_bytes("sim00.bmp") == first);
  EXPECT_EQ(f.Image0->picture.width(), 1280);
  EXPECT_EQ(f.Image0->width(), 256);
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(Profile, AfterApplyComparesWithTheSphere) {
  Workbench w;
  TForm1& f = *w.form;
  f.Button_apply_0->click();
  const std::vector<int> progress =
      progress_of(f.ProgressBar1, [&] { f.Button_calculate_0->click(); });
  EXPECT_EQ(progress, (std::vector<int>{50, 90, 100}));
  EXPECT_TRUE(w.errors.messages.empty());
  EXPECT_TRUE(std::filesystem::exists("profile00.txt"));
  EXPECT_TRUE(std::filesystem::exists("perfect_sphere00.txt"));
  EXPECT_EQ(f.ComboBox0->currentText(), "height differences");
  EXPECT_EQ(f.Edit_min_0->text(), "-5");
  const WorkbenchData& d = f.data;
  EXPECT_EQ(d.channels[0].height_map(0, 0), 0.0) << "outside the mask";
  EXPECT_LT(d.channels[0].measured_map(128, 40), -0.4) << "the unsubtracted sphere";
  EXPECT_LT(std::fabs(d.channels[0].height_map(128, 128)), 0.005);
  EXPECT_EQ(&d.channels[0].shown_map(), &d.channels[0].height_map);
  EXPECT_NEAR(d.channels[0].profile.field_x, 10.24, 1e-6);

  f.Button_apply_1->click();
  const std::vector<int> second =
      progress_of(f.ProgressBar1, [&] { f.Button_calculate_1->click(); });
  EXPECT_EQ(second, (std::vector<int>{50, 100}));
  EXPECT_EQ(d.difference_map(128, 128), d.channels[0].height_map(128, 128) - d.channels[1].height_map(128, 128));
}

TEST(Profile, RadiusThatIsNotANumberKeepsTheMeasuredHeights) {
  Workbench w;
  TForm1& f = *w.form;
  f.Button_apply_0->click();
  w.parameters->Edit_radius->setText("abc");
  const Picture before = f.Image_prof_0->picture;
  f.Button_calculate_0->click();
  EXPECT_EQ(w.errors.messages, (std::vector<std::string>{"'abc' is not a valid floating point value"}));
  EXPECT_TRUE(f.data.channels[0].height_map == f.data.channels[0].measured_map);
  EXPECT_NE(f.data.channels[0].height_map(128, 128), 0.0);
  EXPECT_EQ(f.Image_prof_0->picture.pixel(128, 128), before.pixel(128, 128));
}

TEST(Profile, WithoutAFringeImageNothingChanges) {
  Workbench w;
  TForm1& f = *w.form;
  f.Edit_min_0->setText("-7");
  const std::vector<int> progress =
      progress_of(f.ProgressBar1, [&] { f.Button_calculate_0->click(); });
  EXPECT_EQ(w.errors.messages, (std::vector<std::string>{"Cannot open file \"./sim00.bmp\""}));
  EXPECT_TRUE(progress.empty());
  EXPECT_EQ(f.Edit_min_0->text(), "-7");
  EXPECT_EQ(f.ComboBox0->currentText(), "select");
  EXPECT_FALSE(std::filesystem::exists("profile00.txt"));
}

TEST(EnlargedView, LeftClickShowsTheWholeImageAndRightClickNothing) {
  Workbench w;
  TForm1& f = *w.form;
  f.Button_apply_0->click();
  emit f.Image0->mouse_pressed(Qt::RightButton, 5, 5);
  EXPECT_TRUE(w.image->isHidden());
  emit f.Image0->mouse_pressed(Qt::LeftButton, 5, 5);
  EXPECT_FALSE(w.image->isHidden());
  EXPECT_EQ(w.image->windowTitle(), "image");
  EXPECT_EQ(w.image->Image_expanded->width(), 1280);
  EXPECT_EQ(w.image->Image_expanded->height(), 1024);
  EXPECT_EQ(w.image->Image_expanded->picture.width(), 1280);
  emit w.image->Image_expanded->mouse_pressed(Qt::RightButton, 1, 1);
  EXPECT_FALSE(w.image->isHidden());
  emit w.image->Image_expanded->mouse_pressed(Qt::LeftButton, 1, 1);
  EXPECT_TRUE(w.image->isHidden());
}

}  // namespace
