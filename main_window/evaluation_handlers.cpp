// TForm1: the evaluation selectors and pop-up menus of the maps, and the
// data export. Each channel map can show its height map or a local PV, RMS
// or mean map of it (7 x 7 cells), each with its own colour range; every
// evaluation also refreshes the difference map from the other channel's
// shown map.
#include <QString>

#include "analysis/data_export.h"
#include "analysis/local_evaluation.h"
#include "analysis/reference_sphere.h"
#include "common/number_text.h"
#include "common/work_files.h"
#include "main_window/error_box.h"
#include "main_window/unit1.h"
#include "render/binary_view.h"
#include "render/colour_map.h"
#include "render/mean_filter.h"

namespace {

// Colour classes of every map but channel 0's PV map (colour_levels).
constexpr int kMapClasses = 20;
// Smoothing passes of the hidden "mean" button.
constexpr int kMeanPasses = 3;

// The selector's items, in the order of the list.
enum SelectorItem { kPv = 0, kRms, kMean, kHeightDifferences, kBinaryView, kSaveData, kItemCount };

// What one channel's map side consists of.
struct Channel {
  int c;
  HeightMatrix& map;           // height_map_c
  HeightMatrix& measured_map;  // measured_map_c
  HeightMatrix*& shown_map;    // shown_map_c
  ImageView* raw_image;        // Image0 / Image1
  ImageView* map_image;        // Image_prof_c
  EditBox* edit_min;
  EditBox* edit_max;
  double& colour_min;  // the height map's range, mm
  double& colour_max;
  double*& colour_min_ptr;  // the pair the range controls adjust
  double*& colour_max_ptr;
  const ProfileGeometry& geometry;
  const char* image_settings;
};

Channel channel_of(TForm1& f, int c) {
  WorkbenchData& d = f.data;
  if (c == 0)
    return {0, d.height_map_0, d.measured_map_0, d.shown_map_0, f.Image0, f.Image_prof_0,
            f.Edit_min_0, f.Edit_max_0, d.colour_min_0, d.colour_max_0, d.colour_min_0_ptr,
            d.colour_max_0_ptr, d.profile_0, file_image_settings_0};
  return {1, d.height_map_1, d.measured_map_1, d.shown_map_1, f.Image1, f.Image_prof_1,
          f.Edit_min_1, f.Edit_max_1, d.colour_min_1, d.colour_max_1, d.colour_min_1_ptr,
          d.colour_max_1_ptr, d.profile_1, file_image_settings_1};
}

// A local evaluation's result map and colour range (mm) for one channel.
struct EvaluationMap {
  HeightMatrix& result;
  double& min;
  double& max;
};

EvaluationMap evaluation_map_of(WorkbenchData& d, int c, LocalEvaluation kind) {
  switch (kind) {
    case LocalEvaluation::pv:
      return c == 0 ? EvaluationMap{d.pv_map_0, d.pv_colour_min_0, d.pv_colour_max_0}
                    : EvaluationMap{d.pv_map_1, d.pv_colour_min_1, d.pv_colour_max_1};
    case LocalEvaluation::rms:
      return c == 0 ? EvaluationMap{d.rms_map_0, d.rms_colour_min_0, d.rms_colour_max_0}
                    : EvaluationMap{d.rms_map_1, d.rms_colour_min_1, d.rms_colour_max_1};
    case LocalEvaluation::mean:
      break;
  }
  return c == 0 ? EvaluationMap{d.mean_map_0, d.mean_colour_min_0, d.mean_colour_max_0}
                : EvaluationMap{d.mean_map_1, d.mean_colour_min_1, d.mean_colour_max_1};
}

QString range_text(double mm) { return QString::fromStdString(number_text(mm, 2, 3)); }

// The range edits show microns.
void show_range(const Channel& ch, double min, double max) {
  ch.edit_min->set_text(range_text(min * kMicronsPerMm));
  ch.edit_max->set_text(range_text(max * kMicronsPerMm));
}

void render_full_map(const HeightMatrix& map, int classes, ImageView* view, double min, double max) {
  render_map(map, 0, kMapSide - 1, 0, kMapSide - 1, classes, view->picture, colour_blue, colour_red,
             colour_green, min, max);
  view->update();
}

// difference_map = a - b, drawn into Image_diff with the difference range.
void show_difference(TForm1& f, const HeightMatrix& a, const HeightMatrix& b) {
  WorkbenchData& d = f.data;
  subtract_maps(a, b, d.difference_map, kMapSide, kMapSide);
  render_full_map(d.difference_map, kMapClasses, f.Image_diff, d.colour_min_diff, d.colour_max_diff);
}

void show_local_evaluation(TForm1& f, int c, LocalEvaluation kind) {
  WorkbenchData& d = f.data;
  const Channel ch = channel_of(f, c);
  const EvaluationMap e = evaluation_map_of(d, c, kind);
  local_evaluation_map(ch.map, kind, e.result);
  show_range(ch, e.min, e.max);
  const int classes = (c == 0 && kind == LocalEvaluation::pv) ? colour_levels : kMapClasses;
  render_full_map(e.result, classes, ch.map_image, e.min, e.max);
  // The difference map stays channel 0 minus channel 1, whatever each shows.
  if (c == 0)
    show_difference(f, e.result, *d.shown_map_1);
  else
    show_difference(f, *d.shown_map_0, e.result);
  ch.shown_map = &e.result;
  if (c == 1 && kind == LocalEvaluation::rms) {
    f.Label_min_1->setText("0.0");
    f.Label_max_1->setText(range_text(d.colour_max_1));
  }
}

void show_height_differences(TForm1& f, int c) {
  WorkbenchData& d = f.data;
  const Channel ch = channel_of(f, c);
  show_range(ch, ch.colour_min, ch.colour_max);
  render_full_map(ch.map, kMapClasses, ch.map_image, ch.colour_min, ch.colour_max);
  if (c == 0) {
    f.Label_min_0->setText(range_text(d.colour_min_0));
    f.Label_max_0->setText(range_text(d.colour_max_0));
    show_difference(f, d.height_map_0, *d.shown_map_1);
  } else {
    show_difference(f, d.height_map_0, d.height_map_1);
  }
  ch.shown_map = &ch.map;
}

// Marks the shown map's positive and negative cells on the channel's map
// image; maps and pointers stay as they are.
void show_binary_view(TForm1& f, int c) {
  const Channel ch = channel_of(f, c);
  paint_binary_view(ch.map_image->picture, *ch.shown_map, kBinaryPositive, kBinaryNegative);
  ch.map_image->update();
}

// A cancelled dialog (empty name) writes nothing. A file that cannot be
// written raises FileError, shown by the handler's guard.
void save_channel_data(TForm1& f, int c) {
  const std::string base = f.ask_data_set_name ? f.ask_data_set_name() : std::string();
  if (base.empty()) return;
  const Channel ch = channel_of(f, c);
  save_data_set(base, ch.raw_image->picture, ch.map_image->picture, ch.map, ch.measured_map,
                ch.image_settings, ch.geometry.field_x, ch.geometry.field_y);
}

void point_ranges(const Channel& ch, double& min, double& max) {
  ch.colour_min_ptr = &min;
  ch.colour_max_ptr = &max;
}

// The selector's click: the chosen evaluation, with the range controls moved
// to its colour range.
void select_evaluation(TForm1& f, int c) {
  QComboBox* selector = c == 0 ? f.ComboBox0 : f.ComboBox1;
  const int index = selector->currentIndex();
  if (index == -1) {
    selector->setEditText("select");
    return;
  }
  // Only the six fixed items mean anything; anything else is left alone.
  if (index < 0 || index >= kItemCount) return;
  const Channel ch = channel_of(f, c);
  const auto local = [&](LocalEvaluation kind) {
    const EvaluationMap e = evaluation_map_of(f.data, c, kind);
    point_ranges(ch, e.min, e.max);
    show_local_evaluation(f, c, kind);
  };
  switch (static_cast<SelectorItem>(index)) {
    case kPv:
      local(LocalEvaluation::pv);
      break;
    case kRms:
      local(LocalEvaluation::rms);
      break;
    case kMean:
      local(LocalEvaluation::mean);
      break;
    case kHeightDifferences:
      point_ranges(ch, ch.colour_min, ch.colour_max);
      show_height_differences(f, c);
      break;
    case kBinaryView:
      show_binary_view(f, c);
      break;
    case kSaveData:
      save_channel_data(f, c);
      break;
    case kItemCount:
      break;
  }
}

void reset_empty_text(QComboBox* selector) {
  if (selector->currentText().isEmpty()) selector->setEditText("select");
}

}  // namespace

void TForm1::connect_evaluation_handlers() {
  const auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
    connect(sender, signal, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
  };
  // Text typed into a selector is not a new evaluation: it is never added to
  // the list, so only the six items can be chosen.
  for (QComboBox* selector : {ComboBox0, ComboBox1}) selector->setInsertPolicy(QComboBox::NoInsert);
  on(ComboBox0, &QComboBox::activated, &TForm1::ComboBox0Click);
  on(ComboBox1, &QComboBox::activated, &TForm1::ComboBox1Click);
  on(ComboBox0, &QComboBox::editTextChanged, &TForm1::ComboBox0Change);
  on(ComboBox1, &QComboBox::editTextChanged, &TForm1::ComboBox1Change);
  on(PV0, &QAction::triggered, &TForm1::PV0Click);
  on(RMS0, &QAction::triggered, &TForm1::RMS0Click);
  on(Mean0, &QAction::triggered, &TForm1::Mean0Click);
  on(heightdifference0, &QAction::triggered, &TForm1::heightdifference0Click);
  on(binary_view0, &QAction::triggered, &TForm1::binary_view0Click);
  on(save_data0, &QAction::triggered, &TForm1::save_data0Click);
  on(load_data, &QAction::triggered, &TForm1::load_dataClick);
  on(PV1, &QAction::triggered, &TForm1::PV1Click);
  on(RMS1, &QAction::triggered, &TForm1::RMS1Click);
  on(Mean1, &QAction::triggered, &TForm1::Mean1Click);
  on(heightdifference1, &QAction::triggered, &TForm1::heightdifference1Click);
  on(binary_view1, &QAction::triggered, &TForm1::binary_view1Click);
  on(save_data1, &QAction::triggered, &TForm1::save_data1Click);
  on(load_data1, &QAction::triggered, &TForm1::load_data1Click);
  on(binary_view_diff, &QAction::triggered, &TForm1::binary_view_diffClick);
  on(Button1, &QPushButton::clicked, &TForm1::Button1Click);
}

// Pop-up items: the same evaluations as the selector's, range pointers
// untouched.
void TForm1::PV0Click() { show_local_evaluation(*this, 0, LocalEvaluation::pv); }
void TForm1::RMS0Click() { show_local_evaluation(*this, 0, LocalEvaluation::rms); }
void TForm1::Mean0Click() { show_local_evaluation(*this, 0, LocalEvaluation::mean); }
void TForm1::heightdifference0Click() { show_height_differences(*this, 0); }
void TForm1::binary_view0Click() { show_binary_view(*this, 0); }
void TForm1::PV1Click() { show_local_evaluation(*this, 1, LocalEvaluation::pv); }
void TForm1::RMS1Click() { show_local_evaluation(*this, 1, LocalEvaluation::rms); }
void TForm1::Mean1Click() { show_local_evaluation(*this, 1, LocalEvaluation::mean); }
void TForm1::heightdifference1Click() { show_height_differences(*this, 1); }
void TForm1::binary_view1Click() { show_binary_view(*this, 1); }

void TForm1::binary_view_diffClick() {
  paint_binary_view(Image_diff->picture, *data.shown_map_diff, kBinaryDiffPositive,
                    kBinaryDiffNegative);
  Image_diff->update();
}

// The pop-up items "save data" and "load data" have no behaviour: saving
// goes through the selector, and no saved set is read back.
void TForm1::save_data0Click() {}
void TForm1::save_data1Click() {}
void TForm1::load_dataClick() {}
void TForm1::load_data1Click() {}

void TForm1::ComboBox0Click() { select_evaluation(*this, 0); }
void TForm1::ComboBox1Click() { select_evaluation(*this, 1); }
void TForm1::ComboBox0Change() { reset_empty_text(ComboBox0); }
void TForm1::ComboBox1Change() { reset_empty_text(ComboBox1); }

void TForm1::Button1Click() {
  mean_filter(Image0->picture, kMeanPasses);
  Image0->update();
}
