// "open fringe image…" without a window: the picture becomes the channel's
// fringe image and is shown as "apply" shows one; nothing is written when the
// picture or the pass count is bad.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "formats/camera_picture.h"
#include "formats/picture_writers.h"
#include "fringe_image.h"
#include "runs/fringe_image_import.h"
#include "runs/simulation_run.h"
#include "temp_dir.h"

namespace {

struct Recorder final : RunObserver {
  std::vector<std::string> steps;
  void status(const std::string& text) override { steps.push_back(text); }
  void progress(int) override {}
};

struct Controls {
  Picture image{kImageControlSide, kImageControlSide, PixelFormat::indexed8};
  Picture scan_plot{256, 42};
  HeightMatrix scratch_map;
  Recorder observer;
};

TEST(FringeImageImport, PictureBecomesTheChannelsFringeImageAndIsShown) {
  TempDir dir;
  const SphereFringes small{300, 200, 0.01, 10.0, 30.0, 7.5};
  ASSERT_TRUE(write_sphere_fringes(small, "camera.bmp"));
  const GreyImageOwner picture = read_camera_picture("camera.bmp");
  write_file_bytes("camera.tif", tiff_bytes(grey_samples(*picture, 16), {TiffCompression::packbits}));

  Controls c;
  run_fringe_image_import({1, "camera.tif", "2"}, c.image, c.scan_plot, c.scratch_map, c.observer);
  EXPECT_EQ(read_file_bytes("sim01.bmp"), read_file_bytes("camera.bmp")) << "8-bit, grey ramp, same rows";
  EXPECT_FALSE(std::filesystem::exists("sim00.bmp"));
  EXPECT_EQ(c.observer.steps, (std::vector<std::string>{"reading the picture               ",
                                                        "binomial filter                     ",
                                                        "done                               "}));
  const std::string filtered = read_file_bytes("sim01_filtered.bmp");
  // What "apply" would show of the same fringe image.
  Controls applied;
  show_fringe_image(1, "camera.bmp", "2", applied.image, applied.scan_plot, applied.scratch_map,
                    applied.observer);
  ASSERT_EQ(c.image.width(), 300);
  for (int y = 0; y < c.image.height(); ++y)
    ASSERT_EQ(std::memcmp(c.image.row(y), applied.image.row(y), 300), 0) << y;
  EXPECT_EQ(read_file_bytes("sim01_filtered.bmp"), filtered);
  for (int x = 0; x < 256; ++x) EXPECT_EQ(c.scratch_map(x, kScanRow), applied.scratch_map(x, kScanRow));
}

TEST(FringeImageImport, NothingIsWrittenForABadPictureOrPassCount) {
  TempDir dir;
  write_file_bytes("sim00.bmp", "earlier");
  write_file_bytes("bad.png", "\x89PNG\r\n\x1a\n and no more");
  const SphereFringes small{64, 64, 0.01, 10.0, 30.0, 7.5};
  ASSERT_TRUE(write_sphere_fringes(small, "good.bmp"));

  Controls c;
  EXPECT_THROW(run_fringe_image_import({0, "bad.png", "3"}, c.image, c.scan_plot, c.scratch_map, c.observer),
               FileError);
  EXPECT_THROW(run_fringe_image_import({0, "good.bmp", "three"}, c.image, c.scan_plot, c.scratch_map,
                                       c.observer),
               ConversionError);
  EXPECT_EQ(read_file_bytes("sim00.bmp"), "earlier");
  EXPECT_FALSE(std::filesystem::exists("sim00_filtered.bmp"));
  EXPECT_EQ(c.image.width(), kImageControlSide) << "the control keeps its picture";
}

}  // namespace
