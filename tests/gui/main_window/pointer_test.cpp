// The pointer readout over the maps and raw images of the main window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "analysis/area_statistics.h"
#include "common/number_text.h"
#include "error_recorder.h"
#include "analysis/pointer_readout.h"
#include "gui/main_window/unit1.h"
#include "settings/channel_settings.h"
#include "render/colour_components.h"
#include "render/line_scan.h"
#include "render/magnifier.h"
#include "temp_dir.h"

namespace {

bool same_pixels(const Picture& a, const Picture& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) return false;
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.bytes_per_line())) != 0) return false;
  return true;
}

// Ripples of a few microns: every cell differs from its neighbours, so an
// area or scan one cell off gives other numbers.
void fill_ripples(HeightMatrix& map, double phase) {
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y)
      map(x, y) = 0.004 * std::sin(x * 0.37 + phase) * std::cos(y * 0.23) + 2e-6 * x;
}

std::string text(const EditBox* box) { return box->text_utf8(); }
std::string microns(double mm, int p, int d) { return number_text(mm * 1000.0, p, d); }

class PointerTest : public ::testing::Test {
 protected:
  PointerTest() {
    write_default_settings(".");
    form = std::make_unique<TForm1>();
    WorkbenchData& d = form->data;
    fill_ripples(d.channels[0].height_map, 0.0);
    fill_ripples(d.channels[1].height_map, 1.0);
    fill_ripples(d.difference_map, 2.0);
  }
  void move(ImageView* view, int x, int y) { emit view->mouse_moved(x, y); }

  TempDir dir;
  ErrorRecorder errors;
  std::unique_ptr<TForm1> form;
};

}  // namespace

TEST_F(PointerTest, ChannelMapReadsOutValueAreaScansAndMagnifier) {
  WorkbenchData& d = form->data;
  form->show_magnifier->setChecked(true);
  move(form->Image_prof_0, 128, 64);
  EXPECT_TRUE(errors.messages.empty());

  EXPECT_EQ(text(form->Edit_x), "5.12");
  EXPECT_EQ(text(form->Edit_y), "2.56");
  EXPECT_EQ(text(form->Edit_val), microns(d.channels[0].height_map(128, 64), 2, 3));
  EXPECT_EQ(text(form->Edit_RMS), microns(area_rms(d.channels[0].height_map, 124, 132, 60, 68), 3, 2));
  EXPECT_EQ(text(form->Edit_PV), microns(area_pv(d.channels[0].height_map, 124, 132, 60, 68), 3, 2));
  EXPECT_EQ(text(form->Edit_Mean), microns(area_mean(d.channels[0].height_map, 124, 132, 60, 68), 3, 2));
  EXPECT_FALSE(form->Label_magnifier->isHidden());

  Picture lupe(kMagnifierSide, kMagnifierSide);
  HeightMatrix rows(kMagnifierSide, kMagnifierSide, 0.0);
  render_magnifier(d.channels[0].height_map, 97, 159, 33, 95, 25, lupe, colour_blue, colour_red, colour_green, -0.005,
                   0.005, rows);
  EXPECT_TRUE(same_pixels(form->Image_Lupe->picture, lupe));

  // Every map is scanned through the same pixel.
  Picture horiz(256, 42);
  const ScanLabels h = draw_horiz_scan(horiz, d.channels[1].height_map, 0, 255, 64, 0.5, 1000.0);
  EXPECT_TRUE(same_pixels(form->Image_horiz_cross_1->picture, horiz));
  EXPECT_EQ(form->Label1_horiz_min->text().toStdString(), h.min);
  EXPECT_EQ(form->Label1_horiz_max->text().toStdString(), h.max);
  Picture vert(40, 256);
  const ScanLabels v = draw_vert_scan(vert, d.difference_map, 0, 255, 128, 0.25, 1000.0);
  EXPECT_TRUE(same_pixels(form->Image_diff_vert_cross->picture, vert));
  EXPECT_EQ(form->Label_diff_vert_max->text().toStdString(), v.max);
}

TEST_F(PointerTest, NearTheEdgeOnlyValueAndPositionChange) {
  form->show_magnifier->setChecked(true);
  move(form->Image_prof_0, 128, 64);
  const std::string rms = text(form->Edit_RMS);
  const Picture scan = form->Image_horiz_cross_0->picture;
  const Picture lupe = form->Image_Lupe->picture;

  move(form->Image_prof_0, 3, 64);
  EXPECT_EQ(text(form->Edit_x), "0.12");
  EXPECT_EQ(text(form->Edit_val), microns(form->data.channels[0].height_map(3, 64), 2, 3));
  EXPECT_EQ(text(form->Edit_RMS), rms);
  EXPECT_TRUE(same_pixels(form->Image_horiz_cross_0->picture, scan));
  EXPECT_TRUE(same_pixels(form->Image_Lupe->picture, lupe));

  // Statistics from cell 4 to 251, the magnifier from 31 to 224.
  const auto rms_at = [&](int x) {
    move(form->Image_prof_0, x, 128);
    return text(form->Edit_RMS);
  };
  const std::string at_4 = rms_at(4);
  EXPECT_NE(at_4, rms);
  EXPECT_EQ(rms_at(3), at_4);
  const std::string at_251 = rms_at(251);
  EXPECT_NE(at_251, at_4);
  EXPECT_EQ(rms_at(252), at_251);
  const auto lupe_changes = [&](int from, int to) {
    move(form->Image_prof_0, from, 128);
    const Picture before = form->Image_Lupe->picture;
    move(form->Image_prof_0, to, 128);
    return !same_pixels(before, form->Image_Lupe->picture);
  };
  EXPECT_TRUE(lupe_changes(128, 31));
  EXPECT_FALSE(lupe_changes(31, 30));
  EXPECT_TRUE(lupe_changes(128, 224));
  EXPECT_FALSE(lupe_changes(224, 225));
}

TEST_F(PointerTest, ValueTextsFieldSizesAndDifferenceStatistics) {
  WorkbenchData& d = form->data;
  d.channels[0].height_map(50, 60) = 0.0012345;
  move(form->Image_prof_0, 50, 60);
  EXPECT_EQ(text(form->Edit_val), "1.2");

  // Channel 1 uses its own field; the difference map channel 0's.
  d.channels[0].profile.field_x = 5.12;
  d.channels[1].profile.field_x = 5.0;
  move(form->Image_prof_1, 128, 64);
  EXPECT_EQ(text(form->Edit_x), "2.5");
  EXPECT_EQ(text(form->Edit_RMS), microns(area_rms(d.channels[1].height_map, 120, 136, 60, 68), 3, 2));

  d.channels[0].profile.field_x = 10.24;
  move(form->Image_diff, 100, 101);  // 0.2 mm: 5 cells around 100, 7 around 101
  EXPECT_EQ(text(form->Edit_x), "4");
  EXPECT_EQ(text(form->Edit_y), "4.04");
  EXPECT_EQ(text(form->Edit_RMS), microns(area_rms(d.difference_map, 98, 102, 98, 104), 15, 0));
  EXPECT_EQ(text(form->Edit_PV), microns(area_pv(d.difference_map, 98, 102, 98, 104), 15, 0));
}

TEST_F(PointerTest, ValueLabelFollowsThePointer) {
  form->show_labels->setChecked(true);
  move(form->Image_prof_0, 200, 64);
  EXPECT_EQ(form->Label_val_0->pos(), QPoint(560, 145));
  EXPECT_EQ(form->Label_val_0->text(), form->Edit_val->text());
  move(form->Image_prof_0, 250, 200);
  EXPECT_EQ(form->Label_val_0->pos(), QPoint(560, 231));
  move(form->Image_diff, 20, 20);
  EXPECT_EQ(form->Label_val_diff->pos(), QPoint(747, 285));
  EXPECT_EQ(form->Label_val_0->pos(), QPoint(560, 231));
}

TEST_F(PointerTest, BadTextsEndTheReadoutWhereTheyAreRead) {
  form->show_magnifier->setChecked(true);
  form->show_labels->setChecked(true);
  move(form->Image_prof_0, 128, 64);
  const std::string rms = text(form->Edit_RMS);
  const Picture scan = form->Image_vert_cross_1->picture;
  const Picture lupe = form->Image_Lupe->picture;

  form->Edit_stat_x->setText("abc");
  move(form->Image_prof_0, 100, 100);
  EXPECT_EQ(errors.messages, std::vector<std::string>{"'abc' is not a valid floating point value"});
  EXPECT_EQ(text(form->Edit_val), microns(form->data.channels[0].height_map(100, 100), 2, 3));
  EXPECT_EQ(form->Label_val_0->text(), form->Edit_val->text());
  EXPECT_EQ(text(form->Edit_RMS), rms);
  EXPECT_TRUE(same_pixels(form->Image_vert_cross_1->picture, scan));

  // A bad colour range text spares everything but the magnifier.
  form->Edit_stat_x->setText("0.3");
  form->Edit_max_0->setText("x");
  move(form->Image_prof_0, 100, 100);
  EXPECT_EQ(errors.messages.back(), "'x' is not a valid floating point value");
  EXPECT_NE(text(form->Edit_RMS), rms);
  EXPECT_FALSE(same_pixels(form->Image_vert_cross_1->picture, scan));
  EXPECT_TRUE(same_pixels(form->Image_Lupe->picture, lupe));
}

TEST_F(PointerTest, CapturedPointerPastTheMapReadsNothing) {
  for (ImageView* map : {form->Image_prof_0, form->Image_prof_1, form->Image_diff})
    for (auto [x, y] : {std::pair{-1, 10}, {256, 10}, {10, 300}, {-4000, -4000}}) move(map, x, y);
  EXPECT_EQ(text(form->Edit_val), "0");
  EXPECT_EQ(text(form->Edit_x), "0");
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(PointerTest, RawImageMagnifierShowsTwentyOnePixelsAroundThePointer) {
  Picture raw(256, 256, PixelFormat::indexed8);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) raw.row(y)[x] = static_cast<uint8_t>(x + 100 * (y % 2));
  form->Image0->picture = raw;
  form->Label_magnifier->show();
  move(form->Image0, 11, 51);
  EXPECT_TRUE(form->Label_magnifier->isHidden());

  const Picture& lupe = form->Image_Lupe->picture;
  // Columns 1..21 and rows 41..61; the outermost get 5 and 4 pixels.
  const auto grey = [&](int j, int i) {
    const uint8_t* p = lupe.row(i) + 3 * j;
    EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << j << ", " << i;
    return static_cast<int>(p[0]);
  };
  EXPECT_EQ(grey(0, 0), 1 + 100);  // row 41 is odd
  EXPECT_EQ(grey(4, 0), 1 + 100);
  EXPECT_EQ(grey(5, 0), 2 + 100);
  EXPECT_EQ(grey(159, 0), 20 + 100);
  EXPECT_EQ(grey(160, 0), 21 + 100);
  EXPECT_EQ(grey(163, 163), 21 + 100);  // row 61
  EXPECT_EQ(grey(82, 5), 11);           // row 42
  EXPECT_EQ(grey(82, 4), 111);

  const Picture before = lupe;
  for (auto [x, y] : {std::pair{10, 51}, {246, 51}, {100, 10}, {100, 246}}) move(form->Image0, x, y);
  EXPECT_TRUE(same_pixels(lupe, before));
  // A raw picture smaller than its control is read only where it has pixels.
  form->Image1->picture = Picture(100, 100, PixelFormat::indexed8);
  move(form->Image1, 95, 50);
  EXPECT_TRUE(same_pixels(lupe, before));

  // A colour picture (the blank map shown before "apply") keeps its colours.
  form->Image1->picture = form->Image_prof_1->picture;
  move(form->Image1, 50, 50);
  EXPECT_EQ(lupe.pixel(80, 80), form->Image_prof_1->picture.pixel(50, 50));
}
