// TForm1: the evaluation selectors and pop-up menus of the maps, and the
// data export. Each channel map can show its height map or a local PV, RMS
// or mean map of it (7 x 7 cells), each with its own colour range; every
// evaluation also refreshes the difference map from the other channel's
// shown map.
#include <QString>

#include "analysis/local_evaluation.h"
#include "analysis/reference_sphere.h"
#include "common/number_text.h"
#include "common/work_files.h"
#include "gui/main_window/unit1.h"
#include "render/binary_view.h"
#include "render/colour_map.h"
#include "render/mean_filter.h"
#include "settings/channel_settings.h"
#include "exports/data_export.h"
#include "gui/widgets/guarded_connect.h"

namespace {

// Smoothing passes of the hidden "mean" button.
constexpr int kMeanPasses = 3;

// The selector's items, in the order of the list.
enum SelectorItem { kPv = 0, kRms, kMean, kHeightDifferences, kBinaryView, kSaveData, kItemCount };

QString range_label_text(double value) { return QString::fromStdString(range_text(value)); }

void reset_empty_text(QComboBox* selector) {
  if (selector->currentText().isEmpty()) selector->setEditText("select");
}

}  // namespace

void TForm1::connect_evaluation_handlers() {
  // Text typed into a selector is not a new evaluation: it is never added to
  // the list, so only the six items can be chosen.
  for (QComboBox* selector : {ComboBox0, ComboBox1}) selector->setInsertPolicy(QComboBox::NoInsert);
  connect_guarded(ComboBox0, &QComboBox::activated, this, &TForm1::ComboBox0Click);
  connect_guarded(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Click);
  connect_guarded(ComboBox0, &QComboBox::editTextChanged, this, &TForm1::ComboBox0Change);
  connect_guarded(ComboBox1, &QComboBox::editTextChanged, this, &TForm1::ComboBox1Change);
  connect_guarded(PV0, &QAction::triggered, this, &TForm1::PV0Click);
  connect_guarded(RMS0, &QAction::triggered, this, &TForm1::RMS0Click);
  connect_guarded(Mean0, &QAction::triggered, this, &TForm1::Mean0Click);
  connect_guarded(heightdifference0, &QAction::triggered, this, &TForm1::heightdifference0Click);
  connect_guarded(binary_view0, &QAction::triggered, this, &TForm1::binary_view0Click);
  connect_guarded(save_data0, &QAction::triggered, this, &TForm1::save_data0Click);
  connect_guarded(load_data, &QAction::triggered, this, &TForm1::load_dataClick);
  connect_guarded(PV1, &QAction::triggered, this, &TForm1::PV1Click);
  connect_guarded(RMS1, &QAction::triggered, this, &TForm1::RMS1Click);
  connect_guarded(Mean1, &QAction::triggered, this, &TForm1::Mean1Click);
  connect_guarded(heightdifference1, &QAction::triggered, this, &TForm1::heightdifference1Click);
  connect_guarded(binary_view1, &QAction::triggered, this, &TForm1::binary_view1Click);
  connect_guarded(save_data1, &QAction::triggered, this, &TForm1::save_data1Click);
  connect_guarded(load_data1, &QAction::triggered, this, &TForm1::load_data1Click);
  connect_guarded(binary_view_diff, &QAction::triggered, this, &TForm1::binary_view_diffClick);
  connect_guarded(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
}

void TForm1::show_difference(const HeightMatrix& a, const HeightMatrix& b) {
  subtract_maps(a, b, data.difference_map, kMapSide, kMapSide);
  render_full_map(data.difference_map, Image_diff->picture, data.difference_range.min,
                  data.difference_range.max);
  Image_diff->update();
}

void TForm1::show_local_evaluation(int c, LocalEvaluation kind) {
  Channel& channel = data.channels[c];
  const MapControls& ui = map_controls_[c];
  const ChannelMap which = map_of_evaluation(kind);
  HeightMatrix& result = channel.map(which);
  const ColourRange range = channel.range(which);
  local_evaluation_map(channel.height_map, kind, result);
  // The range edits show microns.
  ui.edit_min->set_text(range_label_text(range.min * kMicronsPerMm));
  ui.edit_max->set_text(range_label_text(range.max * kMicronsPerMm));
  const int classes = (c == 0 && kind == LocalEvaluation::pv) ? kFineColourClasses : kMapColourClasses;
  render_full_map(result, ui.image->picture, range.min, range.max, classes);
  ui.image->update();
  // The difference map stays channel 0 minus channel 1, whatever each shows.
  if (c == 0)
    show_difference(result, data.channels[1].shown_map());
  else
    show_difference(data.channels[0].shown_map(), result);
  channel.shown = which;
  if (c == 1 && kind == LocalEvaluation::rms) {
    Label_min_1->setText("0.0");
    Label_max_1->setText(range_label_text(channel.height_range.max));
  }
}

void TForm1::show_height_differences(int c) {
  Channel& channel = data.channels[c];
  const MapControls& ui = map_controls_[c];
  const ColourRange range = channel.height_range;
  ui.edit_min->set_text(range_label_text(range.min * kMicronsPerMm));
  ui.edit_max->set_text(range_label_text(range.max * kMicronsPerMm));
  render_full_map(channel.height_map, ui.image->picture, range.min, range.max);
  ui.image->update();
  if (c == 0) {
    Label_min_0->setText(range_label_text(range.min));
    Label_max_0->setText(range_label_text(range.max));
    show_difference(channel.height_map, data.channels[1].shown_map());
  } else {
    show_difference(data.channels[0].height_map, channel.height_map);
  }
  channel.shown = ChannelMap::height_differences;
}

// Marks the shown map's positive and negative cells on the channel's map
// image; maps and ranges stay as they are.
void TForm1::show_binary_view(int c) {
  const MapControls& ui = map_controls_[c];
  paint_binary_view(ui.image->picture, data.channels[c].shown_map(), kBinaryPositive, kBinaryNegative);
  ui.image->update();
}

// A cancelled dialog (empty name) writes nothing. A file that cannot be
// written raises FileError, shown by the handler's guard.
void TForm1::save_channel_data(int c) {
  const std::string base = ask_data_set_name ? ask_data_set_name() : std::string();
  if (base.empty()) return;
  const Channel& channel = data.channels[c];
  save_data_set(base, channel_controls_[c].raw_image->picture, map_controls_[c].image->picture,
                channel.height_map, channel.measured_map, channel_files(c).image,
                channel.profile.field_x, channel.profile.field_y);
}

// The selector's click: the chosen evaluation, with the range controls moved
// to its colour range.
void TForm1::select_evaluation(int c) {
  QComboBox* selector = channel_controls_[c].selector;
  const int index = selector->currentIndex();
  if (index == -1) {
    selector->setEditText("select");
    return;
  }
  // Only the six fixed items mean anything; anything else is left alone.
  if (index < 0 || index >= kItemCount) return;
  Channel& channel = data.channels[c];
  const auto local = [&](LocalEvaluation kind) {
    channel.ranged = map_of_evaluation(kind);
    show_local_evaluation(c, kind);
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
      channel.ranged = ChannelMap::height_differences;
      show_height_differences(c);
      break;
    case kBinaryView:
      show_binary_view(c);
      break;
    case kSaveData:
      save_channel_data(c);
      break;
    case kItemCount:
      break;
  }
}

// Pop-up items: the same evaluations as the selector's, range pointers
// untouched.
void TForm1::PV0Click() { show_local_evaluation(0, LocalEvaluation::pv); }
void TForm1::RMS0Click() { show_local_evaluation(0, LocalEvaluation::rms); }
void TForm1::Mean0Click() { show_local_evaluation(0, LocalEvaluation::mean); }
void TForm1::heightdifference0Click() { show_height_differences(0); }
void TForm1::binary_view0Click() { show_binary_view(0); }
void TForm1::PV1Click() { show_local_evaluation(1, LocalEvaluation::pv); }
void TForm1::RMS1Click() { show_local_evaluation(1, LocalEvaluation::rms); }
void TForm1::Mean1Click() { show_local_evaluation(1, LocalEvaluation::mean); }
void TForm1::heightdifference1Click() { show_height_differences(1); }
void TForm1::binary_view1Click() { show_binary_view(1); }

void TForm1::binary_view_diffClick() {
  paint_binary_view(Image_diff->picture, data.difference_map, kBinaryDiffPositive,
                    kBinaryDiffNegative);
  Image_diff->update();
}

// The pop-up items "save data" and "load data" have no behaviour: saving
// goes through the selector, and no saved set is read back.
void TForm1::save_data0Click() {}
void TForm1::save_data1Click() {}
void TForm1::load_dataClick() {}
void TForm1::load_data1Click() {}

void TForm1::ComboBox0Click() { select_evaluation(0); }
void TForm1::ComboBox1Click() { select_evaluation(1); }
void TForm1::ComboBox0Change() { reset_empty_text(ComboBox0); }
void TForm1::ComboBox1Change() { reset_empty_text(ComboBox1); }

void TForm1::Button1Click() {
  mean_filter(Image0->picture, kMeanPasses);
  Image0->update();
}
