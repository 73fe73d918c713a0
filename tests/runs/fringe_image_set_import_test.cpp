// "open fringe image set…" without a window: the pictures become the
// channel's frames in order, under the names "profile" reads them by, frame 0
// is shown as a single import shows it, and a set that does not fit the
// channel's method settings is refused before anything is written.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/work_files.h"
#include "formats/frame_picture.h"
#include "formats/picture_writers.h"
#include "runs/channel_frames.h"
#include "runs/channel_settings.h"
#include "runs/fringe_image_import.h"
#include "runs/method_settings.h"
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

// Frame k of a set: 8-bit levels, or 16-bit levels below 2^bits; no two
// frames alike, so a frame out of order shows.
GreyImageOwner frame(int k, int bits, int width = 40, int height = 30) {
  GreyImageOwner image(img_create(bits > 8 ? 2 : 1, width, height));
  const uint32_t top = (1U << bits) - 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t v = static_cast<uint32_t>(x * 37 + y * 11 + k * 1013) % (top + 1);
      if (bits > 8)
        reinterpret_cast<uint16_t*>(img_line(image.get(), y))[x] = static_cast<uint16_t>(v);
      else
        img_line(image.get(), y)[x] = static_cast<uint8_t>(v);
    }
  }
  return image;
}

std::string pixels_of(const GreyImage& image) {
  std::string bytes;
  for (int y = 0; y < image.height; ++y)
    bytes.append(reinterpret_cast<const char*>(img_line(&image, y)),
                 static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.type));
  return bytes;
}

MethodSettings phase_shift(int steps, std::vector<double> periods, int bits) {
  MethodSettings s;
  s.method = FringeMethod::phase_shift;
  s.steps = steps;
  s.periods = std::move(periods);
  s.errors.bits = bits;
  return s;
}

TEST(FringeImageSetImport, PicturesBecomeTheChannelsFramesInOrderAndFrameZeroIsShown) {
  struct Case {
    const char* name;
    int channel;
    MethodSettings settings;
    const char* extension;  // of the pictures given
  };
  const Case cases[] = {
      {"phase-shift 4 steps, 8 bits, bitmaps", 1, phase_shift(4, {}, 8), ".bmp"},
      {"phase-shift 3 steps over two periods, 12 bits, PNG", 0, phase_shift(3, {80, 10}, 12), ".png"},
      {"fourier, one picture", 0, [] {
         MethodSettings s;
         s.method = FringeMethod::fourier;
         return s;
       }(), ".png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_default_settings(".");
    write_method_file(method_file(c.channel), c.settings);
    const int count = plan_frame_count(method_plan(c.settings, 10.0));
    std::vector<std::string> pictures;
    std::vector<std::string> expected;
    for (int k = 0; k < count; ++k) {
      // Names that sort otherwise than the frames: the order given counts.
      pictures.push_back("picture_" + std::to_string(count - k) + c.extension);
      const GreyImageOwner f = frame(k, c.settings.errors.bits);
      save_frame_picture(*f, pictures.back());
      expected.push_back(pixels_of(*f));
    }

    Controls shown;
    run_fringe_image_set_import({c.channel, pictures, "2"}, shown.image, shown.scan_plot, shown.scratch_map,
                                shown.observer);
    const std::vector<GreyImageOwner> frames = read_channel_frames(c.channel, c.settings, 10.0);
    ASSERT_EQ(frames.size(), expected.size());
    for (std::size_t k = 0; k < frames.size(); ++k) EXPECT_EQ(pixels_of(*frames[k]), expected[k]) << k;
    for (const std::string& file : frame_files(c.channel, count, c.settings.errors.bits))
      EXPECT_TRUE(std::filesystem::exists(file)) << file;

    // What the window shows is the channel's fringe image, as "apply" would show it.
    const char* fringe = fringe_image_file(c.channel);
    EXPECT_EQ(shown.observer.steps.front(), "reading the picture               ");
    Controls applied;
    show_fringe_image(c.channel, fringe, "2", applied.image, applied.scan_plot, applied.scratch_map,
                      applied.observer);
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
  save_frame_picture(*frame(0, 8, 41, 30), "wide.bmp");
  save_frame_picture(*frame(0, 12), "deep.png");
  save_frame_picture(*frame(1, 12), "deep1.png");
  GreyImageOwner loud = frame(2, 12);
  reinterpret_cast<uint16_t*>(img_line(loud.get(), 7))[3] = 4096;
  save_frame_picture(*loud, "loud.png");
  write_file_bytes("broken.png", "\x89PNG\r\n\x1a\n and no more");

  struct Case {
    const char* name;
    MethodSettings settings;
    std::vector<std::string> pictures;
    const char* passes;
    std::string error;  // what() of the exception
  };
  const Case cases[] = {
      {"too few", phase_shift(4, {}, 8), {"f0.bmp", "f1.bmp", "f2.bmp"}, "2",
       "the channel's method (" + method_summary(phase_shift(4, {}, 8), 10.0) +
           ") takes 4 frames; 3 pictures were given"},
      {"none", MethodSettings{}, {}, "2",
       "the channel's method (quadrature) takes 1 frame; 0 pictures were given"},
      {"another size", phase_shift(4, {}, 8), {"f0.bmp", "f1.bmp", "wide.bmp", "f3.bmp"}, "2",
       "Cannot read file \"wide.bmp\": the picture is 41 x 30 pixels of 8 bits, the first (f0.bmp) 40 x 30 pixels of 8 bits"},
      {"16 bits for an 8-bit camera", phase_shift(4, {}, 8), {"f0.bmp", "f1.bmp", "deep.png", "f3.bmp"}, "2",
       "Cannot read file \"deep.png\": the picture holds 16-bit samples; the channel's method settings take an "
       "8-bit camera (Bits=8)"},
      {"8 bits for a 12-bit camera", phase_shift(3, {}, 12), {"deep.png", "deep1.png", "f2.bmp"}, "2",
       "Cannot read file \"f2.bmp\": the picture holds 8-bit samples; the channel's method settings take a "
       "12-bit camera (Bits=12)"},
      {"a sample beyond 12 bits", phase_shift(3, {}, 12), {"deep.png", "deep1.png", "loud.png"}, "2",
       "Cannot read file \"loud.png\": a sample of 4096 lies beyond the 12 bits of the channel's method "
       "settings (0 to 4095)"},
      {"a broken picture", phase_shift(4, {}, 8), {"f0.bmp", "broken.png", "f2.bmp", "f3.bmp"}, "2", ""},
      {"a missing picture", phase_shift(4, {}, 8), {"f0.bmp", "f1.bmp", "f2.bmp", "gone.bmp"}, "2",
       "Cannot open file \"gone.bmp\""},
      {"a bad pass count", phase_shift(4, {}, 8), {"f0.bmp", "f1.bmp", "f2.bmp", "f3.bmp"}, "two",
       "'two' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_method_file(method_file(0), c.settings);
    Controls shown;
    try {
      run_fringe_image_set_import({0, c.pictures, c.passes}, shown.image, shown.scan_plot, shown.scratch_map,
                                  shown.observer);
      ADD_FAILURE() << "imported";
    } catch (const std::exception& error) {
      if (!c.error.empty()) EXPECT_EQ(error.what(), c.error);
      else EXPECT_NE(std::string(error.what()).find("\"broken.png\""), std::string::npos) << error.what();
    }
    EXPECT_EQ(read_file_bytes("sim00.bmp"), "earlier");
    for (const char* file : {"sim00_f01.bmp", "sim00_f00.png", "sim00_f01.png", "sim00_filtered.bmp"})
      EXPECT_FALSE(std::filesystem::exists(file)) << file;
    EXPECT_EQ(shown.image.width(), kImageControlSide) << "the control keeps its picture";
  }
}

}  // namespace
