// The window and the quality of a measurement: "profile" refuses what is not
// to be believed in its error box, keeping the maps; each map's pop-up menu
// shows the quality maps of the channel's last "profile".
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/settings_file.h"
#include "gui/main_window/unit1.h"
#include "scan/grey_image.h"
#include "workbench_windows.h"

namespace {

bool same_pixels(const Picture& a, const Picture& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.bytes_per_line())) != 0) return false;
  return true;
}

bool map_is(const HeightMatrix& map, double value) {
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y)
      if (map(x, y) != value) return false;
  return true;
}

void write_uniform_picture(const char* file, uint8_t level) {
  GreyImageOwner picture(img_create(1, 1280, 1024));
  for (int32_t y = 0; y < 1024; ++y) std::memset(img_line(picture.get(), y), level, 1280);
  ASSERT_EQ(img_save_bmp(picture.get(), file), BMP_OK);
}

const std::string kHint = "\n(the map's pop-up menu shows its quality maps)";

// A picture without fringes, and a measurement of less than the method file
// asks: each "profile" ends in the error box with the reason, the maps and
// the profile file stay as they were, the quality of what was refused is
// the channel's.
TEST(QualityInTheWindow, ProfileRefusesWhatIsNotToBeBelieved) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    const char* words;
  } const cases[] = {
      {"all zeros", [] { write_uniform_picture("sim00.bmp", 0); }, "./sim00.bmp: no fringes: "},
      {"uniform grey", [] { write_uniform_picture("sim00.bmp", 128); }, "./sim00.bmp: no fringes: "},
      {"MinValid=1", [] { write_lines("method.ini", {"MinValid=1"}); }, "./sim00.bmp: too little measured: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Workbench w;
    TForm1& f = *w.form;
    f.Button_apply_0->click();
    c.prepare();
    const Picture before = f.Image_prof_0->picture;
    f.Button_calculate_0->click();
    ASSERT_EQ(w.errors.messages.size(), 1u);
    const std::string& message = w.errors.messages.front();
    EXPECT_EQ(message.rfind(c.words, 0), 0u) << message;
    EXPECT_TRUE(message.ends_with(kHint)) << message;
    EXPECT_FALSE(std::filesystem::exists("profile00.txt"));
    EXPECT_TRUE(map_is(f.data.channels[0].height_map, 0.0));
    EXPECT_TRUE(same_pixels(f.Image_prof_0->picture, before));
    // What was refused shows why.
    const QualityMap& quality = f.data.channels[0].quality;
    ASSERT_FALSE(quality.state.empty());
    f.quality_maps[0][0]->trigger();
    EXPECT_EQ(w.errors.messages.size(), 1u);
    EXPECT_FALSE(same_pixels(f.Image_prof_0->picture, before));
  }
}

TEST(QualityInTheWindow, ThePopUpMenuShowsTheQualityMaps) {
  Workbench w;
  TForm1& f = *w.form;
  QStringList shown;
  for (QAction* a : f.PopupMenu_container_0->actions())
    if (a->isVisible() && !a->isSeparator()) shown << a->text();
  EXPECT_EQ(shown, (QStringList{"modulation", "fit residual", "reached cells"}));

  // Before a "profile" there is nothing to show: the map stays, the status says so.
  const Picture start = f.Image_prof_1->picture;
  f.quality_maps[1][2]->trigger();
  EXPECT_TRUE(same_pixels(f.Image_prof_1->picture, start));
  EXPECT_EQ(f.Label_action->text().toStdString(), "image 2: no quality map before a \"profile\"");

  f.Button_apply_0->click();
  f.Button_calculate_0->click();
  ASSERT_TRUE(w.errors.messages.empty());
  const Channel& channel = f.data.channels[0];
  EXPECT_GT(summarise_quality(channel.quality).valid_fraction, 0.99);
  const Picture heights = f.Image_prof_0->picture;
  const HeightMatrix height_map = channel.height_map;
  std::vector<Picture> views;
  for (QAction* item : f.quality_maps[0]) {
    item->trigger();
    views.push_back(f.Image_prof_0->picture);
    EXPECT_FALSE(same_pixels(views.back(), heights)) << item->text().toStdString();
  }
  EXPECT_FALSE(same_pixels(views[0], views[1]));
  EXPECT_FALSE(same_pixels(views[1], views[2]));
  EXPECT_EQ(f.Label_action->text().toStdString(), "image 1: reached cells, white: outside the mask");
  // The maps and what the selector shows stay; "height differences" draws the heights again.
  EXPECT_EQ(&channel.shown_map(), &channel.height_map);
  for (int x = 0; x < kMapSide; x += 17) EXPECT_EQ(channel.height_map(x, 128), height_map(x, 128));
  f.ComboBox0->setCurrentIndex(3);
  emit f.ComboBox0->activated(3);
  EXPECT_TRUE(same_pixels(f.Image_prof_0->picture, heights));
  EXPECT_TRUE(w.errors.messages.empty());
}

}  // namespace
