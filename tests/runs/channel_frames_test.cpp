// A channel's frame set through its work files: "profile" measures the frames
// only for the method they were made for, and never takes the coarse first
// frame of a set for a picture of the scan settings' period.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "common/errors.h"
#include "common/work_files.h"
#include "runs/channel_frames.h"
#include "settings/channel_settings.h"
#include "runs/profile_run.h"
#include "runs/simulation_run.h"
#include "temp_dir.h"

namespace {

struct Quiet final : RunObserver {
  void status(const std::string&) override {}
  void progress(int) override {}
};

MethodSettings stepped(int steps, std::vector<double> periods = {}) {
  MethodSettings s;
  s.method = FringeMethod::phase_shift;
  s.steps = steps;
  s.periods = std::move(periods);
  return s;
}

// A small workspace of channel 0: 192 x 160 pictures.
void small_workspace() {
  ChannelSettingsTexts t;
  t.xpixels = "192";
  t.ypixels = "160";
  t.maskradius = "0.6";
  write_settings_texts(0, t);
  write_settings_texts(1, t);
}

void apply(const std::optional<MethodSettings>& method) {
  SimulationInputs in;
  in.method = method;
  SimParams params = channel_sim_params(0);
  Quiet quiet;
  run_simulation_unseen(in, params, quiet);
}

std::string profile_error(const std::optional<MethodSettings>& method) {
  UnseenProfile out;
  Quiet quiet;
  try {
    run_profile_unseen(0, "7.5", "0.6", out, quiet, method);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(ChannelFrames, ProfileMeasuresOnlyTheSetTheFramesWereMadeFor) {
  TempDir dir;
  small_workspace();
  apply(stepped(8));
  EXPECT_EQ(read_file_bytes(frame_set_file(0)),
            "Method=phase-shift\r\nSteps=8\r\nPeriods=10\r\nGamma=1\r\nBlur=0\r\nBits=8\r\nAmbient=0\r\n");
  EXPECT_EQ(profile_error(stepped(8)), "");
  const std::string before = read_file_bytes(profile_file(0));
  // Eight frames on disk would pass for four of another set.
  EXPECT_EQ(profile_error(stepped(4)),
            "Cannot read file \"./sim00_frames.ini\": the frames were made for phase-shift 8 steps, period 10 px, "
            "not for phase-shift 4 steps, period 10 px; apply again");
  EXPECT_EQ(read_file_bytes(profile_file(0)), before) << "the earlier profile stays";
  MethodSettings deep = stepped(8);
  deep.errors.bits = 12;
  EXPECT_NE(profile_error(deep).find("the frames were made for phase-shift 8 steps, period 10 px, not for "
                                     "phase-shift 8 steps, period 10 px, 12 bits"),
            std::string::npos);
  // Frame 0 of a set at the scan settings' period is a picture like any other.
  EXPECT_EQ(profile_error(std::nullopt), "");
}

TEST(ChannelFrames, TheCoarseFirstFrameIsNoPictureForTheEngine) {
  TempDir dir;
  small_workspace();
  apply(stepped(3, {192, 10}));
  EXPECT_EQ(profile_error(std::nullopt),
            "Cannot read file \"./sim00_frames.ini\": the fringe image is frame 0 of a set made for phase-shift 3 "
            "steps, periods 192/10 px, at a period other than the scan settings' LambdaF; profile it with that "
            "method or apply again");
  EXPECT_EQ(profile_error(stepped(3, {192, 10})), "");
}

TEST(ChannelFrames, ASinglePictureLeavesNoSetBehind) {
  TempDir dir;
  small_workspace();
  apply(stepped(4));
  apply(std::nullopt);  // the classic picture
  EXPECT_FALSE(std::filesystem::exists(frame_set_file(0)));
  EXPECT_EQ(profile_error(stepped(4)),
            "Cannot open file \"./sim00_frames.ini\" (no frame set was made for the channel's method: run "
            "\"apply\" or open a fringe image set)");
  EXPECT_EQ(profile_error(std::nullopt), "");
}

}  // namespace
