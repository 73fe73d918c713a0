// Every window of the workbench, in the states a new user first sees them,
// shows its captions and choices whole: the map selector read "ight
// differences" when the windows were drawn in the desktop's larger type.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "clipped_texts.h"
#include "settings/surface_settings.h"
#include "gui/study_window/study_window.h"
#include "gui/surface_window/surface_window.h"
#include "gui/widgets/form_font.h"
#include "workbench_windows.h"

namespace {

void show(QWidget& window) {
  window.show();
  QApplication::processEvents();
}

const Surface kCornea{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2};

struct WindowCase {
  const char* what;
  std::function<QWidget*(Workbench&)> open;  // brings the window into the state to look at
  std::function<void()> prepare = [] { write_default_settings("."); };
};

const std::vector<WindowCase> kWindows = {
    {"main window at start-up", [](Workbench& w) { return w.form.get(); }},
    {"main window showing height differences after profile",
     [](Workbench& w) {
       w.form->Button_apply_0->click();
       w.form->Button_calculate_0->click();
       w.form->ComboBox0->setCurrentIndex(3);
       w.form->ComboBox1->setCurrentIndex(4);
       return w.form.get();
     }},
    {"main window with a biconic on each channel", [](Workbench& w) { return w.form.get(); },
     [] {
       write_default_settings(".");
       write_surface_file("surface.ini", {SurfaceModel::biconic, 7.6543, 7.9876, -123.5, -0.2345});
       write_surface_file("surface_1.ini", {SurfaceModel::biconic, 12.5, 990.25, 179.75, -9.875});
     }},
    {"parameters dialog", [](Workbench& w) { return w.parameters.get(); }},
    {"enlarged view",
     [](Workbench& w) {
       w.form->Button_apply_0->click();
       w.form->Image0MouseDown(Qt::LeftButton, 10, 10);
       return w.image.get();
     }},
    {"surface window with the figures of a biconic",
     [](Workbench& w) {
       w.form->Button_apply_0->click();
       w.form->Button_calculate_0->click();
       w.form->analysis_surface->trigger();
       return static_cast<QWidget*>(w.form->FormSurface);
     },
     [] {
       write_default_settings(".");
       write_surface_file("surface.ini", kCornea);
     }},
    {"surface window before profile",
     [](Workbench& w) {
       w.form->analysis_surface->trigger();
       w.form->FormSurface->model_box->setCurrentIndex(1);
       return static_cast<QWidget*>(w.form->FormSurface);
     }},
    {"study window", [](Workbench& w) {
       w.form->Study1->trigger();
       return static_cast<QWidget*>(w.form->FormStudy);
     }},
};

TEST(TextsFit, EveryWindowShowsItsCaptionsAndChoicesWhole) {
  for (const WindowCase& c : kWindows) {
    SCOPED_TRACE(c.what);
    Workbench w(c.prepare);
    QWidget* window = c.open(w);
    ASSERT_NE(window, nullptr);
    show(*window);
    EXPECT_EQ(clipped_texts(*window), std::vector<std::string>{});
    EXPECT_TRUE(w.errors.messages.empty()) << w.errors.messages.front();
    window->hide();
  }
}

// The check itself, on the map selector and its "min" caption as the
// window lays them out, drawn in the desktop's larger type: the choice is
// clipped and the caption, sized to its text, runs into the box beside it.
TEST(TextsFit, TheCheckFindsClippedChoicesAndCaptionsRunningIntoBoxes) {
  QWidget window;
  QFont large = form_font();
  large.setPixelSize(16);
  window.setFont(large);
  auto* selector = new QComboBox(&window);
  selector->setEditable(true);
  selector->addItems({"PV", "height differences"});
  selector->setGeometry(400, 314, 113, 21);
  auto* caption = new QLabel("min", &window);
  caption->move(518, 318);
  caption->adjustSize();
  auto* box = new QLineEdit("-5", &window);
  box->setGeometry(540, 314, 33, 21);
  show(window);
  const std::vector<std::string> found = clipped_texts(window);
  ASSERT_EQ(found.size(), 2u) << ::testing::PrintToString(found);
  EXPECT_EQ(std::count(found.begin(), found.end(), "QLabel: \"min\" runs into QLineEdit"), 1);
  EXPECT_EQ(std::count_if(found.begin(), found.end(),
                          [](const std::string& f) { return f.starts_with("QComboBox: \"height differences\" needs "); }),
            1);

  window.setFont(form_font());
  caption->adjustSize();
  EXPECT_EQ(clipped_texts(window), std::vector<std::string>{});
}

}  // namespace
