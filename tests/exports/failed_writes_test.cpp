// Work files that cannot be written: a full disk (a file size limit on the
// process), a plain file where the path needs a directory, and a directory
// where the file should be. Every writer must leave the earlier file as it
// was, report the failure where it has a way to, and leave no temporary
// file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "error_of.h"
#include "exports/data_export.h"
#include "analysis/height_text_file.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "file_size_limit.h"
#include "render/picture.h"
#include "scan.h"
#include "scan/grey_image.h"
#include "scan/profile_file.h"
#include "scan/scn_matrix.h"
#include "simulation/fringe_synthesis.h"
#include "temp_dir.h"

namespace {

// Room for a few lines of text, far too little for any bitmap or height file.
constexpr rlim_t kNearlyFull = 64;

std::set<std::string> names_in(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

// A plain file named "plain", so that "plain/<name>" cannot be created, and a
// directory `folder` standing where a file should go.
void block_paths(const char* folder) {
  write_file_bytes("plain", "not a directory");
  std::filesystem::create_directory(folder);
}

void expect_blocked_paths_untouched(const char* folder) {
  EXPECT_EQ(read_file_bytes("plain"), "not a directory");
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(FailedWrites, ProfileFileStaysAsItWasAndNothingIsReported) {
  TempDir dir;
  ScnMatrix profile{};
  ASSERT_EQ(mat_create(&profile, 3, 2, 0.04, 0.04), 0);
  std::fill(profile.values[0], profile.values[0] + 6, 0.25f);
  save_profile(profile, "profile00.txt");
  const std::string earlier = read_file_bytes("profile00.txt");
  ASSERT_EQ(earlier.substr(0, 4), "3 2\n");
  std::fill(profile.values[0], profile.values[0] + 6, -1.5f);

  {
    FileSizeLimit full(kNearlyFull);
    save_profile(profile, "profile00.txt");
  }
  EXPECT_EQ(read_file_bytes("profile00.txt"), earlier);

  block_paths("profile01.txt");
  save_profile(profile, "plain/profile00.txt");
  save_profile(profile, "profile01.txt");
  expect_blocked_paths_untouched("profile01.txt");
  EXPECT_EQ(read_file_bytes("profile00.txt"), earlier);
  EXPECT_EQ(names_in("."), (std::set<std::string>{"plain", "profile00.txt", "profile01.txt"}));
  mat_free(&profile);
}

TEST(FailedWrites, SphereFileReportsTheFailureAndStaysAsItWas) {
  TempDir dir;
  HeightMatrix sphere(kMapSide, kMapSide, 0.5);
  write_heights("perfect_sphere00.txt", sphere, kMapSide, kMapSide, 0.04, 0.04);
  const std::string earlier = read_file_bytes("perfect_sphere00.txt");
  fill_map(sphere, -0.25);

  std::string message;
  {
    FileSizeLimit full(kNearlyFull);
    message = error_of<FileError>([&] { write_heights("perfect_sphere00.txt", sphere, kMapSide, kMapSide, 0.04, 0.04); });
  }
  EXPECT_EQ(message, "Cannot create file \"perfect_sphere00.txt\"");
  EXPECT_EQ(read_file_bytes("perfect_sphere00.txt"), earlier);

  block_paths("perfect_sphere01.txt");
  EXPECT_EQ(error_of<FileError>([&] { write_heights("plain/perfect_sphere00.txt", sphere, 4, 4, 0.04, 0.04); }),
            "Cannot create file \"plain/perfect_sphere00.txt\"");
  EXPECT_EQ(error_of<FileError>([&] { write_heights("perfect_sphere01.txt", sphere, 4, 4, 0.04, 0.04); }),
            "Cannot create file \"perfect_sphere01.txt\"");
  expect_blocked_paths_untouched("perfect_sphere01.txt");
  EXPECT_EQ(names_in("."), (std::set<std::string>{"perfect_sphere00.txt", "perfect_sphere01.txt", "plain"}));
}

TEST(FailedWrites, BitmapsReportTheFailureAndStayAsTheyWere) {
  TempDir dir;
  SimParams sphere;
  sphere.x_pixels = 64;
  sphere.y_pixels = 48;
  sphere.pixel_size = 0.05;
  ASSERT_EQ(synthesize_fringe_image(sphere, "./sim00.bmp", 0, 0), BMP_OK);
  GreyImage* grey = img_create(1, 32, 16);
  ASSERT_EQ(img_save_bmp(grey, "grey.bmp"), BMP_OK);
  Picture picture(40, 30);
  picture.save_bmp("./sim00_filtered.bmp");
  const std::string earlier_sim = read_file_bytes("sim00.bmp");
  const std::string earlier_grey = read_file_bytes("grey.bmp");
  const std::string earlier_filtered = read_file_bytes("sim00_filtered.bmp");
  sphere.radius = 9.0;
  grey->pixels[0] = 99;
  picture.set_pixel(1, 1, kRed);

  // A full disk: each write fails part way and the earlier file stays whole.
  int synthesis = 0, saving = 0;
  std::string message;
  {
    FileSizeLimit full(kNearlyFull);
    synthesis = synthesize_fringe_image(sphere, "./sim00.bmp", 0, 0);
    saving = img_save_bmp(grey, "grey.bmp");
    message = error_of<FileError>([&] { picture.save_bmp("./sim00_filtered.bmp"); });
  }
  EXPECT_EQ(synthesis, BMP_IO_ERROR);
  EXPECT_EQ(saving, BMP_IO_ERROR);
  EXPECT_EQ(message, "Cannot write file \"./sim00_filtered.bmp\"");
  EXPECT_EQ(read_file_bytes("sim00.bmp"), earlier_sim);
  EXPECT_EQ(read_file_bytes("grey.bmp"), earlier_grey);
  EXPECT_EQ(read_file_bytes("sim00_filtered.bmp"), earlier_filtered);

  // No directory to write into, or a directory in the file's place.
  block_paths("sim01.bmp");
  EXPECT_EQ(synthesize_fringe_image(sphere, "./plain/sim00.bmp", 0, 0), BMP_CANNOT_OPEN);
  EXPECT_EQ(synthesize_fringe_image(sphere, "./sim01.bmp", 0, 0), BMP_CANNOT_OPEN);
  EXPECT_EQ(img_save_bmp(grey, "plain/grey.bmp"), BMP_CANNOT_OPEN);
  EXPECT_EQ(error_of<FileError>([&] { picture.save_bmp("./sim01.bmp"); }), "Cannot create file \"./sim01.bmp\"");
  expect_blocked_paths_untouched("sim01.bmp");
  EXPECT_EQ(names_in("."),
            (std::set<std::string>{"grey.bmp", "plain", "sim00.bmp", "sim00_filtered.bmp", "sim01.bmp"}));
  img_destroy(grey);
}

TEST(FailedWrites, SettingsFilesStayAsTheyWere) {
  TempDir dir;
  write_lines("./image.ini", {"XPixels=1280", "YPixels=1024", "Radius=7.5"});
  ScnPar par{3, 15, 10.0, 0.01, 0.01, 30.0, 3.3, 0.0, 0.0, -10.0};
  scn_SavePar(&par, "./scnmod.ini", "ScanParameter");
  const std::string earlier_image = read_file_bytes("image.ini");
  const std::string earlier_scan = read_file_bytes("scnmod.ini");
  ASSERT_NE(earlier_scan.find("NFilt=3\r\n"), std::string::npos);
  par.NFilt = 7;

  std::string message;
  {
    FileSizeLimit full(16);
    message = error_of<FileError>([] { write_lines("./image.ini", {"XPixels=1280", "YPixels=1024", "Radius=9"}); });
    scn_SavePar(&par, "./scnmod.ini", "ScanParameter");  // the engine reports nothing
  }
  EXPECT_EQ(message, "Cannot create file \"./image.ini\"");
  EXPECT_EQ(read_file_bytes("image.ini"), earlier_image);
  EXPECT_EQ(read_file_bytes("scnmod.ini"), earlier_scan);

  block_paths("scnmod_1.ini");
  EXPECT_EQ(error_of<FileError>([] { write_lines("./plain/image.ini", {"a"}); }), "Cannot create file \"./plain/image.ini\"");
  EXPECT_EQ(error_of<FileError>([] { write_lines("./scnmod_1.ini", {"a"}); }), "Cannot create file \"./scnmod_1.ini\"");
  scn_SavePar(&par, "./plain/scnmod.ini", "ScanParameter");
  scn_SavePar(&par, "./scnmod_1.ini", "ScanParameter");
  expect_blocked_paths_untouched("scnmod_1.ini");
  EXPECT_EQ(names_in("."), (std::set<std::string>{"image.ini", "plain", "scnmod.ini", "scnmod_1.ini"}));
}

TEST(FailedWrites, DataSetStopsAtTheFirstFileItCannotWrite) {
  TempDir dir;
  write_lines("image.ini", {"XPixels=1280", "YPixels=1024", "XRes=0.01", "LambdaF=10.0", "Alpha=30", "Radius=7.5"});
  const Picture raw(4, 4, PixelFormat::indexed8);  // a bitmap of 1078 + 16 bytes
  const Picture colours(256, 256);                 // 196662 bytes
  HeightMatrix map(kMapSide, kMapSide, 0.001);
  save_data_set("run", raw, colours, map, map, "image.ini", 10.24, 10.24);
  const std::set<std::string> files = names_in(".");
  ASSERT_EQ(files.size(), 9u);
  std::set<std::pair<std::string, std::string>> earlier;
  for (const std::string& name : files) earlier.insert({name, read_file_bytes(name)});

  // Room for the grey image, not for the colour map: the set is written in
  // its order up to the failure, each file whole, the rest as they were.
  Picture new_raw = raw;
  new_raw.set_pixel(0, 0, kWhite);
  fill_map(map, 0.002);
  std::string message;
  {
    FileSizeLimit full(4096);
    message = error_of<FileError>([&] { save_data_set("run", new_raw, colours, map, map, "image.ini", 10.24, 10.24); });
  }
  EXPECT_EQ(message, "Cannot write file \"run_col.bmp\"");
  EXPECT_EQ(names_in("."), files);
  Picture gray;
  gray.load_bmp("run_gray.bmp");
  EXPECT_EQ(gray.pixel(0, 0), kWhite) << "written before the failure";
  for (const auto& [name, bytes] : earlier) {
    if (name == "run_gray.bmp") continue;
    EXPECT_EQ(read_file_bytes(name), bytes) << name;
  }

  // A directory in place of one file of the set: the files before it are
  // written, the failure is shown, nothing after it is touched.
  std::filesystem::remove("run_hor_scan.txt");
  std::filesystem::create_directory("run_hor_scan.txt");
  EXPECT_EQ(error_of<FileError>([&] { save_data_set("run", raw, colours, map, map, "image.ini", 10.24, 10.24); }),
            "Cannot create file \"run_hor_scan.txt\"");
  EXPECT_TRUE(std::filesystem::is_empty("run_hor_scan.txt"));
  for (const auto& [name, bytes] : earlier) {
    if (name.find("_vert_") == std::string::npos && name != "run_parameter.txt") continue;
    EXPECT_EQ(read_file_bytes(name), bytes) << name;
  }
  EXPECT_EQ(names_in("."), files);
}

}  // namespace
