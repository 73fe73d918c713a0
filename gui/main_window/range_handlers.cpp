// TForm1: colour ranges, their step buttons, and the contrast and noise
// track bars. The range edits show microns; the limits are held in mm. A
// track bar's value is its position / 256, kept in the channel's simulation
// record for the next "apply".
#include <cmath>

#include "common/number_text.h"
#include "common/text_to_number.h"
#include "gui/main_window/unit1.h"
#include "render/colour_map.h"
#include "gui/widgets/guarded_connect.h"

namespace {

// Range edits and track bar boxes: 2 significant digits, 2 exponent digits.
QString step_text(double value) { return QString::fromStdString(number_text(value, 2, 2)); }

// A track bar's position / maximum, written into its box.
double show_bar_value(const QSlider* bar, EditBox* box) {
  const double value = static_cast<double>(bar->value()) / bar->maximum();
  box->set_text(step_text(value));
  return value;
}

}  // namespace

void TForm1::connect_range_handlers() {
  connect_guarded(Edit_min_0, &EditBox::exited, this, &TForm1::Edit_min_0Exit);
  connect_guarded(Edit_max_0, &EditBox::exited, this, &TForm1::Edit_max_0Exit);
  connect_guarded(Edit_min_1, &EditBox::exited, this, &TForm1::Edit_min_1Exit);
  connect_guarded(Edit_max_1, &EditBox::exited, this, &TForm1::Edit_max_1Exit);
  connect_guarded(Edit_min_diff, &EditBox::exited, this, &TForm1::Edit_min_diffExit);
  connect_guarded(Edit_max_diff, &EditBox::exited, this, &TForm1::Edit_max_diffExit);
  connect_guarded(Edit_min_0, &EditBox::key_down, this, &TForm1::Edit_min_0KeyDown);
  connect_guarded(Edit_max_0, &EditBox::key_down, this, &TForm1::Edit_max_0KeyDown);
  connect_guarded(Edit_min_1, &EditBox::key_down, this, &TForm1::Edit_min_1KeyDown);
  connect_guarded(Edit_max_1, &EditBox::key_down, this, &TForm1::Edit_max_1KeyDown);
  connect_guarded(Edit_min_diff, &EditBox::key_down, this, &TForm1::Edit_min_diffKeyDown);
  connect_guarded(Edit_max_diff, &EditBox::key_down, this, &TForm1::Edit_max_diffKeyDown);
  connect_guarded(UpDown1, &UpDown::changing, this, &TForm1::UpDown1Changing);
  connect_guarded(UpDown2, &UpDown::changing, this, &TForm1::UpDown2Changing);
  connect_guarded(UpDown3, &UpDown::changing, this, &TForm1::UpDown3Changing);
  connect_guarded(UpDown4, &UpDown::changing, this, &TForm1::UpDown4Changing);
  connect_guarded(UpDown5, &UpDown::changing, this, &TForm1::UpDown5Changing);
  connect_guarded(UpDown6, &UpDown::changing, this, &TForm1::UpDown6Changing);
  connect_guarded(UpDown1, &UpDown::clicked, this, &TForm1::UpDown1Click);
  connect_guarded(UpDown2, &UpDown::clicked, this, &TForm1::UpDown2Click);
  connect_guarded(UpDown3, &UpDown::clicked, this, &TForm1::UpDown3Click);
  connect_guarded(UpDown4, &UpDown::clicked, this, &TForm1::UpDown4Click);
  connect_guarded(UpDown5, &UpDown::clicked, this, &TForm1::UpDown5Click);
  connect_guarded(UpDown6, &UpDown::clicked, this, &TForm1::UpDown6Click);
  connect_guarded(TrackBarNoise0, &QSlider::valueChanged, this, &TForm1::TrackBarNoise0Change);
  connect_guarded(TrackBarNoise1, &QSlider::valueChanged, this, &TForm1::TrackBarNoise1Change);
  connect_guarded(TrackBarDynamic0, &QSlider::valueChanged, this, &TForm1::TrackBarDynamic0Change);
  connect_guarded(TrackBarDynamic1, &QSlider::valueChanged, this, &TForm1::TrackBarDynamic1Change);
  connect_guarded(Edit_noise_0, &EditBox::exited, this, &TForm1::Edit_noise_0Exit);
  connect_guarded(Edit_noise_1, &EditBox::exited, this, &TForm1::Edit_noise_1Exit);
  connect_guarded(Edit_dyn_0, &EditBox::exited, this, &TForm1::Edit_dyn_0Exit);
  connect_guarded(Edit_dyn_1, &EditBox::exited, this, &TForm1::Edit_dyn_1Exit);
}

// ---- Colour ranges -------------------------------------------------------

void TForm1::Edit_min_0Exit() { commit_colour_range(MapOf::channel_0); }
void TForm1::Edit_max_0Exit() { commit_colour_range(MapOf::channel_0); }
void TForm1::Edit_min_1Exit() { commit_colour_range(MapOf::channel_1); }
void TForm1::Edit_max_1Exit() { commit_colour_range(MapOf::channel_1); }
void TForm1::Edit_min_diffExit() { commit_colour_range(MapOf::difference); }
void TForm1::Edit_max_diffExit() { commit_colour_range(MapOf::difference); }

// Enter commits; every other key goes on to the box as usual.
void TForm1::Edit_min_0KeyDown(int key) {
  if (key == kEnterKey) commit_colour_range(MapOf::channel_0);
}
void TForm1::Edit_max_0KeyDown(int key) {
  if (key == kEnterKey) commit_colour_range(MapOf::channel_0);
}
void TForm1::Edit_min_1KeyDown(int key) {
  if (key == kEnterKey) commit_colour_range(MapOf::channel_1);
}
void TForm1::Edit_max_1KeyDown(int key) {
  if (key == kEnterKey) commit_colour_range(MapOf::channel_1);
}
void TForm1::Edit_min_diffKeyDown(int key) {
  if (key == kEnterKey) commit_colour_range(MapOf::difference);
}
void TForm1::Edit_max_diffKeyDown(int key) {
  if (key == kEnterKey) commit_colour_range(MapOf::difference);
}

// The spinners' positions mean nothing: held at 0 they never reach their
// limits and stay a pair of step buttons.
void TForm1::UpDown1Changing() { UpDown1->set_position(0); }
void TForm1::UpDown2Changing() { UpDown2->set_position(0); }
void TForm1::UpDown3Changing() { UpDown3->set_position(0); }
void TForm1::UpDown4Changing() { UpDown4->set_position(0); }
void TForm1::UpDown5Changing() { UpDown5->set_position(0); }
void TForm1::UpDown6Changing() { UpDown6->set_position(0); }

void TForm1::UpDown1Click(bool up) { step_colour_limit(MapOf::channel_0, Edit_min_0, up); }
void TForm1::UpDown4Click(bool up) { step_colour_limit(MapOf::channel_0, Edit_max_0, up); }
void TForm1::UpDown2Click(bool up) { step_colour_limit(MapOf::channel_1, Edit_min_1, up); }
void TForm1::UpDown3Click(bool up) { step_colour_limit(MapOf::channel_1, Edit_max_1, up); }
void TForm1::UpDown5Click(bool up) { step_colour_limit(MapOf::difference, Edit_min_diff, up); }
void TForm1::UpDown6Click(bool up) { step_colour_limit(MapOf::difference, Edit_max_diff, up); }

void TForm1::commit_colour_range(MapOf which) {
  const MapControls& ui = map_controls(which);
  // A channel's edits adjust the range in force for what its map shows: the
  // height differences, or the evaluation map chosen in its selector.
  ColourRange& range = which == MapOf::difference
                           ? data.difference_range
                           : data.channels[static_cast<int>(which)].controlled_range();

  // A bad min text changes nothing; a bad max text leaves the new lower
  // limit stored and everything else as it was.
  range.min = text_to_double(ui.edit_min->text_utf8()) / kMicronsPerMm;
  range.max = text_to_double(ui.edit_max->text_utf8()) / kMicronsPerMm;
  if (!(range.max >= range.min)) {
    // The lower limit wins; the texts are otherwise left as typed.
    range.max = range.min;
    ui.edit_max->set_text(ui.edit_min->text());
  }
  render_full_map(shown_map(which), ui.image->picture, range.min, range.max);
  ui.image->update();
}

void TForm1::step_colour_limit(MapOf range, EditBox* stepped, bool up) {
  const double v = text_to_double(stepped->text_utf8());
  // Two significant digits: 101 is written as 1E02 and reads back as 100.
  stepped->set_text(step_text(up ? v + 1 : v - 1));
  commit_colour_range(range);
}

// ---- Contrast and noise track bars -----------------------------------------

void TForm1::TrackBarNoise0Change() { store_noise(0); }
void TForm1::TrackBarNoise1Change() { store_noise(1); }
void TForm1::TrackBarDynamic0Change() { store_contrast(0); }
void TForm1::TrackBarDynamic1Change() { store_contrast(1); }

void TForm1::Edit_noise_0Exit() { set_track_bar_from(Edit_noise_0, TrackBarNoise0); }
void TForm1::Edit_noise_1Exit() { set_track_bar_from(Edit_noise_1, TrackBarNoise1); }
void TForm1::Edit_dyn_0Exit() { set_track_bar_from(Edit_dyn_0, TrackBarDynamic0); }
void TForm1::Edit_dyn_1Exit() { set_track_bar_from(Edit_dyn_1, TrackBarDynamic1); }

void TForm1::store_noise(int c) {
  const ChannelControls& ui = channel_controls_[c];
  data.channels[c].sim_params.noise = show_bar_value(ui.noise_bar, ui.noise_box);
}

void TForm1::store_contrast(int c) {
  const ChannelControls& ui = channel_controls_[c];
  data.channels[c].sim_params.dynamic = show_bar_value(ui.contrast_bar, ui.contrast_box);
}

void TForm1::set_track_bar_from(const EditBox* box, QSlider* bar) {
  double v = text_to_double(box->text_utf8());
  if (!(v >= 0.0)) v = 0.0;
  if (v > 1.0) v = 1.0;
  // Truncated toward zero. The bar reports a change, and so rewrites the box
  // and the stored value, only when the position moves: otherwise the box
  // keeps the text as typed.
  bar->setValue(static_cast<int>(std::trunc(v * bar->maximum())));
}
