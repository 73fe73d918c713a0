// TForm1: "apply", "profile", the menus that toggle controls and the
// enlarged view.
#include <QApplication>
#include <QCursor>

#include "analysis/profile_run.h"
#include "common/number_text.h"
#include "common/work_files.h"
#include "enlarged_view/unit_image.h"
#include "main_window/error_box.h"
#include "main_window/unit1.h"
#include "parameters_dialog/unit_parameters.h"
#include "simulation/simulation_run.h"

namespace {

// The hourglass for the duration of a long run, whatever way it ends.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Shows a run's steps in the status group at once.
class StatusObserver final : public RunObserver {
 public:
  StatusObserver(TForm1& form, std::initializer_list<ImageView*> pictures)
      : form_(form), pictures_(pictures) {}
  void status(const std::string& text) override { form_.show_status(text); }
  void progress(int position) override {
    form_.ProgressBar1->setValue(position);
    form_.ProgressBar1->repaint();
  }
  void picture_changed() override {
    for (ImageView* view : pictures_) view->repaint_now();
  }

 private:
  TForm1& form_;
  std::vector<ImageView*> pictures_;
};

int half_of_range(const QProgressBar* bar) { return (bar->maximum() - bar->minimum()) / 2; }

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
  ImageView* image = c == 0 ? Image0 : Image1;
  ImageView* plot = c == 0 ? Image_scan_0 : Image_scan_1;
  const QSlider* noise = c == 0 ? TrackBarNoise0 : TrackBarNoise1;
  const QSlider* dynamic = c == 0 ? TrackBarDynamic0 : TrackBarDynamic1;
  SimulationInputs in;
  in.channel = c;
  in.noise = static_cast<double>(noise->value()) / noise->maximum();
  in.dynamic = static_cast<double>(dynamic->value()) / dynamic->maximum();
  in.seed = static_cast<uint32_t>(std::time(nullptr));
  in.max_noise_text = Edit_max_noise->text_utf8();
  in.passes_text = FormParameters->filters_text(c);
  image->resize(kImageControlSide, kImageControlSide);
  StatusObserver observer(*this, {image, plot});
  run_simulation(in, c == 0 ? data.sim_params_0 : data.sim_params_1, image->picture, plot->picture,
                 data.scratch_map, observer);
}

void TForm1::run_profile_of(int c) {
  WorkbenchData& d = data;
  // A channel without a fringe image has nothing to measure: say so and
  // change nothing.
  require_readable(c == 0 ? file_sim_0 : file_sim_1);
  WaitCursor hourglass;
  ProgressBar1->setValue(half_of_range(ProgressBar1));
  ProgressBar1->repaint();
  const double min = c == 0 ? d.colour_min_0 : d.colour_min_1;
  const double max = c == 0 ? d.colour_max_0 : d.colour_max_1;
  (c == 0 ? Edit_min_0 : Edit_min_1)->set_text(QString::fromStdString(number_text(min * kMicronsPerMm, 2, 3)));
  (c == 0 ? Edit_max_0 : Edit_max_1)->set_text(QString::fromStdString(number_text(max * kMicronsPerMm, 2, 3)));
  (c == 0 ? ComboBox0 : ComboBox1)->setEditText("height differences");

  ImageView* map_image = c == 0 ? Image_prof_0 : Image_prof_1;
  ProfileRun run{.channel = c,
                 .height_map_0 = d.height_map_0,
                 .height_map_1 = d.height_map_1,
                 .measured_map = c == 0 ? d.measured_map_0 : d.measured_map_1,
                 .sphere_map = c == 0 ? d.sphere_map_0 : d.sphere_map_1,
                 .difference_map = d.difference_map,
                 .geometry = c == 0 ? d.profile_0 : d.profile_1,
                 .radius_text = FormParameters->radius_text(c),
                 .mask_radius_text = FormParameters->mask_radius_text(c),
                 .colour_min = min,
                 .colour_max = max,
                 .colour_min_diff = d.colour_min_diff,
                 .colour_max_diff = d.colour_max_diff,
                 .map_image = map_image->picture,
                 .diff_image = Image_diff->picture};
  StatusObserver observer(*this, {map_image, Image_diff});
  run_profile_comparison(run, observer);
  (c == 0 ? d.shown_map_0 : d.shown_map_1) = c == 0 ? &d.height_map_0 : &d.height_map_1;
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
  const SimParams& p = c == 0 ? data.sim_params_0 : data.sim_params_1;
  FormImage->show_picture((c == 0 ? Image0 : Image1)->picture, p.x_pixels, p.y_pixels);
}
