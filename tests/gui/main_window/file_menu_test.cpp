// The "&File" items: a camera picture opened as a channel's fringe image is
// shown exactly as "apply" shows the same simulated picture and measured by
// "profile"; heights and map pictures are written in the chosen format; bad
// pictures and failed writes are reported and leave the channel as it was.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/camera_picture.h"
#include "formats/picture_writers.h"
#include "gui/main_window/map_picture.h"
#include "workbench_windows.h"

namespace {

using Messages = std::vector<std::string>;

// What a channel's controls and work files show.
struct ChannelState {
  std::string fringe_file, filtered_file;
  Picture raw, scan, map;
  HeightMatrix height_map;

  static ChannelState of(TForm1& f, int c) {
    ImageView* raw = c == 0 ? f.Image0 : f.Image1;
    ImageView* scan = c == 0 ? f.Image_scan_0 : f.Image_scan_1;
    ImageView* map = c == 0 ? f.Image_prof_0 : f.Image_prof_1;
    const std::string n = c == 0 ? "00" : "01";
    return {read_file_bytes("sim" + n + ".bmp"), read_file_bytes("sim" + n + "_filtered.bmp"),
            raw->picture, scan->picture, map->picture, f.data.channels[c].height_map};
  }
  static bool same_picture(const Picture& a, const Picture& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) return false;
    for (int y = 0; y < a.height(); ++y)
      if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.bytes_per_line())) != 0) return false;
    return true;
  }
  bool operator==(const ChannelState& o) const {
    return fringe_file == o.fringe_file && filtered_file == o.filtered_file && same_picture(raw, o.raw) &&
           same_picture(scan, o.scan) && same_picture(map, o.map) && height_map == o.height_map;
  }
};

// The dialogs answer as a user would, once each.
void answer_open(TForm1& f, const std::string& file) {
  f.ask_open_file = [file](const std::string&, const std::string&) { return file; };
}
void answer_save(TForm1& f, const std::string& file, int type) {
  f.ask_save_file = [file, type](const std::string&, const std::vector<std::string>&) {
    return TForm1::SaveChoice{file, type};
  };
}

TEST(FileMenu, OpenedCameraPictureIsShownAsApplyShowsItAndProfileMeasuresIt) {
  // The simulated picture of channel 1 as "apply" leaves it.
  std::string simulated_png;
  ChannelState applied;
  {
    Workbench w;
    w.form->Button_apply_1->click();
    ASSERT_TRUE(w.errors.messages.empty());
    applied = ChannelState::of(*w.form, 1);
    // The camera's version: 16-bit grey, as a PNG.
    simulated_png = png_bytes(grey_samples(*read_camera_picture("sim01.bmp"), 16));
  }
  Workbench w;
  TForm1& f = *w.form;
  write_file_bytes("camera.png", simulated_png);
  answer_open(f, "camera.png");
  f.open_fringe_image[1]->trigger();
  ASSERT_EQ(w.errors.messages, Messages{});
  ChannelState opened = ChannelState::of(f, 1);
  EXPECT_EQ(opened.fringe_file, applied.fringe_file) << "the same work file";
  EXPECT_EQ(opened.filtered_file, applied.filtered_file);
  EXPECT_TRUE(ChannelState::same_picture(opened.raw, applied.raw)) << "the smoothed display picture";
  EXPECT_TRUE(ChannelState::same_picture(opened.scan, applied.scan)) << "the grey-level scan";
  EXPECT_EQ(f.Label_action->text().trimmed(), "done");

  f.Button_calculate_1->click();
  EXPECT_EQ(w.errors.messages, Messages{});
  EXPECT_EQ(f.data.channels[1].profile.cols, 256);
  EXPECT_TRUE(std::filesystem::exists("profile01.txt"));

  // A cancelled dialog does nothing.
  answer_open(f, "");
  const ChannelState before = ChannelState::of(f, 1);
  f.open_fringe_image[1]->trigger();
  EXPECT_TRUE(ChannelState::of(f, 1) == before);
}

TEST(FileMenu, PictureThatCannotBeReadLeavesTheChannelAsItWas) {
  Workbench w;
  TForm1& f = *w.form;
  f.Button_apply_0->click();
  f.Button_calculate_0->click();
  ASSERT_EQ(w.errors.messages, Messages{});
  const ChannelState before = ChannelState::of(f, 0);

  const std::string png = png_bytes(grey_samples(*read_camera_picture("sim00.bmp")));
  write_file_bytes("cut.png", png.substr(0, png.size() / 2));
  write_file_bytes("notes.txt", "not a picture");
  struct Case {
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"cut.png", "Cannot read file \"cut.png\": damaged or cut short (Read Error)"},
      {"notes.txt", "Cannot read file \"notes.txt\": neither a BMP, a PNG nor a TIFF picture"},
      {"missing.tif", "Cannot open file \"missing.tif\""},
  };
  for (const Case& c : cases) {
    w.errors.messages.clear();
    answer_open(f, c.file);
    f.open_fringe_image[0]->trigger();
    EXPECT_EQ(w.errors.messages, Messages{c.message});
    EXPECT_TRUE(ChannelState::of(f, 0) == before) << c.file;
  }

  // The fringe image cannot be written: the earlier one stays.
  write_file_bytes("good.png", png);
  std::filesystem::remove("sim00.bmp");
  std::filesystem::create_directory("sim00.bmp");
  w.errors.messages.clear();
  answer_open(f, "good.png");
  f.open_fringe_image[0]->trigger();
  EXPECT_EQ(w.errors.messages, Messages{"Cannot create file \"./sim00.bmp\""});
  EXPECT_TRUE(ChannelState::same_picture(f.Image0->picture, before.raw));
}

TEST(FileMenu, HeightsAreExportedInTheChosenFormatOnceTheChannelIsMeasured) {
  Workbench w;
  TForm1& f = *w.form;
  answer_save(f, "early", 0);
  f.export_heights[0]->trigger();
  EXPECT_EQ(w.errors.messages,
            Messages{"image 1 has not been measured yet: press \"profile\" first"});
  EXPECT_FALSE(std::filesystem::exists("early.gsf"));

  w.errors.messages.clear();
  f.Button_apply_0->click();
  f.Button_calculate_0->click();
  struct Case {
    std::string answer;  // as typed
    int type;            // entry of the dialog's list
    std::string written;
    std::string starts;
  };
  const Case cases[] = {
      {"residual", 0, "residual.gsf", "Gwyddion Simple Field 1.0\nXRes = 256\nYRes = 256\n"},
      {"residual", 1, "residual.csv", ""},
      {"points.txt", 2, "points.txt", ""},  // an extension of the user's own stays
      {"surface", 3, "surface.ply", "ply\nformat binary_little_endian 1.0\n"},
      {"map", 4, "map.png", "\x89PNG"},
      {"profile", 5, "profile.gsf", "Gwyddion Simple Field 1.0\nXRes = 320\nYRes = 256\n"},
      {"profile", 6, "profile.csv", ""},
  };
  for (const Case& c : cases) {
    answer_save(f, c.answer, c.type);
    f.export_heights[0]->trigger();
    const std::string bytes = read_file_bytes(c.written);
    ASSERT_FALSE(bytes.empty()) << c.written;
    EXPECT_EQ(bytes.rfind(c.starts, 0), 0u) << c.written;
  }
  EXPECT_EQ(w.errors.messages, Messages{});
  // Rows of the CSV files: the map's 256 and the engine's grid, 320 across.
  const std::string residual = read_file_bytes("residual.csv");
  EXPECT_EQ(std::count(residual.begin(), residual.end(), '\n'), 256);
  const std::string profile = read_file_bytes("profile.csv");
  EXPECT_EQ(std::count(profile.begin(), profile.begin() + static_cast<long>(profile.find('\n')), ','), 319);

  // A name that cannot be written: reported, an earlier file of it unharmed.
  std::filesystem::create_directory("taken.gsf");
  answer_save(f, "taken.gsf", 0);
  f.export_heights[0]->trigger();
  EXPECT_EQ(w.errors.messages, Messages{"Cannot create file \"taken.gsf\""});
}

TEST(FileMenu, MapPictureAsPngAndSvgShowsTheMapItsBarAndScale) {
  Workbench w;
  TForm1& f = *w.form;
  answer_save(f, "early.png", 0);
  f.save_map_picture[2]->trigger();
  EXPECT_EQ(w.errors.messages, Messages{"neither image has been measured yet: press \"profile\" first"});
  w.errors.messages.clear();

  f.Button_apply_0->click();
  f.Button_calculate_0->click();
  answer_save(f, "map", 0);
  f.save_map_picture[0]->trigger();
  answer_save(f, "map", 1);
  f.save_map_picture[0]->trigger();
  answer_save(f, "difference.svg", 0);  // the name's extension decides
  f.save_map_picture[2]->trigger();
  ASSERT_EQ(w.errors.messages, Messages{});

  const MapPictureContent content{f.Image_prof_0->picture, -0.005, 0.005, 20, 10.24, "image 1"};
  const QSize size = map_picture_size(content);
  QImage png;
  ASSERT_TRUE(png.load("map.png", "PNG"));
  EXPECT_EQ(png.size(), size);
  QSvgRenderer svg(QString("map.svg"));
  ASSERT_TRUE(svg.isValid());
  EXPECT_EQ(svg.viewBox().size(), size);
  EXPECT_TRUE(QSvgRenderer(QString("difference.svg")).isValid());
  QImage drawn(size, QImage::Format_RGB32);
  {
    QPainter painter(&drawn);
    svg.render(&painter);
  }
  // The map's cells at twice their size from (24, 52); the bar to its right
  // with the top class at the top; the corners of the page white.
  const Picture& map = f.Image_prof_0->picture;
  for (const QPoint cell : {QPoint(0, 0), QPoint(128, 128), QPoint(200, 60)}) {
    const CanvasColour bgr = map.pixel(cell.x(), cell.y());
    const QRgb expected = qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
    const QPoint at(24 + 2 * cell.x() + 1, 52 + 2 * cell.y() + 1);
    EXPECT_EQ(png.pixel(at), expected) << cell.x() << ", " << cell.y();
    EXPECT_EQ(drawn.pixel(at), expected) << "SVG " << cell.x() << ", " << cell.y();
  }
  EXPECT_EQ(png.pixel(2, 2), qRgb(255, 255, 255));
  EXPECT_EQ(png.pixel(24 + 512 + 16 + 12, 52 + 500), png.pixel(24 + 512 + 16 + 12, 52 + 505))
      << "the lowest class fills the bar's foot";
}

}  // namespace
