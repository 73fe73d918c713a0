// The window "surface" driven as a user drives it, offscreen, over maps made
// from known surfaces.
#include "gui/surface_window/surface_window.h"

#include <gtest/gtest.h>

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "analysis/reference_sphere.h"
#include "error_recorder.h"
#include "render/colour_map.h"
#include "settings/surface_settings.h"
#include "gui/surface_window/map_panel.h"
#include "temp_dir.h"

namespace {

// Channel 0 holds a measured biconic, channel 1 a tilted plane; both "profiled".
struct Channels {
  HeightMatrix biconic, plane, sphere;
  Channels() {
    const BiconicShape shape({SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2});
    for (int c = 0; c < kMapSide; ++c)
      for (int r = 0; r < kMapSide; ++r) {
        const double x = (c - 127.5) * 0.04, y = (127.5 - r) * 0.04;
        biconic(c, r) = shape.height(x, y);
        plane(c, r) = 0.01 * x;
      }
    perfect_sphere(7.5, 10.24, kMapSide, 0.0, 0.0, 0.0, sphere);
  }
  SurfaceChannel operator()(int c) const {
    return {true, c == 1 ? &plane : &biconic, &sphere, 10.24, "3.3", c == 1 ? "8.1" : "7.5"};
  }
};

struct Window {
  Window() : window({&records[0], &records[1]}) {
    window.channel_of = [this](int c) {
      SurfaceChannel channel = channels(c);
      channel.profiled = profiled;
      return channel;
    };
  }
  TempDir dir;
  ErrorRecorder errors;
  Channels channels;
  bool profiled = true;
  SimParams records[2];
  SurfaceWindow window;
};

int white_pixels(const Picture& p) {
  int count = 0;
  for (int y = 0; y < p.height(); ++y)
    for (int x = 0; x < p.width(); ++x) count += p.pixel(x, y) == 0xFFFFFF;
  return count;
}

TEST(SurfaceWindow, BeforeProfileEveryFigureWaitsForIt) {
  Window w;
  w.profiled = false;
  w.window.show_channel(0);
  EXPECT_EQ(w.window.windowTitle(), "surface");
  EXPECT_EQ(w.window.cells_label->text(), "run \"profile\" for image 1 first");
  EXPECT_EQ(w.window.fit_radius_label->text(), "not available: run \"profile\" for image 1 first");
  EXPECT_EQ(w.window.zernike_table->rowCount(), 0);
  EXPECT_TRUE(w.window.zernike_chart->chart()->series().isEmpty());
  EXPECT_EQ(white_pixels(w.window.axial_panel->map_view->picture), kMapSide * kMapSide);
  EXPECT_FALSE(w.window.axial_panel->note_label->isHidden());
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(SurfaceWindow, FiguresTableChartAndMapsOfAMeasuredBiconic) {
  Window w;
  w.window.show_channel(0);
  EXPECT_EQ(w.window.cells_label->text().toStdString(),
            "20069 cells with data inside the mask of radius 3.3 mm (counted in the disc of radius 3.2 mm)");
  EXPECT_TRUE(w.window.fit_radius_label->text().startsWith("radius: 7.8")) << w.window.fit_radius_label->text().toStdString();
  EXPECT_EQ(w.window.axis_label->text(), "axis of the flat meridian: 120.0 degrees");
  // The conic fit gives the surface back; keratometry reads its meridians 1.5 mm out.
  EXPECT_EQ(w.window.conic_flat_label->text(), "flat: 7.9000 mm, axis 120.0 degrees");
  EXPECT_EQ(w.window.conic_steep_label->text(), "steep: 7.6000 mm");
  EXPECT_EQ(w.window.conic_q_label->text(), "conic constant Q: -0.200");
  EXPECT_EQ(w.window.flat_label->text(), "flat: " + QString::number(std::sqrt(7.9 * 7.9 + 0.2 * 2.25), 'f', 3) +
                                             " mm, " + QString::number(337 / std::sqrt(7.9 * 7.9 + 0.2 * 2.25), 'f', 2) +
                                             " D");
  ASSERT_EQ(w.window.zernike_table->rowCount(), 28);
  EXPECT_EQ(w.window.zernike_table->item(12, 3)->text(), "primary spherical aberration");
  EXPECT_EQ(w.window.zernike_table->item(12, 4)->text(),
            QString::number(w.window.figures().zernike->coefficients_um[12], 'f', 4));
  // One bar per term, the piston's left empty.
  const auto series = w.window.zernike_chart->chart()->series();
  ASSERT_EQ(series.size(), 1);
  const QBarSet* bars = static_cast<QBarSeries*>(series[0])->barSets().at(0);
  ASSERT_EQ(bars->count(), 28);
  EXPECT_EQ(bars->at(0), 0.0);
  EXPECT_EQ(bars->at(3), w.window.figures().zernike->coefficients_um[3]);

  // The maps: coloured inside the mask, their ranges fitted to the values.
  const MapPanel& axial = *w.window.axial_panel;
  EXPECT_TRUE(axial.note_label->isHidden());
  EXPECT_EQ(axial.map_view->picture.pixel(5, 5), 0xFFFFFFu) << "no power outside the mask";
  EXPECT_NE(axial.map_view->picture.pixel(128, 60), 0xFFFFFFu);
  EXPECT_LT(white_pixels(axial.map_view->picture), kMapSide * kMapSide - 19000);
  const double low = axial.min_box->text().toDouble(), high = axial.max_box->text().toDouble();
  EXPECT_GT(low, 41.0);
  EXPECT_LT(high, 46.0);
  // The tangential map beside it: a prolate surface flattens faster along
  // its meridians than the axial map shows.
  const MapPanel& tangential = *w.window.tangential_panel;
  EXPECT_TRUE(tangential.note_label->isHidden());
  EXPECT_EQ(tangential.title_label->text(), "tangential power [D]");
  EXPECT_EQ(tangential.map_view->picture.pixel(5, 5), 0xFFFFFFu);
  EXPECT_LT(tangential.min_box->text().toDouble(), low);
  const HeightMatrix& axial_map = *w.window.figures().axial_power;
  const HeightMatrix& tangential_map = *w.window.figures().tangential_power;
  EXPECT_LT(tangential_map(128, 50), axial_map(128, 50));
  w.window.axial_panel->read_out(128, 60);
  EXPECT_TRUE(axial.readout_label->text().endsWith(" D at x 0.02 mm, y 2.7 mm"))
      << axial.readout_label->text().toStdString();
  w.window.axial_panel->read_out(2, 2);
  EXPECT_EQ(axial.readout_label->text(), "no value at x -5.02 mm, y 5.02 mm");

  // Another order and the other reference: the table follows at once.
  w.window.order_box->setValue(10);
  EXPECT_EQ(w.window.zernike_table->rowCount(), 66);
  w.window.reference_box->setCurrentIndex(1);
  ASSERT_TRUE(w.window.figures().zernike);
  EXPECT_EQ(w.window.figures().zernike->reference, ZernikeReference::best_fit_sphere);
  EXPECT_TRUE(w.errors.messages.empty());
}

TEST(SurfaceWindow, AFlatChannelShowsWhatIsNotAvailableAndWhy) {
  Window w;
  w.window.show_channel(1);
  EXPECT_EQ(w.window.channel(), 1);
  EXPECT_EQ(w.window.fit_radius_label->text(), "not available: the surface is flat: no finite radius");
  EXPECT_EQ(w.window.fit_power_label->text(), "");
  EXPECT_EQ(w.window.flat_label->text(),
            "not available: no best-fit sphere to start from: the surface is flat: no finite radius");
  EXPECT_EQ(w.window.conic_flat_label->text(), w.window.flat_label->text());
  EXPECT_EQ(w.window.conic_q_label->text(), "");
  EXPECT_EQ(w.window.tangential_panel->note_label->text(), "no best-fit sphere: the surface is flat: no finite radius");
  EXPECT_EQ(w.window.zernike_table->rowCount(), 28);  // of the residual to the set sphere
  EXPECT_EQ(w.window.residual_panel->note_label->text(), "the surface is flat: no finite radius");
  EXPECT_EQ(white_pixels(w.window.residual_panel->map_view->picture), kMapSide * kMapSide);
  for (int row = 0; row < w.window.zernike_table->rowCount(); ++row)
    EXPECT_FALSE(w.window.zernike_table->item(row, 4)->text().contains("nan", Qt::CaseInsensitive));
}

TEST(SurfaceWindow, RangeBoxesRedrawTheMapAndRefuseText) {
  Window w;
  w.window.show_channel(0);
  MapPanel& residual = *w.window.residual_panel;
  const Picture fitted = residual.map_view->picture;
  residual.min_box->setText("-1");
  residual.max_box->setText("-3");
  emit residual.max_box->exited();
  EXPECT_EQ(residual.max_box->text(), "-1") << "a max below the min is raised to it";
  EXPECT_EQ(residual.bar_max_label->text(), "-1");
  residual.max_box->setText("1");
  emit residual.max_box->exited();
  HeightMatrix expected = *w.window.figures().sphere_residual;
  Picture drawn;
  render_full_map(expected, drawn, -0.001, 0.001);
  EXPECT_EQ(residual.map_view->picture.pixel(100, 100), drawn.pixel(100, 100));
  residual.min_box->setText("abc");
  emit residual.min_box->exited();
  ASSERT_EQ(w.errors.messages.size(), 1u);
  EXPECT_EQ(w.errors.messages[0], "'abc' is not a valid floating point value");
  residual.fit_button->click();
  EXPECT_EQ(residual.map_view->picture.pixel(100, 100), fitted.pixel(100, 100));
}

TEST(SurfaceWindow, TheSurfaceEditorSavesTheFileAndTheRecord) {
  Window w;
  w.window.show_channel(1);
  EXPECT_EQ(w.window.model_box->currentText(), "sphere");
  EXPECT_FALSE(w.window.rx_box->isEnabled());
  EXPECT_EQ(w.window.surface_note->text(), "the sphere of the set radius, 8.1 mm");
  w.window.model_box->setCurrentIndex(1);
  EXPECT_TRUE(w.window.rx_box->isEnabled());
  EXPECT_EQ(w.window.surface_note->text(), "not saved: \"save\" writes surface_1.ini");
  w.window.rx_box->setText("7.6");
  w.window.ry_box->setText("7.9");
  w.window.axis_box->setText("30");
  w.window.q_box->setText("-0.2");
  w.window.save_surface_button->click();
  const Surface cornea{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2};
  EXPECT_EQ(w.records[1].surface, cornea);
  EXPECT_EQ(w.records[0].surface, Surface{});
  EXPECT_EQ(read_surface_file("surface_1.ini"), cornea);
  EXPECT_FALSE(std::filesystem::exists("surface.ini"));

  // Refused values change neither the file nor the record.
  w.window.q_box->setText("1e9");
  w.window.save_surface_button->click();
  w.window.rx_box->setText("7,6");
  w.window.save_surface_button->click();
  EXPECT_EQ(w.errors.messages,
            (std::vector<std::string>{"The surface cannot be simulated: Q must lie between -10 and 10 (read 1e+09)",
                                      "'7,6' is not a valid floating point value"}));
  EXPECT_EQ(w.records[1].surface, cornea);
  EXPECT_EQ(read_surface_file("surface_1.ini"), cornea);

  // Each channel shows its own record.
  w.window.channel_box->setCurrentIndex(0);
  EXPECT_EQ(w.window.model_box->currentText(), "sphere");
  EXPECT_EQ(w.window.rx_box->text(), "7.5");
  w.window.channel_box->setCurrentIndex(1);
  EXPECT_EQ(w.window.model_box->currentText(), "biconic");
  EXPECT_EQ(w.window.q_box->text(), "-0.2");
}

// The note under the surface boxes said "saved to surface.ini" as soon as
// the biconic was chosen, before anything was saved. It reports a save once
// the file is written, and boxes that differ from it as not saved.
TEST(SurfaceWindow, TheNoteReportsASaveOnlyAfterItHappened) {
  Window w;
  w.window.show_channel(1);
  const std::filesystem::path file = "surface_1.ini";
  // A folder where the file goes: the first save fails.
  std::filesystem::create_directory(file);
  auto& window = w.window;
  const QString not_saved = "not saved: \"save\" writes surface_1.ini";
  struct Step {
    const char* what;
    std::function<void()> act;
    QString note;
    std::optional<Surface> in_file;  // none: no readable file
  } steps[] = {
      {"choose the biconic", [&] { window.model_box->setCurrentIndex(1); }, not_saved, {}},
      {"type its numbers",
       [&] {
         window.rx_box->setText("7.6");
         window.ry_box->setText("7.9");
         window.axis_box->setText("30");
         window.q_box->setText("-0.2");
       },
       not_saved, {}},
      {"save, and the file cannot be written", [&] { window.save_surface_button->click(); }, not_saved, {}},
      {"save again where it can",
       [&] {
         std::filesystem::remove(file);
         window.save_surface_button->click();
       },
       "saved to surface_1.ini", Surface{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2}},
      {"change Q", [&] { window.q_box->setText("-0.3"); }, not_saved,
       Surface{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2}},
      {"type back the saved Q", [&] { window.q_box->setText("-0.2"); }, "as saved in surface_1.ini",
       Surface{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2}},
      {"a Q that is no number", [&] { window.q_box->setText("abc"); }, not_saved,
       Surface{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2}},
      {"a Q that is refused on save",
       [&] {
         window.q_box->setText("1e9");
         window.save_surface_button->click();
       },
       not_saved, Surface{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2}},
      {"choose the sphere and save",
       [&] {
         window.q_box->setText("-0.2");
         window.model_box->setCurrentIndex(0);
         window.save_surface_button->click();
       },
       "saved to surface_1.ini", Surface{SurfaceModel::sphere, 7.6, 7.9, 30.0, -0.2}},
      {"the other channel, never saved", [&] { window.channel_box->setCurrentIndex(0); },
       "the sphere of the set radius, 7.5 mm", Surface{SurfaceModel::sphere, 7.6, 7.9, 30.0, -0.2}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(window.surface_note->text().toStdString(), step.note.toStdString());
    if (step.in_file) {
      EXPECT_EQ(read_surface_file(file.string()), *step.in_file);
    } else {
      EXPECT_FALSE(std::filesystem::is_regular_file(file));
    }
  }
  ASSERT_EQ(w.errors.messages.size(), 2u);
  EXPECT_EQ(w.errors.messages[0], "Cannot create file \"./surface_1.ini\"");
  EXPECT_EQ(w.errors.messages[1],
            "The surface cannot be simulated: Q must lie between -10 and 10 (read 1e+09)");
}

// The main window hears of each save, after the record holds it.
TEST(SurfaceWindow, ASaveIsAnnouncedWithTheChannelOnceTheRecordHoldsIt) {
  Window w;
  std::vector<std::pair<int, SurfaceModel>> heard;
  w.window.surface_saved = [&](int c) { heard.emplace_back(c, w.records[c].surface.model); };
  w.window.show_channel(1);
  w.window.model_box->setCurrentIndex(1);
  w.window.q_box->setText("x");
  w.window.save_surface_button->click();  // refused: nothing to hear
  w.window.q_box->setText("0");
  w.window.save_surface_button->click();
  EXPECT_EQ(heard, (std::vector<std::pair<int, SurfaceModel>>{{1, SurfaceModel::biconic}}));
}

}  // namespace

namespace {

TEST(SurfaceWindow, TheSphereTakesConesAndTheClinicalFiguresShowBesideTheMaps) {
  Window w;
  w.window.show_channel(0);
  // Cones on the sphere: the note follows them, "save" writes them.
  w.window.cones_box->setText("10/0.5/-1/0.8; 4/0/0/1");
  EXPECT_EQ(w.window.surface_note->text(), "not saved: \"save\" writes surface.ini");
  w.window.save_surface_button->click();
  const std::vector<Cone> cones{{10.0, 0.5, -1.0, 0.8}, {4.0, 0.0, 0.0, 1.0}};
  EXPECT_EQ(w.records[0].surface.cones, cones);
  EXPECT_EQ(read_surface_file("surface.ini").cones, cones);
  EXPECT_EQ(w.window.surface_note->text(), "saved to surface.ini");
  w.window.cones_box->setText("10/0.5");
  EXPECT_EQ(w.window.surface_note->text(), "not saved: \"save\" writes surface.ini");
  w.window.save_surface_button->click();
  ASSERT_EQ(w.errors.messages.size(), 1u);
  EXPECT_EQ(w.records[0].surface.cones, cones);

  // The measured biconic: every new map is drawn, the aberrations and the
  // indices are shown with their categories.
  for (MapPanel* panel : {w.window.refractive_panel, w.window.elevation_sphere_panel, w.window.elevation_toric_panel})
    EXPECT_TRUE(panel->note_label->isHidden()) << panel->note_label->text().toStdString();
  EXPECT_TRUE(w.window.higher_order_label->text().startsWith("higher-order RMS (orders 3 and up): "));
  EXPECT_TRUE(w.window.i_s_label->text().endsWith(" D (normal)")) << w.window.i_s_label->text().toStdString();
  // The absolute scale puts the power maps on 1.5 D classes and back.
  w.window.absolute_scale_box->setChecked(true);
  EXPECT_EQ(w.window.refractive_panel->min_box->text(), "28.5");
  EXPECT_EQ(w.window.axial_panel->max_box->text(), "58.5");
  w.window.evaluate();
  EXPECT_EQ(w.window.tangential_panel->min_box->text(), "28.5") << "kept for the next evaluation";
  w.window.absolute_scale_box->setChecked(false);
  EXPECT_NE(w.window.axial_panel->min_box->text(), "28.5");
  // A pupil wider than the measured disc says so.
  w.window.pupil_box->setText("7");
  w.window.evaluate();
  EXPECT_EQ(w.window.higher_order_label->text(),
            "not available: the pupil of 7 mm is wider than the disc of 6.4 mm measured");
}

}  // namespace
