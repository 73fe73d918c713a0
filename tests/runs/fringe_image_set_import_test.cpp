// "open fringe image set…" without a window: the pictures become the
// channel's frames in the order given, frame 0 is shown as a single import
// shows it, and a set that does not fit the channel's method settings is
// refused before anything is written.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/work_files.h"
#include "formats/frame_picture.h"
#include "runs/channel_frames.h"
#include "settings/channel_settings.h"
#include "runs/fringe_image_import.h"
#include "settings/method_settings.h"
#include "runs/simulation_run.h"
#include "temp_dir.h"

namespace {

struct Controls final : RunObserver {
  Picture image{kImageControlSide, kImageControlSide, PixelFormat::indexed8};
  Picture scan_plot{256, 42};
  HeightMatrix scratch_map;
  void status(const std::string&) override {}
  void progress(int) override {}
};

// Frame k: levels below 2^bits (16-bit samples beyond 8 bits), no two frames alike.
GreyImageOwner frame(int k, int bits, int width = 40) {
  GreyImageOwner image(img_create(bits > 8 ? 2 : 1, width, 30));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t v = static_cast<uint32_t>(x * 37 + y * 11 + k * 1013) % (1U << bits);
      if (bits > 8) reinterpret_cast<uint16_t*>(img_line(image.get(), y))[x] = static_cast<uint16_t>(v);
      else img_line(image.get(), y)[x] = static_cast<uint8_t>(v);
    }
  return image;
}

std::string pixels_of(const GreyImage& image) {
  std::string bytes;
  for (int y = 0; y < image.height; ++y)
    bytes.append(reinterpret_cast<const char*>(img_line(&image, y)), static_cast<std::size_t>(image.width * image.type));
  return bytes;
}

MethodSettings method_of(FringeMethod method, int steps = 4, std::vector<double> periods = {}, int bits = 8) {
  MethodSettings s;
  s.method = method;
  s.steps = steps;
  s.periods = std::move(periods);
  s.errors.bits = bits;
  return s;
}

TEST(FringeImageSetImport, PicturesBecomeTheChannelsFramesInOrderAndFrameZeroIsShown) {
  const struct {
    int channel;
    MethodSettings settings;
    const char* extension;  // of the pictures given
  } cases[] = {
      {1, method_of(FringeMethod::phase_shift, 4), ".bmp"},
      {0, method_of(FringeMethod::phase_shift, 3, {80, 10}, 12), ".png"},
      {0, method_of(FringeMethod::fourier), ".png"},  // one picture
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(method_summary(c.settings, 10.0));
    TempDir dir;
    write_default_settings(".");
    write_method_file(method_file(c.channel), c.settings);
    const int count = plan_frame_count(method_plan(c.settings, 10.0));
    std::vector<std::string> pictures, expected;
    for (int k = 0; k < count; ++k) {
      // Names that sort otherwise than the frames: the order given counts.
      pictures.push_back("picture_" + std::to_string(count - k) + c.extension);
      const GreyImageOwner f = frame(k, c.settings.errors.bits);
      save_frame_picture(*f, pictures.back());
      expected.push_back(pixels_of(*f));
    }
    Controls shown, applied;
    run_fringe_image_set_import({c.channel, pictures, "2"}, shown.image, shown.scan_plot, shown.scratch_map, shown);
    const std::vector<GreyImageOwner> frames = read_channel_frames(c.channel, c.settings, 10.0);
    ASSERT_EQ(frames.size(), expected.size());
    for (std::size_t k = 0; k < frames.size(); ++k) EXPECT_EQ(pixels_of(*frames[k]), expected[k]) << k;

    // What the window shows is the channel's fringe image, as "apply" would show it.
    const char* fringe = fringe_image_file(c.channel);
    show_fringe_image(c.channel, fringe, "2", applied.image, applied.scan_plot, applied.scratch_map, applied);
    ASSERT_EQ(shown.image.width(), 40);
    for (int y = 0; y < shown.image.height(); ++y)
      ASSERT_EQ(std::memcmp(shown.image.row(y), applied.image.row(y), 40), 0) << y;
    if (c.settings.errors.bits == 8) {
      EXPECT_EQ(pixels_of(*read_frame_picture(fringe)), expected.front());
    }
  }
}

TEST(FringeImageSetImport, ASetThatDoesNotFitIsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  write_default_settings(".");
  write_file_bytes("sim00.bmp", "earlier");
  for (int k = 0; k < 4; ++k) save_frame_picture(*frame(k, 8), "f" + std::to_string(k) + ".bmp");
  save_frame_picture(*frame(0, 8, 41), "wide.bmp");
  save_frame_picture(*frame(0, 12), "deep.png");
  save_frame_picture(*frame(1, 12), "deep1.png");
  GreyImageOwner loud = frame(2, 12);
  reinterpret_cast<uint16_t*>(img_line(loud.get(), 7))[3] = 4096;
  save_frame_picture(*loud, "loud.png");
  write_file_bytes("broken.png", "\x89PNG\r\n\x1a\n and no more");

  const MethodSettings four = method_of(FringeMethod::phase_shift, 4), three12 = method_of(FringeMethod::phase_shift, 3, {}, 12);
  const struct {
    MethodSettings settings;
    std::vector<std::string> pictures;
    const char* passes;
    std::string error;  // what() of the exception; empty: names broken.png
  } cases[] = {
      {four, {"f0.bmp", "f1.bmp", "f2.bmp"}, "2",
       "the channel's method (" + method_summary(four, 10.0) +
           ") takes 4 frames; 3 pictures were given: f0.bmp, f1.bmp, f2.bmp"},
      {MethodSettings{}, {}, "2", "the channel's method (quadrature) takes 1 frame; 0 pictures were given"},
      {four, {"f0.bmp", "f1.bmp", "wide.bmp", "f3.bmp"}, "2",
       "Cannot read file \"wide.bmp\": the picture is 41 x 30 pixels of 8 bits, the first (f0.bmp) 40 x 30 pixels of 8 bits"},
      {four, {"f0.bmp", "f1.bmp", "deep.png", "f3.bmp"}, "2",
       "Cannot read file \"deep.png\": the picture holds 16-bit samples; the channel's method settings take an "
       "8-bit camera (Bits=8)"},
      {three12, {"deep.png", "deep1.png", "f2.bmp"}, "2",
       "Cannot read file \"f2.bmp\": the picture holds 8-bit samples; the channel's method settings take a "
       "12-bit camera (Bits=12)"},
      {three12, {"deep.png", "deep1.png", "loud.png"}, "2",
       "Cannot read file \"loud.png\": a sample of 4096 lies beyond the 12 bits of the channel's method "
       "settings (0 to 4095)"},
      {four, {"f0.bmp", "broken.png", "f2.bmp", "f3.bmp"}, "2", ""},
      {four, {"f0.bmp", "f1.bmp", "f2.bmp", "gone.bmp"}, "2", "Cannot open file \"gone.bmp\""},
      {four, {"f0.bmp", "f1.bmp", "f2.bmp", "f3.bmp"}, "two", "'two' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    write_method_file(method_file(0), c.settings);
    Controls shown;
    try {
      run_fringe_image_set_import({0, c.pictures, c.passes}, shown.image, shown.scan_plot, shown.scratch_map, shown);
      ADD_FAILURE() << "imported";
    } catch (const std::exception& error) {
      if (!c.error.empty()) EXPECT_EQ(error.what(), c.error);
      else EXPECT_NE(std::string(error.what()).find("\"broken.png\""), std::string::npos) << error.what();
    }
    EXPECT_EQ(read_file_bytes("sim00.bmp"), "earlier");
    for (const char* file : {"sim00_f00.bmp", "sim00_f01.bmp", "sim00_f00.png", "sim00_f01.png", "sim00_filtered.bmp"})
      EXPECT_FALSE(std::filesystem::exists(file)) << file;
    EXPECT_EQ(shown.image.width(), kImageControlSide) << "the control keeps its picture";
  }
}

}  // namespace
