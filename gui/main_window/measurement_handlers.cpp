// TForm1: "apply", "profile", the menus that toggle controls and the
// enlarged view.
#include <QApplication>
#include <QCursor>

#include "common/errors.h"
#include "runs/profile_run.h"
#include "common/number_text.h"
#include "common/work_files.h"
#include "gui/enlarged_view/unit_image.h"
#include "gui/widgets/error_box.h"
#include "gui/main_window/run_feedback.h"
#include "gui/main_window/unit1.h"
#include "gui/parameters_dialog/unit_parameters.h"
#include "runs/simulation_run.h"

namespace {

int half_of_range(const QProgressBar* bar) { return (bar->maximum() - bar->minimum()) / 2; }

// A track bar's position as a share of its range, 0..1.
double bar_fraction(const QSlider* bar) { return static_cast<double>(bar->value()) / bar->maximum(); }

}  // namespace

void TForm1::show_status(const std::string& text) {
  Label_action->setText(" ");
  Label_action->repaint();
  Label_action->setText(QString::fromStdString(text));
  Label_action->repaint();
}

void TForm1::Button_apply_0Click() { run_simulation_of(0); }
void TForm1::Button_apply_1Click() { run_simulation_of(1); }
void TForm1::Button_calculate_0Click() { run_profile_of(0); }
void TForm1::Button_calculate_1Click() { run_profile_of(1); }

void TForm1::run_simulation_of(int c) {
  WaitCursor hourglass;
  const ChannelControls& ui = channel_controls_[c];
  SimulationInputs in;
  in.channel = c;
  in.noise = bar_fraction(ui.noise_bar);
  in.dynamic = bar_fraction(ui.contrast_bar);
  in.seed = static_cast<uint32_t>(std::time(nullptr));
  in.max_noise_text = Edit_max_noise->text_utf8();
  in.passes_text = FormParameters->filters_text(c);
  ui.raw_image->resize(kImageControlSide, kImageControlSide);
  StatusObserver observer(*this, {ui.raw_image, ui.raw_scan});
  run_simulation(in, data.channels[c].sim_params, ui.raw_image->picture, ui.raw_scan->picture,
                 data.scratch_map, observer);
}

void TForm1::run_profile_of(int c) {
  // A channel without a fringe image has nothing to measure: say so and
  // change nothing.
  require_readable(fringe_image_file(c));
  WaitCursor hourglass;
  ProgressBar1->setValue(half_of_range(ProgressBar1));
  ProgressBar1->repaint();
  Channel& channel = data.channels[c];
  const MapControls& ui = map_controls_[c];
  ui.edit_min->set_text(QString::fromStdString(range_text(channel.height_range.min * kMicronsPerMm)));
  ui.edit_max->set_text(QString::fromStdString(range_text(channel.height_range.max * kMicronsPerMm)));
  channel_controls_[c].selector->setEditText("height differences");

  QualityCheck quality;
  ProfileRun run{.channel = c,
                 .channels = {&data.channels[0], &data.channels[1]},
                 .difference_map = data.difference_map,
                 .radius_text = FormParameters->radius_text(c),
                 .mask_radius_text = FormParameters->mask_radius_text(c),
                 .colour_min = channel.height_range.min,
                 .colour_max = channel.height_range.max,
                 .colour_min_diff = data.difference_range.min,
                 .colour_max_diff = data.difference_range.max,
                 .map_image = ui.image->picture,
                 .diff_image = Image_diff->picture,
                 .quality = &quality};
  StatusObserver observer(*this, {ui.image, Image_diff});
  try {
    run_profile_comparison(run, observer);
  } catch (const MeasurementRefused& refused) {
    // The maps stay; the quality of what was refused shows why.
    channel.quality = std::move(quality.map);
    throw MeasurementRefused(std::string(refused.what()) + "\n(the map's pop-up menu shows its quality maps)");
  }
  channel.quality = std::move(quality.map);
  show_method_used(c, run.method_used, run.steps_warning);
  channel.shown = ChannelMap::height_differences;
  refresh_surface_window(c);
}

void TForm1::Parameters1Click() { FormParameters->show_dialog(); }
void TForm1::Button2Click() { FormParameters->show_dialog(); }
void TForm1::Button3Click() { FormParameters->show_dialog(); }

void TForm1::show_statisticsClick() {
  // The action has already inverted its check mark.
  GroupBox_statistics->setVisible(show_statistics->isChecked());
}

void TForm1::show_magnifierClick() {
  const bool on = show_magnifier->isChecked();
  Image_Lupe->setVisible(on);
  Label_magnifier->setVisible(on);
}

void TForm1::show_linescansClick() {
  for (QWidget* w : std::initializer_list<QWidget*>{
           Image_vert_cross_0, Image_vert_cross_1, Image_horiz_cross_0, Image_horiz_cross_1,
           Image_diff_vert_cross, Image_diff_horiz_cross, Image_scan_0, Image_scan_1,
           Label0_horiz_min, Label0_horiz_max, Label1_horiz_min, Label1_horiz_max, Label0_vert_min,
           Label0_vert_max, Label1_vert_min, Label1_vert_max, Label_diff_vert_min,
           Label_diff_vert_max, Label_diff_horiz_min, Label_diff_horiz_max})
    w->setVisible(w->isHidden());
}

void TForm1::show_labelsClick() {
  for (QWidget* w : std::initializer_list<QWidget*>{Label_val_0, Label_val_1, Label_val_diff})
    w->setVisible(w->isHidden());
}

void TForm1::show_colorbarClick() {
  for (QWidget* w : std::initializer_list<QWidget*>{Image_skala, Label_skala_max, Label_skala_min})
    w->setVisible(w->isHidden());
}

void TForm1::Image0MouseDown(Qt::MouseButton button, int, int) {
  if (button == Qt::LeftButton) show_enlarged(0);
}
void TForm1::Image1MouseDown(Qt::MouseButton button, int, int) {
  if (button == Qt::LeftButton) show_enlarged(1);
}
void TForm1::expand1Click() { show_enlarged(0); }
void TForm1::expand2Click() { show_enlarged(1); }

void TForm1::show_enlarged(int c) {
  const SimParams& p = data.channels[c].sim_params;
  FormImage->show_picture(channel_controls_[c].raw_image->picture, p.x_pixels, p.y_pixels);
}
