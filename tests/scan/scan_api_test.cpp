// The exported engine functions: handle lifecycle, planes, parameters and the
// driver, seen from a caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fringe_image.h"
#include "scan.h"
#include "scan/default_par.h"
#include "scan/grey_image.h"
#include "scan/run_scan.h"
#include "scan/scn_context.h"
#include "temp_dir.h"

namespace {

// An 8-bit bitmap whose pixel (x, y) is (x + 3 y) mod 256.
void write_ramp_bitmap(const char* path, int32_t width, int32_t height, int32_t type = 1) {
  GreyImage* image = img_create(type, width, height);
  ASSERT_NE(image, nullptr);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width * type; ++x)
      img_line(image, y)[x] = static_cast<uint8_t>(x + 3 * y);
  ASSERT_EQ(img_save_bmp(image, path), BMP_OK);
  img_destroy(image);
}

std::vector<std::string> read_lines(const char* path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ScnPar default_par() { return kDefaultScnPar; }

class ScanApi : public ::testing::Test {
 protected:
  void TearDown() override { scn_Exit(scn_Init()); }
  TempDir dir_;
};

TEST_F(ScanApi, InitHandsOutOneContextWithDefaultSizedPlanes) {
  ScnHandle first = scn_Init();
  ASSERT_NE(first, nullptr);
  ScnHandle second = scn_Init();
  EXPECT_EQ(first, second);
  int32_t w = -1, h = -1;
  scn_GetImageSize(first, &w, &h);
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 1024);
  for (int i = 0; i < kPlaneCount; ++i) {
    ASSERT_NE(first->planes[i], nullptr) << "plane " << i;
    EXPECT_EQ(first->planes[i]->type, i < PLANE_PHASE ? 1 : 2) << "plane " << i;
  }
  uint8_t table[1024];
  img_get_color_table(first->planes[PLANE_MASK], table);
  EXPECT_EQ(table[4 * 200], 200);
  EXPECT_EQ(table[4 * 200 + 2], 200);
  scn_Exit(first);
  for (const GreyImage* plane : first->planes) EXPECT_EQ(plane, nullptr);
  scn_GetImageSize(first, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
}

TEST_F(ScanApi, NullHandleDoesNothing) {
  int32_t w = -1, h = -1;
  scn_GetImageSize(nullptr, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(scn_LoadImage(nullptr, "missing.bmp"), SCN_FAILED);
  ScnPar par = default_par();
  scn_SetPar(nullptr, &par);
  scn_GetPar(nullptr, &par);
  scn_ImageProcessing(nullptr);
  scn_SetReference(nullptr);
  scn_ProfileCalculation(nullptr, 1);
  scn_SaveProfile(nullptr, "profile.txt");
  uint8_t line[4] = {7, 7, 7, 7};
  scn_ReadImageLine(nullptr, 0, 0, line);
  scn_Exit(nullptr);
  EXPECT_EQ(line[0], 7);
  EXPECT_FALSE(std::ifstream("profile.txt").good());
}

TEST_F(ScanApi, ParametersRoundTripThroughTheContext) {
  ScnHandle handle = scn_Init();
  ScnPar in{5, -3, 12.5, 0.02, 0.03, 45.0, 2.5, 0.25, -0.5, -7.0};
  scn_SetPar(handle, &in);
  ScnPar out{};
  scn_GetPar(handle, &out);
  EXPECT_EQ(std::memcmp(&in, &out, sizeof(ScnPar)), 0);
  // The parameters outlive scn_Exit and a new scn_Init.
  scn_Exit(handle);
  handle = scn_Init();
  ScnPar again{};
  scn_GetPar(handle, &again);
  EXPECT_EQ(std::memcmp(&in, &again, sizeof(ScnPar)), 0);
}

TEST_F(ScanApi, LoadImageResizesPlanesAndReadsLines) {
  write_ramp_bitmap("ramp.bmp", 640, 480);
  ScnHandle handle = scn_Init();
  ASSERT_EQ(scn_LoadImage(handle, "ramp.bmp"), SCN_OK);
  int32_t w = 0, h = 0;
  scn_GetImageSize(handle, &w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);

  std::vector<uint8_t> line(640 + 8, 0xEE);
  scn_ReadImageLine(handle, SCN_PLANE_SOURCE, 10, line.data());
  EXPECT_EQ(line[0], 30);
  EXPECT_EQ(line[639], static_cast<uint8_t>(639 + 30));
  EXPECT_EQ(line[640], 0xEE) << "copies exactly width bytes";

  // The unused spare plane reads as zeros; planes 4, 5, -1 and rows out of
  // range copy nothing.
  scn_ReadImageLine(handle, SCN_PLANE_SPARE, 0, line.data());
  EXPECT_EQ(line[5], 0);
  for (int32_t plane : {4, 5, -1}) {
    std::fill(line.begin(), line.end(), 0xEE);
    scn_ReadImageLine(handle, plane, 0, line.data());
    EXPECT_EQ(line[0], 0xEE) << "plane " << plane;
  }
  scn_ReadImageLine(handle, SCN_PLANE_SOURCE, 480, line.data());
  scn_ReadImageLine(handle, SCN_PLANE_SOURCE, -1, line.data());
  EXPECT_EQ(line[0], 0xEE);
}

TEST_F(ScanApi, FailedLoadsLeavePlanesAlone) {
  write_ramp_bitmap("small.bmp", 64, 32);
  write_ramp_bitmap("colour.bmp", 16, 16, 3);
  ScnHandle handle = scn_Init();
  ASSERT_EQ(scn_LoadImage(handle, "small.bmp"), SCN_OK);
  GreyImage* source = handle->planes[PLANE_SOURCE];
  EXPECT_EQ(scn_LoadImage(handle, "colour.bmp"), SCN_FAILED);
  EXPECT_EQ(scn_LoadImage(handle, "missing.bmp"), SCN_FAILED);
  write_file_bytes("garbage.bmp", "this is not a bitmap at all, not even close to one");
  EXPECT_EQ(scn_LoadImage(handle, "garbage.bmp"), SCN_FAILED);
  EXPECT_EQ(scn_LoadImage(handle, nullptr), SCN_FAILED);
  EXPECT_EQ(handle->planes[PLANE_SOURCE], source);
  int32_t w = 0, h = 0;
  scn_GetImageSize(handle, &w, &h);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 32);
  EXPECT_EQ(img_line(source, 1)[2], 5);
}

TEST_F(ScanApi, SizeChangeEmptiesTheReference) {
  SphereFringes fringes;
  fringes.width = 320;
  fringes.height = 256;
  ASSERT_TRUE(write_sphere_fringes(fringes, "a.bmp"));
  write_ramp_bitmap("b.bmp", 100, 80);
  ScnHandle handle = scn_Init();
  ScnPar par = default_par();
  par.MaskRadius = 1.0;
  scn_SetPar(handle, &par);
  ASSERT_EQ(scn_LoadImage(handle, "a.bmp"), SCN_OK);
  scn_ImageProcessing(handle);
  scn_SetReference(handle);
  const GreyImage* reference = handle->planes[PLANE_REFERENCE];
  const auto* u = reinterpret_cast<const uint16_t*>(img_line(reference, 128));
  EXPECT_NE(u[160], 0) << "the reference holds the centre's phase";

  ASSERT_EQ(scn_LoadImage(handle, "b.bmp"), SCN_OK);
  reference = handle->planes[PLANE_REFERENCE];
  ASSERT_EQ(reference->width, 100);
  for (int32_t y = 0; y < reference->height; ++y)
    for (int32_t x = 0; x < reference->width; ++x)
      ASSERT_EQ(reinterpret_cast<const uint16_t*>(img_line(reference, y))[x], 0);
}

TEST_F(ScanApi, DriverWritesTheProfileOfAFringeImage) {
  ASSERT_TRUE(write_sphere_fringes(SphereFringes{}, "sim00.bmp"));
  run_scan("./sim00.bmp", nullptr, "./scnmod.ini", "ScanParameter", "./profile00.txt");
  const std::vector<std::string> lines = read_lines("profile00.txt");
  ASSERT_EQ(lines.size(), 2u + 320u * 256u);
  EXPECT_EQ(lines[0], "320 256");
  EXPECT_EQ(lines[1], "0.040000 0.040000");
  // The profile point nearest the apex (between pixels 640/641, 512/513) sits
  // at the sphere's top: height about 0, and well above the limit.
  const std::string& apex = lines[2 + 128 * 320 + 160];
  EXPECT_NEAR(std::stod(apex), 0.0, 0.01) << apex;
  // Corners lie outside the evaluation mask.
  EXPECT_EQ(lines[2], "-10.000000");
  // Scanning twice writes the same bytes.
  const std::string first = read_file_bytes("profile00.txt");
  run_scan("./sim00.bmp", nullptr, "./scnmod.ini", "ScanParameter", "./profile00.txt");
  EXPECT_EQ(read_file_bytes("profile00.txt"), first);
}

TEST_F(ScanApi, DriverWithReferenceOfTheSameImageGivesZero) {
  SphereFringes fringes;
  fringes.width = 640;
  fringes.height = 512;
  ASSERT_TRUE(write_sphere_fringes(fringes, "img.bmp"));
  run_scan("img.bmp", "img.bmp", "none.ini", "ScanParameter", "rel.txt");
  const std::vector<std::string> lines = read_lines("rel.txt");
  ASSERT_EQ(lines.size(), 2u + 160u * 128u);
  int with_data = 0;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    if (lines[i] == "-10.000000") continue;
    ++with_data;
    // The fit may leave a negative zero, printed "-0.000000".
    ASSERT_EQ(std::stod(lines[i]), 0.0) << "line " << i << ": " << lines[i];
  }
  EXPECT_GT(with_data, 1000);
}

TEST_F(ScanApi, DriverWithoutImageStillWritesAProfile) {
  run_scan("missing.bmp", nullptr, "none.ini", "ScanParameter", "profile.txt");
  const std::vector<std::string> lines = read_lines("profile.txt");
  ASSERT_EQ(lines.size(), 2u + 320u * 256u);
  EXPECT_EQ(lines[0], "320 256");
}

TEST_F(ScanApi, SavingBeforeAnyCalculationWritesAnEmptyProfile) {
  ScnHandle handle = scn_Init();
  scn_SaveProfile(handle, "empty.txt");
  EXPECT_EQ(read_file_bytes("empty.txt"), "0 0\n0.000000 0.000000\n");
}

}  // namespace
