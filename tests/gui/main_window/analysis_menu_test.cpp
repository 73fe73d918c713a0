// The "&Analysis" menu of the main window, its window "surface", and the
// surfaces the channels simulate.
#include <gtest/gtest.h>

#include <QMenuBar>
#include <cmath>
#include <functional>
#include <string>

#include "common/settings_file.h"
#include "gui/main_window/unit1.h"
#include "settings/surface_settings.h"
#include "gui/surface_window/surface_window.h"
#include "workbench_windows.h"

namespace {

QAction* menu_item(QMenuBar* bar, const QString& menu, const QString& item) {
  for (QAction* a : bar->actions())
    if (a->text() == menu && a->menu() != nullptr)
      for (QAction* i : a->menu()->actions())
        if (i->text() == item) return i;
  return nullptr;
}

TEST(AnalysisMenu, SurfaceOpensItsWindowThatFollowsProfile) {
  Workbench w;
  QAction* surface = menu_item(w.form->menuBar(), "&Analysis", QString::fromUtf8("surface\u2026"));
  ASSERT_NE(surface, nullptr);
  ASSERT_EQ(surface, w.form->analysis_surface);
  surface->trigger();
  SurfaceWindow* window = w.form->FormSurface;
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->cells_label->text().toStdString(), "run \"profile\" for image 1 first");

  // "apply" and "profile" of channel 0 bring the open window up to date.
  w.form->Button_apply_0->click();
  w.form->Button_calculate_0->click();
  ASSERT_TRUE(window->figures().sphere) << window->figures().sphere_note;
  EXPECT_NEAR(window->figures().sphere->radius_mm, 7.5, 0.01);
  ASSERT_TRUE(window->figures().zernike);
  EXPECT_EQ(window->figures().cells, 20081);
  // Channel 1 has no profile yet.
  window->channel_box->setCurrentIndex(1);
  EXPECT_FALSE(window->figures().sphere);
  surface->trigger();
  EXPECT_EQ(w.form->FormSurface, window) << "one window, shown again";
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(AnalysisMenu, StartUpReadsEachChannelsSurfaceAndApplySimulatesIt) {
  const Surface cornea{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2};
  Workbench w([&] {
    write_default_settings(".");
    write_surface_file("surface_1.ini", cornea);
  });
  EXPECT_EQ(w.form->data.channels[0].sim_params.surface, Surface{});
  EXPECT_EQ(w.form->data.channels[1].sim_params.surface, cornea);
  // "OK" in the parameters dialog keeps the surface of the record.
  w.parameters->Edit_radius_1->setText("8.0");
  w.parameters->settings_changed = true;
  w.parameters->BitBtn1->click();
  EXPECT_EQ(w.form->data.channels[1].sim_params.radius, 8.0);
  EXPECT_EQ(w.form->data.channels[1].sim_params.surface, cornea);

  w.form->Button_apply_0->click();
  w.form->Button_apply_1->click();
  EXPECT_NE(read_file_bytes("sim00.bmp"), read_file_bytes("sim01.bmp"));
  // The surface window's editor changes what the next "apply" simulates.
  w.form->analysis_surface->trigger();
  SurfaceWindow& window = *w.form->FormSurface;
  window.channel_box->setCurrentIndex(1);
  window.model_box->setCurrentIndex(0);
  window.save_surface_button->click();
  EXPECT_EQ(w.form->data.channels[1].sim_params.surface.model, SurfaceModel::sphere);
  w.form->Button_apply_1->click();
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(AnalysisMenu, ABadSurfaceFileIsReportedAndLeavesTheSphere) {
  Workbench w([] {
    write_default_settings(".");
    write_lines("surface.ini", {"Model=biconic", "Rx=7.6", "Ry=0", "Axis=0", "Q=0"});
    write_surface_file("surface_1.ini", {SurfaceModel::biconic, 7.0, 8.0, 0.0, 0.0});
  });
  EXPECT_EQ(w.errors.messages,
            (std::vector<std::string>{
                "Cannot read file \"./surface.ini\": Ry must lie between 0.1 and 1000 mm (read 0)"}));
  EXPECT_EQ(w.form->data.channels[0].sim_params.surface, Surface{});
  EXPECT_EQ(w.form->data.channels[1].sim_params.surface.rx, 7.0);
}

// After "save" of a biconic the summary showed a PV of 47 microns without a
// word that the channel no longer simulates the sphere. A label beside the
// channel says which surface it is; the status texts keep their words.
TEST(AnalysisMenu, EachChannelSaysBesideItWhichSurfaceItSimulates) {
  const Surface cornea{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2};
  Workbench w([&] {
    write_default_settings(".");
    write_surface_file("surface_1.ini", cornea);
  });
  const auto shown = [&](int c) {
    QLabel* label = w.form->surface_labels[static_cast<std::size_t>(c)];
    return label->isHidden() ? std::string("(hidden)") : label->text().toStdString();
  };
  struct Step {
    const char* what;
    std::function<void()> act;
    std::string channel_0, channel_1;
  } steps[] = {
      {"start-up reads surface_1.ini", [] {}, "(hidden)", "image 2 simulates biconic rx=7.6 ry=7.9 axis=30 q=-0.2"},
      {"a biconic saved for image 1",
       [&] {
         w.form->analysis_surface->trigger();
         SurfaceWindow& window = *w.form->FormSurface;
         window.channel_box->setCurrentIndex(0);
         window.model_box->setCurrentIndex(1);
         window.rx_box->setText("8");
         window.ry_box->setText("7.25");
         window.save_surface_button->click();
       },
       "image 1 simulates biconic rx=8 ry=7.25 axis=0 q=0", "image 2 simulates biconic rx=7.6 ry=7.9 axis=30 q=-0.2"},
      {"a save that is refused changes nothing",
       [&] {
         SurfaceWindow& window = *w.form->FormSurface;
         window.channel_box->setCurrentIndex(1);
         window.rx_box->setText("0");
         window.save_surface_button->click();
       },
       "image 1 simulates biconic rx=8 ry=7.25 axis=0 q=0", "image 2 simulates biconic rx=7.6 ry=7.9 axis=30 q=-0.2"},
      {"image 2 back to the sphere",
       [&] {
         SurfaceWindow& window = *w.form->FormSurface;
         window.model_box->setCurrentIndex(0);
         window.save_surface_button->click();
       },
       "image 1 simulates biconic rx=8 ry=7.25 axis=0 q=0", "(hidden)"},
      {"\"OK\" in the parameters dialog keeps them",
       [&] {
         w.parameters->settings_changed = true;
         w.parameters->BitBtn1->click();
       },
       "image 1 simulates biconic rx=8 ry=7.25 axis=0 q=0", "(hidden)"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(shown(0), step.channel_0);
    EXPECT_EQ(shown(1), step.channel_1);
  }
  EXPECT_EQ(w.errors.messages.size(), 1u) << "the refused save";

  // "apply" and "profile" of the biconic channel end with the sphere's words.
  w.form->Button_apply_1->click();
  w.form->Button_calculate_1->click();
  const QString sphere_status = w.form->Label_action->text();
  w.form->Button_apply_0->click();
  w.form->Button_calculate_0->click();
  EXPECT_EQ(w.form->Label_action->text(), sphere_status);
  EXPECT_TRUE(sphere_status.startsWith("done")) << sphere_status.toStdString();
}

}  // namespace
