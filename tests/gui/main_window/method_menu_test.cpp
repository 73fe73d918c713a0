// A channel's method in the main window: "&Settings" > "method of image N…"
// edits the channel's method file, "open fringe image set of image N…" brings
// in the frames the method takes, and the label beside the channel says how
// its last "profile" measured.
#include <gtest/gtest.h>

#include <QMenuBar>
#include <filesystem>
#include <string>
#include <vector>

#include "gui/method_dialog/method_dialog.h"
#include "runs/channel_frames.h"
#include "settings/method_settings.h"
#include "workbench_windows.h"

namespace {

using Messages = std::vector<std::string>;

QAction* menu_item(QMenuBar* bar, const QString& menu, const QString& item) {
  for (QAction* a : bar->actions())
    if (a->text() == menu && a->menu() != nullptr)
      for (QAction* i : a->menu()->actions())
        if (i->text() == item) return i;
  return nullptr;
}

MethodSettings phase_shift(int steps) {
  MethodSettings s;
  s.method = FringeMethod::phase_shift;
  s.steps = steps;
  return s;
}

TEST(MethodMenu, SettingsItemsOpenEachChannelsDialogThatSavesItsFile) {
  Workbench w;
  TForm1& f = *w.form;
  write_method_file(method_file(1), phase_shift(5));
  for (int c = 0; c < 2; ++c) {
    const QString item = QString::fromStdString("method of image " + std::to_string(c + 1) + "…");
    ASSERT_EQ(menu_item(f.menuBar(), "&Settings", item), f.method_settings[c]) << c;
    f.method_settings[c]->trigger();
    ASSERT_NE(f.method_dialogs[c], nullptr);
    EXPECT_TRUE(f.method_dialogs[c]->isVisible());
    EXPECT_EQ(f.method_dialogs[c]->method_box->currentText(), c == 1 ? "phase-shift" : "quadrature");
    EXPECT_EQ(f.method_dialogs[c]->steps_box->value(), c == 1 ? 5 : 4);
  }
  // Channel 2 measured by Fourier from now on; channel 1 cancelled.
  f.method_dialogs[1]->method_box->setCurrentIndex(2);
  f.method_dialogs[1]->ok_button->click();
  f.method_dialogs[0]->method_box->setCurrentIndex(1);
  f.method_dialogs[0]->cancel_button->click();
  EXPECT_EQ(w.errors.messages, Messages{});
  EXPECT_EQ(channel_method_settings(1).method, FringeMethod::fourier);
  EXPECT_FALSE(std::filesystem::exists(method_file(0)));
  // Opened again, the dialog shows the file, not what was typed before.
  f.method_settings[0]->trigger();
  EXPECT_EQ(f.method_dialogs[0]->method_box->currentText(), "quadrature");

  // A file the reader refuses: its error, then the dialog with the defaults.
  write_file_bytes(method_file(1), "Method=fft\r\n");
  f.method_settings[1]->trigger();
  ASSERT_EQ(w.errors.messages.size(), 1U);
  EXPECT_NE(w.errors.messages[0].find("Method = \"fft\""), std::string::npos) << w.errors.messages[0];
  EXPECT_TRUE(f.method_dialogs[1]->isVisible());
  EXPECT_EQ(f.method_dialogs[1]->method_box->currentText(), "quadrature");
}

TEST(MethodMenu, LabelSaysHowTheLastProfileMeasured) {
  Workbench w;
  TForm1& f = *w.form;
  f.Button_apply_0->click();
  f.Button_calculate_0->click();
  ASSERT_EQ(w.errors.messages, Messages{});
  EXPECT_EQ(f.method_labels[0]->text(), "image 1 measured by quadrature");
  EXPECT_EQ(f.method_labels[1]->text(), "") << "channel 2 has not been profiled";

  // Phase shifting on channel 2: "apply" makes its frames, "profile" measures them.
  write_method_file(method_file(1), phase_shift(4));
  f.Button_apply_1->click();
  f.Button_calculate_1->click();
  ASSERT_EQ(w.errors.messages, Messages{});
  EXPECT_EQ(f.method_labels[1]->text().toStdString(), "image 2 measured by " + method_summary(phase_shift(4), 10.0));
  EXPECT_EQ(f.method_labels[0]->text(), "image 1 measured by quadrature");

  // A profile that fails leaves the label as the last one that ran.
  std::filesystem::remove("sim00.bmp");
  write_method_file(method_file(0), phase_shift(4));
  f.Button_calculate_0->click();
  EXPECT_EQ(w.errors.messages, Messages{"Cannot open file \"./sim00.bmp\""});
  EXPECT_EQ(f.method_labels[0]->text(), "image 1 measured by quadrature");
}

TEST(MethodMenu, ImageSetIsOpenedInTheOrderOfItsNamesAndRefusedWhenItDoesNotFit) {
  Workbench w;
  TForm1& f = *w.form;
  write_method_file(method_file(0), phase_shift(3));
  f.Button_apply_0->click();
  ASSERT_EQ(w.errors.messages, Messages{});
  // The frames "apply" made, moved to names whose order is the frames' order.
  const std::vector<std::string> made = frame_files(0, 3, 8);
  std::vector<std::string> pictures;
  for (int k = 0; k < 3; ++k) {
    pictures.push_back("frame_" + std::to_string(k + 1) + ".bmp");
    std::filesystem::rename(made[k], pictures.back());
  }
  std::vector<std::string> given{pictures[2], pictures[0], pictures[1]}, asked;  // as the dialog lists them
  f.ask_open_files = [&](const std::string& caption, const std::string&) {
    asked.push_back(caption);
    return given;
  };
  ASSERT_EQ(menu_item(f.menuBar(), "&File", "open fringe image set of image 1…"), f.open_fringe_image_set[0]);
  f.open_fringe_image_set[0]->trigger();
  ASSERT_EQ(w.errors.messages, Messages{});
  EXPECT_EQ(asked, Messages{"open fringe image set of image 1"});
  for (int k = 0; k < 3; ++k) EXPECT_EQ(read_file_bytes(made[k]), read_file_bytes(pictures[k])) << k;
  EXPECT_EQ(f.Label_action->text().trimmed(), "done");
  f.Button_calculate_0->click();
  ASSERT_EQ(w.errors.messages, Messages{});
  EXPECT_EQ(f.method_labels[0]->text().toStdString(), "image 1 measured by " + method_summary(phase_shift(3), 10.0));

  // Two pictures for three frames: the error, and the frames stay.
  const std::string frame0 = read_file_bytes(made[0]);
  given = {pictures[0], pictures[1]};
  f.open_fringe_image_set[0]->trigger();
  ASSERT_EQ(w.errors.messages.size(), 1U);
  EXPECT_NE(w.errors.messages[0].find("takes 3 frames; 2 pictures were given"), std::string::npos)
      << w.errors.messages[0];
  EXPECT_EQ(read_file_bytes(made[0]), frame0);

  // The refusal names the pictures it counted.
  EXPECT_NE(w.errors.messages[0].find("were given: frame_1.bmp, frame_2.bmp"), std::string::npos)
      << w.errors.messages[0];

  // A cancelled dialog does nothing.
  w.errors.messages.clear();
  given.clear();
  f.open_fringe_image_set[0]->trigger();
  EXPECT_EQ(w.errors.messages, Messages{});
}

// Frames out of order, brought in as a set: "profile" refuses them with what
// it found, frames counted from 0 as their files are named, and the maps and
// the label stay as the last profile left them.
TEST(MethodMenu, ProfileRefusesFramesWhoseStepsDoNotFollowThePlan) {
  Workbench w;
  TForm1& f = *w.form;
  write_method_file(method_file(0), phase_shift(4));
  f.Button_apply_0->click();
  f.Button_calculate_0->click();
  ASSERT_EQ(w.errors.messages, Messages{});
  const std::string label = f.method_labels[0]->text().toStdString();
  const std::vector<std::string> made = frame_files(0, 4, 8);
  const struct {
    std::vector<int> order;  // the frames "apply" made, in the order given
    const char* found;
  } cases[] = {
      {{0, 2, 1, 3}, "frames 1 and 2 (./sim00_f01.bmp, ./sim00_f02.bmp) look swapped ("},
      {{3, 2, 1, 0}, "the steps run backwards: the frames look to be in reverse order ("},
      {{0, 1, 1, 3}, "frames 1 and 2 (./sim00_f01.bmp, ./sim00_f02.bmp) are the same picture"},
  };
  for (int k = 0; k < 4; ++k) std::filesystem::copy_file(made[k], "made_" + std::to_string(k) + ".bmp");
  for (const auto& c : cases) {
    std::vector<std::string> given;
    for (std::size_t k = 0; k < 4; ++k) {
      given.push_back("given_" + std::to_string(k) + ".bmp");
      std::filesystem::copy_file("made_" + std::to_string(c.order[k]) + ".bmp", given.back(),
                                 std::filesystem::copy_options::overwrite_existing);
    }
    f.ask_open_files = [&](const std::string&, const std::string&) { return given; };
    w.errors.messages.clear();
    f.open_fringe_image_set[0]->trigger();
    ASSERT_EQ(w.errors.messages, Messages{});
    const std::string profile = read_file_bytes("profile00.txt");
    f.Button_calculate_0->click();
    ASSERT_EQ(w.errors.messages.size(), 1U) << c.found;
    EXPECT_EQ(w.errors.messages[0].substr(0, std::string(c.found).size()), c.found) << w.errors.messages[0];
    EXPECT_EQ(read_file_bytes("profile00.txt"), profile) << "no profile is written";
    EXPECT_EQ(f.method_labels[0]->text().toStdString(), label);
  }
}

}  // namespace
