// The evaluation selectors and pop-up menus of the maps, the binary views,
// the hidden "mean" button and the data export, driven through the window's
// own controls where a user would use them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "analysis/local_evaluation.h"
#include "common/settings_file.h"
#include "error_recorder.h"
#include "gui/main_window/unit1.h"
#include "settings/channel_settings.h"
#include "render/binary_view.h"
#include "render/colour_map.h"
#include "render/mean_filter.h"
#include "temp_dir.h"

namespace {

// The main window in a temporary working directory with default settings.
struct Window {
  Window() {
    write_default_settings(".");
    form = std::make_unique<TForm1>();
  }
  TempDir dir;
  ErrorRecorder errors;
  std::unique_ptr<TForm1> form;
};

// A user picking item `index` of a selector.
void choose(QComboBox* selector, int index) {
  selector->setCurrentIndex(index);
  emit selector->activated(index);
}

bool same_picture(const Picture& a, const Picture& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) return false;
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.bytes_per_line())) != 0) return false;
  return true;
}

Picture rendered(const HeightMatrix& map, int classes, double min, double max) {
  Picture p;
  render_map(map, 0, 255, 0, 255, classes, p, colour_blue, colour_red, colour_green, min, max);
  return p;
}

HeightMatrix difference(const HeightMatrix& a, const HeightMatrix& b) {
  HeightMatrix d;
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) d(x, y) = a(x, y) - b(x, y);
  return d;
}

std::string text(const QLineEdit* edit) { return edit->text().toStdString(); }
std::string text(const QLabel* label) { return label->text().toStdString(); }

std::set<std::string> files_in(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(EvaluationMenu, LocalMapsOfAConstantChannelThroughThePopUpItems) {
  Window w;
  WorkbenchData& d = w.form->data;
  constexpr double kLevel = 0.001953125;  // 2^-9: the window sums stay exact
  fill_map(d.channels[0].height_map, kLevel);

  w.form->PV0->trigger();
  EXPECT_EQ(d.channels[0].pv_map, HeightMatrix(256, 256, 0.0));
  EXPECT_EQ(text(w.form->Edit_min_0), "0");
  EXPECT_EQ(text(w.form->Edit_max_0), "6");
  EXPECT_TRUE(same_picture(w.form->Image_prof_0->picture, rendered(d.channels[0].pv_map, 25, 0.0, 0.006)));

  w.form->RMS0->trigger();
  EXPECT_EQ(d.channels[0].rms_map, HeightMatrix(256, 256, 0.0));

  w.form->Mean0->trigger();
  for (int x : {0, 3, 4, 128, 252, 253, 255})
    for (int y : {0, 3, 4, 100, 252, 255}) {
      const bool inner = x >= 4 && x <= 252 && y >= 4 && y <= 252;
      EXPECT_EQ(d.channels[0].mean_map(x, y), inner ? kLevel : 0.0) << x << ", " << y;
    }
  EXPECT_EQ(text(w.form->Edit_min_0), "-0.5");
  EXPECT_EQ(text(w.form->Edit_max_0), "0.5");
  EXPECT_TRUE(same_picture(w.form->Image_prof_0->picture,
                           rendered(d.channels[0].mean_map, 20, -0.0005, 0.0005)));
  EXPECT_EQ(&d.channels[0].shown_map(), &d.channels[0].mean_map);
  // The pop-up items leave the range controls on the height map's range.
  EXPECT_EQ(&d.channels[0].controlled_range(), &d.channels[0].height_range);
  EXPECT_EQ(&d.channels[0].controlled_range(), &d.channels[0].height_range);
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(EvaluationMenu, SingleBumpOnChannel1AndTheRangeTextFormat) {
  Window w;
  WorkbenchData& d = w.form->data;
  d.channels[1].height_map(100, 100) = 0.001;
  d.channels[1].pv_range.max = 1e-9;  // 0.000001 microns: too small for fixed notation
  w.form->PV1->trigger();
  for (int x = 90; x <= 110; ++x)
    for (int y = 90; y <= 110; ++y) {
      const bool near = x >= 97 && x <= 103 && y >= 97 && y <= 103;
      ASSERT_EQ(d.channels[1].pv_map(x, y), near ? 0.001 : 0.0) << x << ", " << y;
    }
  EXPECT_EQ(&d.channels[1].shown_map(), &d.channels[1].pv_map);
  EXPECT_EQ(text(w.form->Edit_min_1), "0");
  EXPECT_EQ(text(w.form->Edit_max_1), "1E-006");
  // Channel 1's edits only: channel 0's keep their start texts.
  EXPECT_EQ(text(w.form->Edit_max_0), "5");
  // Channel 0 still shows its height map: the difference is 0 - PV.
  EXPECT_EQ(d.difference_map(100, 100), -0.001);
  EXPECT_EQ(d.difference_map(96, 100), 0.0);
}

TEST(EvaluationMenu, TopSliceOfThePvRangeIsWhiteWith25And20Classes) {
  Window w;
  WorkbenchData& d = w.form->data;
  // Each bump gives its own value as PV at its cell. Channel 0 (25 classes)
  // turns white from level 246, channel 1 (20 classes) from level 243.
  const struct {
    int at;
    double value;
    bool white_0, white_1;
  } cases[] = {
      {20, 0.00570, false, false},  // level 242.25
      {60, 0.00572, false, true},   // level 243.1
      {100, 0.00577, false, true},  // level 245.2
      {140, 0.00578, true, true},   // level 245.65
      {180, 0.0061, true, true},    // above the range
  };
  for (const auto& c : cases) {
    d.channels[0].height_map(c.at, c.at) = c.value;
    d.channels[1].height_map(c.at, c.at) = c.value;
  }
  w.form->PV0->trigger();
  w.form->PV1->trigger();
  for (const auto& c : cases) {
    EXPECT_EQ(w.form->Image_prof_0->picture.pixel(c.at, c.at) == kWhite, c.white_0) << c.value;
    EXPECT_EQ(w.form->Image_prof_1->picture.pixel(c.at, c.at) == kWhite, c.white_1) << c.value;
  }
  // PV 0 is the bottom class, not white.
  EXPECT_NE(w.form->Image_prof_0->picture.pixel(5, 5), kWhite);
}

TEST(EvaluationMenu, BinaryViewsMarkTheShownMapsOnly) {
  Window w;
  WorkbenchData& d = w.form->data;
  TForm1& f = *w.form;

  // A map of zeros leaves the picture as it was.
  const Picture before = f.Image_prof_0->picture;
  f.binary_view0->trigger();
  EXPECT_TRUE(same_picture(f.Image_prof_0->picture, before));

  // Channel 1: above zero green, below zero and NaN red, zero untouched.
  d.channels[1].height_map(10, 20) = 0.001;
  d.channels[1].height_map(11, 20) = -1e-12;
  d.channels[1].height_map(12, 20) = std::numeric_limits<double>::quiet_NaN();
  const CanvasColour untouched = f.Image_prof_1->picture.pixel(13, 20);
  const HeightMatrix diff_before = d.difference_map;
  f.binary_view1->trigger();
  EXPECT_EQ(f.Image_prof_1->picture.pixel(10, 20), kBinaryPositive);
  EXPECT_EQ(f.Image_prof_1->picture.pixel(11, 20), kBinaryNegative);
  EXPECT_EQ(f.Image_prof_1->picture.pixel(12, 20), kBinaryNegative);
  EXPECT_EQ(f.Image_prof_1->picture.pixel(13, 20), untouched);
  EXPECT_EQ(&d.channels[1].shown_map(), &d.channels[1].height_map);
  EXPECT_EQ(d.difference_map, diff_before);

  // It reads the shown map: after PV the whole 7 x 7 block around a bump.
  d.channels[0].height_map(50, 50) = 0.002;
  f.PV0->trigger();
  f.binary_view0->trigger();
  EXPECT_EQ(f.Image_prof_0->picture.pixel(47, 53), kBinaryPositive);
  EXPECT_NE(f.Image_prof_0->picture.pixel(46, 53), kBinaryPositive);

  // The difference map's view: black above zero, colour 2000 below.
  fill_map(d.difference_map, 0.0);
  d.difference_map(0, 0) = 0.003;
  d.difference_map(255, 255) = -0.003;
  const CanvasColour diff_untouched = f.Image_diff->picture.pixel(1, 0);
  f.binary_view_diff->trigger();
  EXPECT_EQ(f.Image_diff->picture.pixel(0, 0), 0x000000u);
  EXPECT_EQ(f.Image_diff->picture.pixel(255, 255), 2000u);  // red 208, green 7
  EXPECT_EQ(f.Image_diff->picture.pixel(1, 0), diff_untouched);
}

TEST(EvaluationMenu, DifferenceMapFollowsTheShownMapsOfBothChannels) {
  Window w;
  WorkbenchData& d = w.form->data;
  TForm1& f = *w.form;
  d.channels[0].height_map(100, 100) = 0.001;
  d.channels[1].height_map(150, 150) = 0.002;
  d.channels[0].height_range.min = -0.002;
  d.channels[1].height_range.max = 0.0031;

  f.PV0->trigger();
  EXPECT_EQ(d.difference_map, difference(d.channels[0].pv_map, d.channels[1].height_map));
  f.PV1->trigger();
  EXPECT_EQ(d.difference_map, difference(d.channels[0].pv_map, d.channels[1].pv_map));
  EXPECT_TRUE(same_picture(f.Image_diff->picture, rendered(d.difference_map, 20, -0.005, 0.005)));

  // Height differences of channel 0 against what channel 1 shows (its PV).
  f.heightdifference0->trigger();
  EXPECT_EQ(d.difference_map, difference(d.channels[0].height_map, d.channels[1].pv_map));
  EXPECT_EQ(&d.channels[0].shown_map(), &d.channels[0].height_map);
  EXPECT_EQ(text(f.Edit_min_0), "-2");
  EXPECT_EQ(text(f.Label_min_0), "-0.002");
  EXPECT_EQ(text(f.Label_max_0), "0.005");
  EXPECT_TRUE(same_picture(f.Image_prof_0->picture, rendered(d.channels[0].height_map, 20, -0.002, 0.005)));

  // Channel 1's height differences always use both height maps.
  f.RMS0->trigger();
  f.heightdifference1->trigger();
  EXPECT_EQ(d.difference_map, difference(d.channels[0].height_map, d.channels[1].height_map));
  EXPECT_EQ(&d.channels[1].shown_map(), &d.channels[1].height_map);
  EXPECT_EQ(text(f.Edit_max_1), "3.1");

  // RMS of channel 1 writes its labels: "0.0" and the height map's maximum.
  f.RMS1->trigger();
  EXPECT_EQ(text(f.Label_min_1), "0.0");
  EXPECT_EQ(text(f.Label_max_1), "0.0031");
  EXPECT_EQ(d.difference_map, difference(d.channels[0].rms_map, d.channels[1].rms_map));
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(EvaluationSelector, RangePointersFollowTheSelectorButNotThePopUpItems) {
  Window w;
  WorkbenchData& d = w.form->data;
  TForm1& f = *w.form;
  const auto expect_pointers = [&](const double* min, const double* max, const char* step) {
    EXPECT_EQ(&d.channels[0].controlled_range().min, min) << step;
    EXPECT_EQ(&d.channels[0].controlled_range().max, max) << step;
  };
  choose(f.ComboBox0, 0);
  expect_pointers(&d.channels[0].pv_range.min, &d.channels[0].pv_range.max, "PV");
  EXPECT_EQ(&d.channels[0].shown_map(), &d.channels[0].pv_map);
  choose(f.ComboBox0, 4);
  expect_pointers(&d.channels[0].pv_range.min, &d.channels[0].pv_range.max, "binary view");
  choose(f.ComboBox0, 1);
  expect_pointers(&d.channels[0].rms_range.min, &d.channels[0].rms_range.max, "RMS");
  EXPECT_EQ(&d.channels[0].shown_map(), &d.channels[0].rms_map);
  choose(f.ComboBox0, 2);
  expect_pointers(&d.channels[0].mean_range.min, &d.channels[0].mean_range.max, "mean");
  EXPECT_EQ(&d.channels[0].shown_map(), &d.channels[0].mean_map);
  choose(f.ComboBox0, 3);
  expect_pointers(&d.channels[0].height_range.min, &d.channels[0].height_range.max, "height differences");
  EXPECT_EQ(&d.channels[0].shown_map(), &d.channels[0].height_map);
  f.RMS0->trigger();
  expect_pointers(&d.channels[0].height_range.min, &d.channels[0].height_range.max, "pop-up RMS");
  EXPECT_EQ(&d.channels[0].shown_map(), &d.channels[0].rms_map);

  choose(f.ComboBox1, 2);
  EXPECT_EQ(&d.channels[1].controlled_range(), &d.channels[1].mean_range);
  EXPECT_EQ(&d.channels[1].shown_map(), &d.channels[1].mean_map);
  expect_pointers(&d.channels[0].height_range.min, &d.channels[0].height_range.max, "other channel");
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(EvaluationSelector, NoSelectionEmptyTextAndUnknownItems) {
  Window w;
  WorkbenchData& d = w.form->data;
  TForm1& f = *w.form;
  EXPECT_EQ(f.ComboBox0->currentText().toStdString(), "select");

  f.ComboBox0->setCurrentIndex(-1);
  f.ComboBox0->setEditText("typed");
  emit f.ComboBox0->activated(-1);
  EXPECT_EQ(f.ComboBox0->currentText().toStdString(), "select");

  // Clearing the text puts "select" back at once.
  f.ComboBox1->setEditText("");
  EXPECT_EQ(f.ComboBox1->currentText().toStdString(), "select");

  // Typed text confirmed with Enter is not added as an item.
  f.ComboBox1->lineEdit()->setText("PV2");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(f.ComboBox1->lineEdit(), &enter);
  EXPECT_EQ(f.ComboBox1->count(), 6);

  // An index past the six items does nothing.
  f.ComboBox0->addItem("other");
  const Picture before = f.Image_prof_0->picture;
  choose(f.ComboBox0, 6);
  EXPECT_EQ(&d.channels[0].shown_map(), &d.channels[0].height_map);
  EXPECT_EQ(&d.channels[0].controlled_range(), &d.channels[0].height_range);
  EXPECT_TRUE(same_picture(f.Image_prof_0->picture, before));
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(DataExport, SelectorSavesTheChannelsEightFiles) {
  Window w;
  WorkbenchData& d = w.form->data;
  TForm1& f = *w.form;
  std::string name = "run1";
  int asked = 0;
  f.ask_data_set_name = [&] {
    ++asked;
    return name;
  };
  d.channels[0].height_map(5, 128) = 0.00125;
  choose(f.ComboBox0, 5);
  EXPECT_EQ(asked, 1);
  for (const char* suffix : {"_gray.bmp", "_col.bmp", "_heights.txt", "_hor_scan.txt",
                             "_hor_scan_profile.txt", "_vert_scan.txt", "_vert_scan_profile.txt",
                             "_parameter.txt"})
    EXPECT_TRUE(std::filesystem::exists(std::string("run1") + suffix)) << suffix;
  EXPECT_EQ(read_lines("run1_hor_scan.txt")[5], "0.00125");
  EXPECT_EQ(read_lines("run1_parameter.txt")[6],
            "horizontal and vertival line scans: 256 data points, 0.04 mm/point");

  // Channel 1 uses its own maps, pictures, settings file and field size,
  // and writes the map image as shown (here the PV map) but the height map.
  write_lines("./image_1.ini", {"XPixels=640", "YPixels=480", "XRes=0.02", "LambdaF=12",
                                "Alpha=25", "Radius=8.1"});
  d.channels[1].profile.field_x = 5.12;
  d.channels[1].height_map(128, 7) = -0.25;
  d.channels[1].measured_map(128, 7) = 0.5;
  d.channels[1].height_map(128, 100) = 0.003;
  f.PV1->trigger();
  f.Image_prof_1->picture.save_bmp("shown.bmp");
  name = "run2";
  choose(f.ComboBox1, 5);
  EXPECT_EQ(read_file_bytes("run2_col.bmp"), read_file_bytes("shown.bmp"));
  EXPECT_EQ(read_lines("run2_vert_scan.txt")[7], "-0.25");
  EXPECT_EQ(read_lines("run2_vert_scan_profile.txt")[7], "0.5");
  EXPECT_EQ(read_lines("run2_vert_scan.txt")[100], "0.003");
  EXPECT_EQ(read_lines("run2_vert_scan.txt")[98], "0");  // the PV map holds 0.003 here
  const std::vector<std::string> parameters = read_lines("run2_parameter.txt");
  ASSERT_EQ(parameters.size(), 7u);
  EXPECT_EQ(parameters[0], "x dimension in pixels      : 640");
  EXPECT_EQ(parameters[5], "radius in mm               : 8.1");
  EXPECT_EQ(parameters[6], "horizontal and vertival line scans: 256 data points, 0.02 mm/point");
  // Saving changes neither the view nor the range controls.
  EXPECT_EQ(&d.channels[1].shown_map(), &d.channels[1].pv_map);
  EXPECT_EQ(&d.channels[1].controlled_range(), &d.channels[1].height_range);
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(DataExport, CancelledOrFailedSaveAndThePopUpItems) {
  Window w;
  TForm1& f = *w.form;
  const std::set<std::string> start = files_in(".");
  std::string name;
  f.ask_data_set_name = [&] { return name; };

  choose(f.ComboBox0, 5);  // cancelled: empty name
  f.save_data0->trigger();
  f.save_data1->trigger();
  f.load_data->trigger();
  f.load_data1->trigger();
  EXPECT_EQ(files_in("."), start);
  EXPECT_TRUE(w.errors.messages.empty());

  // A folder that does not exist: the file error is shown, nothing written.
  name = "missing/run1";
  choose(f.ComboBox1, 5);
  EXPECT_EQ(w.errors.messages, std::vector<std::string>{"Cannot create file \"missing/run1_gray.bmp\""});
  EXPECT_EQ(files_in("."), start);
}

TEST(MeanButton, SmoothsTheRawImageOfChannel0WithThreePasses) {
  Window w;
  TForm1& f = *w.form;
  Picture raw(32, 24, PixelFormat::indexed8);
  for (int y = 0; y < raw.height(); ++y)
    for (int x = 0; x < raw.width(); ++x) raw.row(y)[x] = static_cast<uint8_t>((x * 37 + y * 91) % 256);
  f.Image0->picture = raw;
  const Picture other = f.Image1->picture;
  f.Button1->click();
  Picture expected = raw;
  mean_filter(expected, 3);
  EXPECT_FALSE(same_picture(f.Image0->picture, raw));
  EXPECT_TRUE(same_picture(f.Image0->picture, expected));
  EXPECT_TRUE(same_picture(f.Image1->picture, other));
}

}  // namespace
