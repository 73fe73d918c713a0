// Unusable values typed into the parameters dialog or left in hand-edited
// settings files, followed by "apply" and "profile" as a user would run
// them: each run ends, with the conversion or file error it raises in the
// error box, and every work file it leaves is complete.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "analysis/height_text_file.h"
#include "common/settings_file.h"
#include "gui/enlarged_view/unit_image.h"
#include "error_recorder.h"
#include "gui/main_window/unit1.h"
#include "settings/channel_settings.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "temp_dir.h"
#include "workbench_windows.h"

namespace {

using Messages = std::vector<std::string>;


bool map_is(const HeightMatrix& map, double value) {
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y)
      if (map(x, y) != value) return false;
  return true;
}

bool same_pixels(const Picture& a, const Picture& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) return false;
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.bytes_per_line())) != 0) return false;
  return true;
}

// The fringe image loads as a picture and the profile reads back.
void expect_complete_work_files(const std::string& what) {
  Picture sim;
  EXPECT_NO_THROW(sim.load_bmp("./sim00.bmp")) << what;
  HeightMatrix map;
  EXPECT_NO_THROW(read_profile("./profile00.txt", map, kMapSide, kMapSide)) << what;
}

TEST(BadParameters, DialogValuesThenApplyAndProfile) {
  struct Case {
    EditBox* TFormParameters::*box;
    const char* text;
    Messages errors;
    double field_x;  // channel 0's field after the profile run, mm
  };
  const double kDefaultField = 10.24;
  // What cannot be believed is refused with its reason, the maps kept
  // (runs/quality_check.h); the messages begin so.
  const std::string no_fringes = "./sim00.bmp: no fringes: the cells' modulation stays within what noise of ";
  const std::string no_cell = "./sim00.bmp: too little measured: the evaluation mask holds no cell of the profile";
  const std::string no_height = "./sim00.bmp: too little measured: 0 of 21404 cells inside the evaluation mask";
  const Case cases[] = {
      // Pixel size: the field shrinks to nothing (no fringes) or turns over;
      // a size of 1e300 mm leaves no pixel in the evaluation mask.
      {&TFormParameters::Edit_xres, "0", {no_fringes}, kDefaultField},
      {&TFormParameters::Edit_xres, "-0.01", {}, -kDefaultField},
      {&TFormParameters::Edit_xres, "1e300", {no_cell}, kDefaultField},
      // Triangulation angle (0: no height; 90: fringes of the sphere no
      // camera resolves), fringe period, mask and sphere radius.
      {&TFormParameters::Edit_alpha, "0", {no_height}, kDefaultField},
      {&TFormParameters::Edit_alpha, "90", {no_fringes}, kDefaultField},
      {&TFormParameters::Edit_lambda, "0", {no_fringes}, kDefaultField},
      {&TFormParameters::Edit_lambda, "1e300", {no_fringes}, kDefaultField},
      {&TFormParameters::Edit_maskradius, "0", {no_cell}, kDefaultField},
      {&TFormParameters::Edit_maskradius, "-3.3", {}, kDefaultField},
      {&TFormParameters::Edit_radius, "0", {}, kDefaultField},
      {&TFormParameters::Edit_radius, "-7.5", {}, kDefaultField},
      // Smoothing passes: apply reads the box as an integer, the engine reads
      // the stored text with the formatted scan ("1e9" is 1 there).
      {&TFormParameters::Edit_filters, "-5", {}, kDefaultField},
      {&TFormParameters::Edit_filters, "1e9", {"'1e9' is not a valid integer value"}, kDefaultField},
      {&TFormParameters::Edit_filters, "", {"'' is not a valid integer value"}, kDefaultField},
  };
  for (const Case& c : cases) {
    const std::string what = "case " + std::to_string(&c - cases) + " '" + c.text + "'";
    Workbench w;
    (w.parameters.get()->*c.box)->setText(c.text);
    w.parameters->BitBtn1->click();
    ASSERT_TRUE(w.errors.messages.empty()) << what;
    w.form->Button_apply_0->click();
    w.form->Button_calculate_0->click();
    ASSERT_EQ(w.errors.messages.size(), c.errors.size()) << what;
    for (std::size_t i = 0; i < c.errors.size(); ++i)
      EXPECT_TRUE(w.errors.messages[i].starts_with(c.errors[i])) << what << ": " << w.errors.messages[i];
    EXPECT_NEAR(w.form->data.channels[0].profile.field_x, c.field_x, 1e-6) << what;
    Picture sim;
    EXPECT_NO_THROW(sim.load_bmp("./sim00.bmp")) << what;
    if (c.errors.empty() || c.box == &TFormParameters::Edit_filters) expect_complete_work_files(what);
  }
}

TEST(BadParameters, ABillionFilterPassesEndAtTheCap) {
  // Typed into the dialog, used by "apply" as it stands and by "profile"
  // once stored: both smooth at most 1024 times and go on. (The synthesised
  // image is still changing after 1024 passes, so the cap is what ends it.)
  Workbench w;
  w.parameters->Edit_filters->setText("1000000000");
  w.form->Button_apply_0->click();
  EXPECT_TRUE(w.errors.messages.empty());
  Picture raw, filtered;
  raw.load_bmp("./sim00.bmp");
  filtered.load_bmp("./sim00_filtered.bmp");
  EXPECT_FALSE(same_pixels(raw, filtered));

  w.parameters->BitBtn1->click();
  EXPECT_NE(read_file_bytes("scnmod.ini").find("\r\nNFilt=1000000000\r\n"), std::string::npos);
  w.form->Button_calculate_0->click();
  EXPECT_TRUE(w.errors.messages.empty());
  expect_complete_work_files("a billion passes");
}

TEST(BadParameters, AnUnreadableProfileKeepsTheMaps) {
  // A pixel size of 1e300 mm gives a profile spacing of 4e300 mm, which the
  // reader cannot hold as a float: the maps keep their start-up contents.
  // (The measurement has no height either; MinValid=0 takes it all the same.)
  Workbench w;
  write_lines("method.ini", {"MinValid=0"});
  w.parameters->Edit_xres->setText("1e300");
  w.parameters->BitBtn1->click();
  w.form->Button_apply_0->click();
  w.form->Button_calculate_0->click();
  EXPECT_EQ(w.errors.messages, Messages{"Cannot read file \"./profile00.txt\": no grid spacing"});
  EXPECT_TRUE(map_is(w.form->data.channels[0].height_map, 0.0));
  EXPECT_TRUE(map_is(w.form->data.channels[0].measured_map, 0.0));
}

TEST(BadParameters, HiddenMaximumNoiseBox) {
  Workbench w;
  TForm1& f = *w.form;
  f.TrackBarNoise0->setValue(256);
  for (const char* text : {"2147483647", "-2147483648", "0"}) {
    f.Edit_max_noise->setText(text);
    f.Button_apply_0->click();
    EXPECT_TRUE(w.errors.messages.empty()) << text;
  }
  Picture sim;
  EXPECT_NO_THROW(sim.load_bmp("./sim00.bmp"));
  const std::string written = read_file_bytes("sim00.bmp");
  f.Edit_max_noise->setText("1e3");
  f.Button_apply_0->click();
  EXPECT_EQ(w.errors.messages, Messages{"'1e3' is not a valid integer value"});
  EXPECT_EQ(read_file_bytes("sim00.bmp"), written) << "stopped before the synthesis";
}

TEST(BadSettingsFiles, ImageSizesFromAHandEditedFile) {
  // Sides no bitmap can have: nothing is synthesised, so there is no image
  // to show; the enlarged view holds its control within a picture's sides.
  {
    Workbench w([] {
      write_default_settings(".");
      write_lines("./image.ini", {"XPixels=100000", "YPixels=-7", "Radius=7.5"});
    });
    EXPECT_TRUE(w.errors.messages.empty());
    EXPECT_EQ(w.form->data.channels[0].sim_params.x_pixels, 100000);
    w.form->Button_apply_0->click();
    EXPECT_EQ(w.errors.messages, Messages{"Cannot open file \"sim00.bmp\""});
    EXPECT_FALSE(std::filesystem::exists("sim00.bmp"));
    emit w.form->Image0->mouse_pressed(Qt::LeftButton, 5, 5);
    EXPECT_EQ(w.image->Image_expanded->width(), kMaxPictureSide);
    EXPECT_EQ(w.image->Image_expanded->height(), 0);
  }
  // One pixel: the picture is made and shown, the engine's profile has no
  // points and is not read back; the maps keep their contents.
  {
    Workbench w([] {
      write_default_settings(".");
      write_lines("./image.ini", {"XPixels=1", "YPixels=1", "Radius=7.5"});
    });
    w.form->Button_apply_0->click();
    EXPECT_TRUE(w.errors.messages.empty());
    EXPECT_EQ(w.form->Image0->picture.width(), 1);
    w.form->Button_calculate_0->click();
    EXPECT_EQ(w.errors.messages,
              Messages{"Cannot read file \"./profile00.txt\": grid size 0 x 0 out of range"});
    EXPECT_TRUE(map_is(w.form->data.channels[0].height_map, 0.0));
  }
  // A side no integer holds is refused at start-up like any bad number.
  {
    Workbench w([] {
      write_default_settings(".");
      write_lines("./image_1.ini", {"XPixels=2147483648", "YPixels=1024", "Radius=7.5"});
    });
    EXPECT_EQ(w.errors.messages, Messages{"'2147483648' is not a valid integer value"});
  }
}

TEST(BadSettingsFiles, ADirectoryInPlaceOfTheScanSettings) {
  // Start-up and the dialog report the file; the engine, which cannot read
  // it either, measures with its defaults.
  Workbench w([] {
    write_default_settings(".");
    std::filesystem::remove("scnmod.ini");
    std::filesystem::create_directory("scnmod.ini");
  });
  EXPECT_EQ(w.errors.messages,
            (Messages{"Cannot open file \"./scnmod.ini\"", "Cannot open file \"./scnmod.ini\""}));
  w.errors.messages.clear();
  w.form->Button_apply_0->click();
  w.form->Button_calculate_0->click();
  EXPECT_TRUE(w.errors.messages.empty());
  expect_complete_work_files("defaults");
  EXPECT_TRUE(std::filesystem::is_directory("scnmod.ini"));
}

}  // namespace
