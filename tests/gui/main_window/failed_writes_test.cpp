// Work files the window cannot write, on a full disk (a file size limit on
// the process) or with a directory standing in a file's place: the error box
// names the file, and the earlier files stay whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "error_recorder.h"
#include "file_size_limit.h"
#include "gui/main_window/unit1.h"
#include "settings/channel_settings.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "temp_dir.h"
#include "workbench_windows.h"

namespace {

using Messages = std::vector<std::string>;

// Room for a few lines, far too little for a bitmap or a settings file.
constexpr rlim_t kNearlyFull = 64;

std::vector<std::string> contents_of(const std::vector<const char*>& files) {
  std::vector<std::string> contents;
  for (const char* file : files) contents.push_back(read_file_bytes(file));
  return contents;
}

TEST(WindowFailedWrites, SettingsFilesOnOk) {
  const std::vector<const char*> settings = {"scnmod.ini", "image.ini", "scnmod_1.ini", "image_1.ini"};
  {
    Workbench w;
    const std::vector<std::string> earlier = contents_of(settings);
    w.parameters->show_dialog();
    w.parameters->Edit_lambda->setText("12");
    {
      FileSizeLimit full(kNearlyFull);
      w.parameters->BitBtn1->click();
    }
    EXPECT_EQ(w.errors.messages, Messages{"Cannot create file \"./scnmod.ini\""});
    EXPECT_EQ(contents_of(settings), earlier);
    EXPECT_TRUE(w.parameters->isVisible()) << "the dialog stays open to try again";
    EXPECT_EQ(w.form->data.channels[0].sim_params.fringe_period, 10.0);
  }
  {
    // A directory in place of channel 1's image settings: channel 0's files
    // are written before it, channel 1's scan file just before it.
    Workbench w;
    std::filesystem::remove("image_1.ini");
    std::filesystem::create_directory("image_1.ini");
    w.parameters->show_dialog();
    w.parameters->Edit_lambda_1->setText("12");
    w.parameters->BitBtn1->click();
    EXPECT_EQ(w.errors.messages, Messages{"Cannot create file \"./image_1.ini\""});
    EXPECT_NE(read_file_bytes("scnmod_1.ini").find("\r\nLambdaF=12\r\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty("image_1.ini"));
    EXPECT_EQ(w.form->data.channels[1].sim_params.fringe_period, 10.0);
  }
}

TEST(WindowFailedWrites, FringeBitmapsOnApply) {
  Workbench w;
  TForm1& f = *w.form;
  f.Button_apply_0->click();
  const std::vector<std::string> earlier = contents_of({"sim00.bmp", "sim00_filtered.bmp"});
  ASSERT_TRUE(w.errors.messages.empty());

  // The synthesis cannot write its image: the run says so and stops; the
  // earlier files stay whole.
  f.TrackBarNoise0->setValue(128);
  {
    FileSizeLimit full(kNearlyFull);
    f.Button_apply_0->click();
  }
  EXPECT_EQ(w.errors.messages, Messages{"Cannot create file \"sim00.bmp\""});
  EXPECT_EQ(contents_of({"sim00.bmp", "sim00_filtered.bmp"}), earlier);

  w.errors.messages.clear();
  std::filesystem::remove("sim00_filtered.bmp");
  std::filesystem::create_directory("sim00_filtered.bmp");
  f.Button_apply_0->click();
  EXPECT_EQ(w.errors.messages, Messages{"Cannot create file \"./sim00_filtered.bmp\""});
  EXPECT_NE(read_file_bytes("sim00.bmp"), earlier[0]) << "the noisy image is written whole";
  Picture sim;
  EXPECT_NO_THROW(sim.load_bmp("./sim00.bmp"));
  EXPECT_TRUE(std::filesystem::is_empty("sim00_filtered.bmp"));
}

TEST(WindowFailedWrites, ProfileAndSphereFilesOnProfile) {
  Workbench w;
  TForm1& f = *w.form;
  f.Button_apply_0->click();
  f.Button_calculate_0->click();
  ASSERT_TRUE(w.errors.messages.empty());
  const std::vector<std::string> earlier = contents_of({"profile00.txt", "perfect_sphere00.txt"});

  // The engine cannot write the new profile and reports nothing itself; the
  // run notices that the file is still the earlier one, says so and stops
  // with the maps and files as they were.
  f.Button_apply_0->click();
  const HeightMatrix map_before = f.data.channels[0].height_map;
  {
    FileSizeLimit full(kNearlyFull);
    f.Button_calculate_0->click();
  }
  EXPECT_EQ(w.errors.messages, Messages{"Cannot create file \"./profile00.txt\""});
  EXPECT_EQ(contents_of({"profile00.txt", "perfect_sphere00.txt"}), earlier);
  EXPECT_TRUE(f.data.channels[0].height_map == map_before) << "the maps keep their contents";

  w.errors.messages.clear();
  std::filesystem::remove("perfect_sphere00.txt");
  std::filesystem::create_directory("perfect_sphere00.txt");
  f.Button_calculate_0->click();
  EXPECT_EQ(w.errors.messages, Messages{"Cannot create file \"perfect_sphere00.txt\""});
  EXPECT_TRUE(std::filesystem::is_empty("perfect_sphere00.txt"));
}

}  // namespace
