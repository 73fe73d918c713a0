// The "Study" menu of the workbench: it opens one study window, whose base
// contrast and noise follow the chosen channel's track bars, and the main
// window's own buttons work while a study runs.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMenuBar>
#include <chrono>
#include <filesystem>
#include <thread>

#include "gui/study_window/study_window.h"
#include "workbench_windows.h"

namespace {

TEST(StudyMenu, OpensOneStudyWindowWithTheChannelsContrastAndNoise) {
  Workbench w;
  ::setenv("TMPDIR", w.dir.path().c_str(), 1);
  QStringList menus;
  for (QAction* action : w.form->menuBar()->actions()) menus << action->text();
  EXPECT_EQ(menus.join(" ").toStdString(), "&File &Parameters &Settings &Analysis &Study");
  w.form->TrackBarDynamic1->setValue(64);  // of 256
  w.form->TrackBarNoise1->setValue(w.form->TrackBarNoise1->maximum() / 2);

  w.form->Study1->trigger();
  StudyWindow* study = w.form->FormStudy;
  ASSERT_NE(study, nullptr);
  EXPECT_TRUE(study->isVisible());
  EXPECT_EQ(study->contrast_box->text().toStdString(), "1") << "channel 0's bars";
  study->channel_box->setCurrentIndex(1);
  EXPECT_EQ(study->contrast_box->text().toStdString(), "0.25");
  EXPECT_EQ(study->noise_box->text().toStdString(), "0.5");
  w.form->Study1->trigger();
  EXPECT_EQ(w.form->FormStudy, study) << "the same window again";

  // While the study runs, "apply" of the main window runs as usual.
  study->first_values->setText("0,0.5");
  study->second_parameter->setCurrentText("none");
  study->repeats_box->setValue(2);
  study->run_button->click();
  ASSERT_TRUE(study->running());
  w.form->Button_apply_0->click();
  EXPECT_TRUE(std::filesystem::exists("sim00.bmp"));
  study->wait_for_study();
  EXPECT_EQ(study->table().rows.size(), 4u);
  EXPECT_TRUE(w.errors.messages.empty());
  ::unsetenv("TMPDIR");
}

}  // namespace
