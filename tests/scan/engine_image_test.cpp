// The engine's internal entry for a picture already in memory: it fills the
// planes exactly as scn_LoadImage fills them from the same bitmap, and it
// refuses records that are not 8-bit images without touching the context.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fringe_image.h"
#include "scan.h"
#include "scan/engine_image.h"
#include "scan/grey_image.h"
#include "temp_dir.h"

namespace {

std::vector<uint8_t> plane_rows(ScnHandle handle, int32_t plane) {
  int32_t width = 0;
  int32_t height = 0;
  scn_GetImageSize(handle, &width, &height);
  std::vector<uint8_t> bytes(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int32_t row = 0; row < height; ++row)
    scn_ReadImageLine(handle, plane, row, bytes.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width));
  return bytes;
}

TEST(EngineImage, FillsThePlanesAsLoadingTheSameBitmapDoes) {
  TempDir dir;
  const SphereFringes s{200, 150, 0.01, 10.0, 30.0, 7.5};
  ASSERT_TRUE(write_sphere_fringes(s, "sphere.bmp"));
  GreyImage* image = make_sphere_fringes(s);
  ASSERT_NE(image, nullptr);

  ScnHandle handle = scn_Init();
  ASSERT_EQ(scn_LoadImage(handle, "sphere.bmp"), SCN_OK);
  scn_ImageProcessing(handle);
  const std::vector<uint8_t> from_file = plane_rows(handle, SCN_PLANE_WORK);
  scn_Exit(handle);

  handle = scn_Init();
  ASSERT_EQ(load_engine_image(handle, image), SCN_OK);
  scn_ImageProcessing(handle);
  EXPECT_EQ(plane_rows(handle, SCN_PLANE_WORK), from_file);
  // Again at the same size: the planes are kept and the source replaced.
  ASSERT_EQ(load_engine_image(handle, image), SCN_OK);
  EXPECT_EQ(std::memcmp(plane_rows(handle, SCN_PLANE_SOURCE).data(), image->pixels, 200), 0);
  scn_Exit(handle);

  // Taken instead of copied, into new planes and into kept ones: the same
  // planes; what the images are left with is theirs to destroy.
  handle = scn_Init();
  for (int round = 0; round < 2; ++round) {
    GreyImage* given = make_sphere_fringes(s);
    ASSERT_EQ(take_engine_image(handle, given), SCN_OK);
    img_destroy(given);
    scn_ImageProcessing(handle);
    EXPECT_EQ(plane_rows(handle, SCN_PLANE_WORK), from_file) << "round " << round;
  }
  scn_Exit(handle);
  img_destroy(image);
}

TEST(EngineImage, RefusesWhatIsNotAnEightBitImageAndKeepsThePlanes) {
  ScnHandle handle = scn_Init();
  GreyImage* rgb = img_create(3, 10, 10);
  GreyImage* forged = img_create(1, 10, 10);
  forged->stride = 10;  // not padded to 4 bytes: a copy would be short
  EXPECT_EQ(load_engine_image(nullptr, forged), SCN_FAILED);
  EXPECT_EQ(load_engine_image(handle, nullptr), SCN_FAILED);
  EXPECT_EQ(load_engine_image(handle, rgb), SCN_FAILED);
  EXPECT_EQ(load_engine_image(handle, forged), SCN_FAILED);
  EXPECT_EQ(take_engine_image(nullptr, forged), SCN_FAILED);
  EXPECT_EQ(take_engine_image(handle, nullptr), SCN_FAILED);
  EXPECT_EQ(take_engine_image(handle, rgb), SCN_FAILED);
  EXPECT_EQ(take_engine_image(handle, forged), SCN_FAILED);
  int32_t width = 0;
  int32_t height = 0;
  scn_GetImageSize(handle, &width, &height);
  EXPECT_EQ(width, 1280) << "the planes of scn_Init stay";
  EXPECT_EQ(height, 1024);
  forged->stride = 12;
  img_destroy(forged);
  img_destroy(rgb);
  scn_Exit(handle);
}

}  // namespace
