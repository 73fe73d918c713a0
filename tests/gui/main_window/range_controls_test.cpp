// The colour range edits with their step buttons, and the contrast and noise
// track bars with their boxes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "common/text_to_number.h"
#include "error_recorder.h"
#include "gui/main_window/unit1.h"
#include "settings/channel_settings.h"
#include "render/colour_components.h"
#include "render/colour_map.h"
#include "temp_dir.h"

namespace {

bool same_picture(const Picture& a, const Picture& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) return false;
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.bytes_per_line())) != 0) return false;
  return true;
}

// The whole map in 20 classes over lo..hi mm, as the range controls draw it.
Picture rendered(const HeightMatrix& map, double lo, double hi) {
  Picture p;
  render_map(map, 0, 255, 0, 255, 20, p, colour_blue, colour_red, colour_green, lo, hi);
  return p;
}

std::string text(const EditBox* box) { return box->text_utf8(); }

class RangeControls : public ::testing::Test {
 protected:
  RangeControls() {
    write_default_settings(".");
    form = std::make_unique<TForm1>();
    for (HeightMatrix* map : {&form->data.channels[0].height_map, &form->data.channels[1].height_map, &form->data.difference_map})
      for (int x = 0; x < kMapSide; ++x)
        for (int y = 0; y < kMapSide; ++y) (*map)(x, y) = (x - 128) * 4e-5 + (y % 7) * 1e-4;
  }

  TempDir dir;
  ErrorRecorder errors;
  std::unique_ptr<TForm1> form;
};

}  // namespace

TEST_F(RangeControls, CommitKeepsTheUpperLimitAboveTheLowerOne) {
  WorkbenchData& d = form->data;
  form->Edit_min_0->setText("5");
  form->Edit_max_0->setText("3");
  emit form->Edit_max_0->exited();
  EXPECT_EQ(d.channels[0].height_range.min, 0.005);
  EXPECT_EQ(d.channels[0].height_range.max, 0.005);
  EXPECT_EQ(text(form->Edit_max_0), "5");
  EXPECT_EQ(text(form->Edit_min_0), "5");
  EXPECT_TRUE(same_picture(form->Image_prof_0->picture, rendered(d.channels[0].height_map, 0.005, 0.005)));

  // Down on the max box with both at 5: 4 first, then the min wins again.
  form->UpDown4->press(-1);
  EXPECT_EQ(text(form->Edit_max_0), "5");
  EXPECT_EQ(d.channels[0].height_range.max, 0.005);
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(RangeControls, StepButtonsMoveOneMicronInTwoDigits) {
  WorkbenchData& d = form->data;
  form->Edit_max_0->setText("9");
  form->UpDown4->press(+1);
  EXPECT_EQ(text(form->Edit_max_0), "10");
  EXPECT_DOUBLE_EQ(d.channels[0].height_range.max, 0.01);

  form->Edit_max_0->setText("100");
  form->UpDown4->press(+1);  // 101 in two digits reads back as 100
  EXPECT_EQ(text_to_double(text(form->Edit_max_0)), 100.0);
  EXPECT_DOUBLE_EQ(d.channels[0].height_range.max, 0.1);

  form->Edit_min_0->setText("0.5");
  form->UpDown1->press(-1);
  EXPECT_EQ(text(form->Edit_min_0), "-0.5");
  EXPECT_DOUBLE_EQ(d.channels[0].height_range.min, -0.0005);
  EXPECT_TRUE(same_picture(form->Image_prof_0->picture, rendered(d.channels[0].height_map, -0.0005, 0.1)));

  // Each button steps its own box; the position is reset before each step,
  // so no number of presses reaches the limits.
  form->UpDown3->press(+1);
  form->UpDown5->press(-1);
  form->UpDown6->press(-1);
  form->UpDown2->press(+1);
  EXPECT_EQ(text(form->Edit_max_1), "6");
  EXPECT_EQ(text(form->Edit_min_1), "-4");
  EXPECT_EQ(text(form->Edit_min_diff), "-6");
  EXPECT_EQ(text(form->Edit_max_diff), "4");
  EXPECT_DOUBLE_EQ(d.difference_range.min, -0.006);
  form->Edit_min_0->setText("0");
  form->Edit_max_0->setText("5");
  for (int i = 0; i < 40; ++i) form->UpDown1->press(+1);
  EXPECT_EQ(form->UpDown1->position(), 1);
  EXPECT_EQ(text(form->Edit_min_0), "40");
  EXPECT_EQ(text(form->Edit_max_0), "40");  // raised with the min
}

TEST_F(RangeControls, DifferenceRangeRedrawsOnlyTheDifferenceMap) {
  WorkbenchData& d = form->data;
  const Picture map_0 = form->Image_prof_0->picture;
  const Picture map_1 = form->Image_prof_1->picture;
  form->Edit_min_diff->setText("-1");
  emit form->Edit_min_diff->key_down('A');
  EXPECT_EQ(d.difference_range.min, -0.005);
  emit form->Edit_min_diff->key_down(kEnterKey);
  EXPECT_EQ(d.difference_range.min, -0.001);
  EXPECT_TRUE(same_picture(form->Image_diff->picture, rendered(d.difference_map, -0.001, 0.005)));
  EXPECT_TRUE(same_picture(form->Image_prof_0->picture, map_0));
  EXPECT_TRUE(same_picture(form->Image_prof_1->picture, map_1));
}

TEST_F(RangeControls, AnEvaluationMapHasItsOwnRange) {
  WorkbenchData& d = form->data;
  d.channels[1].ranged = ChannelMap::pv;
  d.channels[1].shown = ChannelMap::pv;
  form->Edit_min_1->setText("1");
  form->Edit_max_1->setText("4");
  emit form->Edit_min_1->exited();
  EXPECT_EQ(d.channels[1].pv_range.min, 0.001);
  EXPECT_EQ(d.channels[1].pv_range.max, 0.004);
  EXPECT_EQ(d.channels[1].height_range.min, -0.005);
  EXPECT_EQ(d.channels[1].height_range.max, 0.005);
  EXPECT_TRUE(same_picture(form->Image_prof_1->picture, rendered(d.channels[1].pv_map, 0.001, 0.004)));
}

TEST_F(RangeControls, TextsThatAreNotNumbers) {
  WorkbenchData& d = form->data;
  const Picture before = form->Image_prof_0->picture;
  form->Edit_min_0->setText("x");
  emit form->Edit_min_0->exited();
  EXPECT_EQ(errors.messages, std::vector<std::string>{"'x' is not a valid floating point value"});
  EXPECT_EQ(d.channels[0].height_range.min, -0.005);

  // A bad max keeps the new lower limit only.
  form->Edit_min_0->setText("-2");
  form->Edit_max_0->setText("y");
  emit form->Edit_max_0->key_down(kEnterKey);
  EXPECT_EQ(d.channels[0].height_range.min, -0.002);
  EXPECT_EQ(d.channels[0].height_range.max, 0.005);
  EXPECT_TRUE(same_picture(form->Image_prof_0->picture, before));

  form->UpDown4->press(+1);
  EXPECT_EQ(text(form->Edit_max_0), "y");
  form->Edit_noise_1->setText("q");
  emit form->Edit_noise_1->exited();
  EXPECT_EQ(form->TrackBarNoise1->value(), 0);
  EXPECT_EQ(text(form->Edit_noise_1), "q");
  EXPECT_EQ(errors.messages.size(), 4u);
}

TEST_F(RangeControls, TrackBarBoxesHoldTheirValuesToZeroToOne) {
  WorkbenchData& d = form->data;
  const auto type = [](EditBox* box, const char* typed) {
    box->setText(typed);
    emit box->exited();
  };
  type(form->Edit_noise_0, "0.51");
  EXPECT_EQ(form->TrackBarNoise0->value(), 130);  // 130.56 truncated
  EXPECT_EQ(d.channels[0].sim_params.noise, 0.5078125);
  EXPECT_EQ(text(form->Edit_noise_0), "0.51");
  type(form->Edit_noise_0, "2");
  EXPECT_EQ(form->TrackBarNoise0->value(), 256);
  EXPECT_EQ(text(form->Edit_noise_0), "1");
  type(form->Edit_noise_0, "-1");
  EXPECT_EQ(form->TrackBarNoise0->value(), 0);
  EXPECT_EQ(text(form->Edit_noise_0), "0");
  EXPECT_EQ(d.channels[0].sim_params.noise, 0.0);

  // The same position again: the box keeps what was typed.
  form->TrackBarNoise0->setValue(128);
  type(form->Edit_noise_0, "0.501");
  EXPECT_EQ(form->TrackBarNoise0->value(), 128);
  EXPECT_EQ(text(form->Edit_noise_0), "0.501");
  EXPECT_EQ(d.channels[0].sim_params.noise, 0.5);

  form->TrackBarDynamic0->setValue(1);
  EXPECT_EQ(d.channels[0].sim_params.dynamic, 0.00390625);
  EXPECT_EQ(text(form->Edit_dyn_0), "0.0039");
  type(form->Edit_dyn_1, "0.25");
  EXPECT_EQ(form->TrackBarDynamic1->value(), 64);
  EXPECT_EQ(d.channels[1].sim_params.dynamic, 0.25);
  EXPECT_EQ(d.channels[0].sim_params.dynamic, 0.00390625);
  form->TrackBarNoise1->setValue(8);
  EXPECT_EQ(d.channels[1].sim_params.noise, 0.03125);
  EXPECT_EQ(text(form->Edit_noise_1), "0.031");
  EXPECT_TRUE(errors.messages.empty());
}
