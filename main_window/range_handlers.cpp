// TForm1: colour ranges, their step buttons, and the contrast and noise
// track bars. The range edits show microns; the limits are held in mm. A
// track bar's value is its position / 256, kept in the channel's simulation
// record for the next "apply".
#include <cmath>

#include "common/number_text.h"
#include "common/text_to_number.h"
#include "main_window/error_box.h"
#include "main_window/unit1.h"
#include "render/colour_components.h"
#include "render/colour_map.h"

namespace {

// Colour classes of a map re-rendered by its range controls.
constexpr int kRangeClasses = 20;

// Range edits and track bar boxes: 2 significant digits, 2 exponent digits.
QString step_text(double value) { return QString::fromStdString(number_text(value, 2, 2)); }

// Connects a control's signal to a handler that runs guarded.
template <typename Sender, typename Signal, typename... Args>
void wire(TForm1* form, Sender* sender, Signal signal, void (TForm1::*handler)(Args...)) {
  QObject::connect(sender, signal, form, [form, handler](Args... args) {
    guarded([&] { (form->*handler)(args...); });
  });
}

}  // namespace

void TForm1::connect_range_handlers() {
  wire(this, Edit_min_0, &EditBox::exited, &TForm1::Edit_min_0Exit);
  wire(this, Edit_max_0, &EditBox::exited, &TForm1::Edit_max_0Exit);
  wire(this, Edit_min_1, &EditBox::exited, &TForm1::Edit_min_1Exit);
  wire(this, Edit_max_1, &EditBox::exited, &TForm1::Edit_max_1Exit);
  wire(this, Edit_min_diff, &EditBox::exited, &TForm1::Edit_min_diffExit);
  wire(this, Edit_max_diff, &EditBox::exited, &TForm1::Edit_max_diffExit);
  wire(this, Edit_min_0, &EditBox::key_down, &TForm1::Edit_min_0KeyDown);
  wire(this, Edit_max_0, &EditBox::key_down, &TForm1::Edit_max_0KeyDown);
  wire(this, Edit_min_1, &EditBox::key_down, &TForm1::Edit_min_1KeyDown);
  wire(this, Edit_max_1, &EditBox::key_down, &TForm1::Edit_max_1KeyDown);
  wire(this, Edit_min_diff, &EditBox::key_down, &TForm1::Edit_min_diffKeyDown);
  wire(this, Edit_max_diff, &EditBox::key_down, &TForm1::Edit_max_diffKeyDown);
  wire(this, UpDown1, &UpDown::changing, &TForm1::UpDown1Changing);
  wire(this, UpDown2, &UpDown::changing, &TForm1::UpDown2Changing);
  wire(this, UpDown3, &UpDown::changing, &TForm1::UpDown3Changing);
  wire(this, UpDown4, &UpDown::changing, &TForm1::UpDown4Changing);
  wire(this, UpDown5, &UpDown::changing, &TForm1::UpDown5Changing);
  wire(this, UpDown6, &UpDown::changing, &TForm1::UpDown6Changing);
  wire(this, UpDown1, &UpDown::clicked, &TForm1::UpDown1Click);
  wire(this, UpDown2, &UpDown::clicked, &TForm1::UpDown2Click);
  wire(this, UpDown3, &UpDown::clicked, &TForm1::UpDown3Click);
  wire(this, UpDown4, &UpDown::clicked, &TForm1::UpDown4Click);
  wire(this, UpDown5, &UpDown::clicked, &TForm1::UpDown5Click);
  wire(this, UpDown6, &UpDown::clicked, &TForm1::UpDown6Click);
  wire(this, TrackBarNoise0, &QSlider::valueChanged, &TForm1::TrackBarNoise0Change);
  wire(this, TrackBarNoise1, &QSlider::valueChanged, &TForm1::TrackBarNoise1Change);
  wire(this, TrackBarDynamic0, &QSlider::valueChanged, &TForm1::TrackBarDynamic0Change);
  wire(this, TrackBarDynamic1, &QSlider::valueChanged, &TForm1::TrackBarDynamic1Change);
  wire(this, Edit_noise_0, &EditBox::exited, &TForm1::Edit_noise_0Exit);
  wire(this, Edit_noise_1, &EditBox::exited, &TForm1::Edit_noise_1Exit);
  wire(this, Edit_dyn_0, &EditBox::exited, &TForm1::Edit_dyn_0Exit);
  wire(this, Edit_dyn_1, &EditBox::exited, &TForm1::Edit_dyn_1Exit);
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

void TForm1::commit_colour_range(MapOf range) {
  WorkbenchData& d = data;
  struct RangeControls {
    EditBox* min_edit;
    EditBox* max_edit;
    double& lower;  // mm
    double& upper;
    const HeightMatrix& map;
    ImageView* image;
  };
  // A channel's edits adjust the range in force for what its map shows: the
  // height differences, or the evaluation map chosen in its selector.
  const RangeControls ranges[] = {
      {Edit_min_0, Edit_max_0, *d.colour_min_0_ptr, *d.colour_max_0_ptr, *d.shown_map_0, Image_prof_0},
      {Edit_min_1, Edit_max_1, *d.colour_min_1_ptr, *d.colour_max_1_ptr, *d.shown_map_1, Image_prof_1},
      {Edit_min_diff, Edit_max_diff, d.colour_min_diff, d.colour_max_diff, *d.shown_map_diff, Image_diff},
  };
  const RangeControls& r = ranges[static_cast<int>(range)];

  // A bad min text changes nothing; a bad max text leaves the new lower
  // limit stored and everything else as it was.
  r.lower = text_to_double(r.min_edit->text_utf8()) / kMicronsPerMm;
  r.upper = text_to_double(r.max_edit->text_utf8()) / kMicronsPerMm;
  if (!(r.upper >= r.lower)) {
    // The lower limit wins; the texts are otherwise left as typed.
    r.upper = r.lower;
    r.max_edit->set_text(r.min_edit->text());
  }
  render_map(r.map, 0, kMapSide - 1, 0, kMapSide - 1, kRangeClasses, r.image->picture, colour_blue,
             colour_red, colour_green, r.lower, r.upper);
  r.image->update();
}

void TForm1::step_colour_limit(MapOf range, EditBox* stepped, bool up) {
  const double v = text_to_double(stepped->text_utf8());
  // Two significant digits: 101 is written as 1E02 and reads back as 100.
  stepped->set_text(step_text(up ? v + 1 : v - 1));
  commit_colour_range(range);
}

// ---- Contrast and noise track bars -----------------------------------------

void TForm1::TrackBarNoise0Change() {
  store_track_bar_value(TrackBarNoise0, Edit_noise_0, data.sim_params_0.noise);
}
void TForm1::TrackBarNoise1Change() {
  store_track_bar_value(TrackBarNoise1, Edit_noise_1, data.sim_params_1.noise);
}
void TForm1::TrackBarDynamic0Change() {
  store_track_bar_value(TrackBarDynamic0, Edit_dyn_0, data.sim_params_0.dynamic);
}
void TForm1::TrackBarDynamic1Change() {
  store_track_bar_value(TrackBarDynamic1, Edit_dyn_1, data.sim_params_1.dynamic);
}

void TForm1::Edit_noise_0Exit() { set_track_bar_from(Edit_noise_0, TrackBarNoise0); }
void TForm1::Edit_noise_1Exit() { set_track_bar_from(Edit_noise_1, TrackBarNoise1); }
void TForm1::Edit_dyn_0Exit() { set_track_bar_from(Edit_dyn_0, TrackBarDynamic0); }
void TForm1::Edit_dyn_1Exit() { set_track_bar_from(Edit_dyn_1, TrackBarDynamic1); }

void TForm1::store_track_bar_value(const QSlider* bar, EditBox* box, double& field) {
  const double value = static_cast<double>(bar->value()) / bar->maximum();
  field = value;
  box->set_text(step_text(value));
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
