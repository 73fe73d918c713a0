// TForm1: the pointer over the maps and the raw images. Over a map the
// window reads out the value, position and area statistics under the pointer,
// redraws the line scans of all three maps through that pixel and shows a
// 2.5 mm square of the map in the magnifier. Over a raw image the magnifier
// shows the grey levels around the pointer. Heights are held in mm and shown
// in microns.
#include <optional>
#include <string>

#include "analysis/area_statistics.h"
#include "analysis/index_to_mm.h"
#include "common/number_text.h"
#include "common/text_to_number.h"
#include "analysis/pointer_readout.h"
#include "gui/main_window/unit1.h"
#include "render/colour_components.h"
#include "render/colour_map.h"
#include "render/line_scan.h"
#include "render/magnifier.h"
#include "render/marker_bar.h"
#include "gui/widgets/guarded_connect.h"

namespace {

// Value label offsets from the pointer, pixels.
constexpr int kLabelAheadX = 15;
constexpr int kLabelBackX = 40;
constexpr int kLabelOffsetY = 25;

QString text_of(const std::string& text) { return QString::fromStdString(text); }

// A label sizes itself to its text, so longer numbers are not cut off.
void show_text(QLabel* label, const QString& text) {
  if (label->text() == text) return;
  label->setText(text);
  label->adjustSize();
}

double number_in(const EditBox* box) { return text_to_double(box->text_utf8()); }

}  // namespace

void TForm1::connect_pointer_handlers() {
  connect_guarded(Image_prof_0, &ImageView::mouse_moved, this, &TForm1::Image_prof_0MouseMove);
  connect_guarded(Image_prof_1, &ImageView::mouse_moved, this, &TForm1::Image_prof_1MouseMove);
  connect_guarded(Image_diff, &ImageView::mouse_moved, this, &TForm1::Image_diffMouseMove);
  connect_guarded(Image0, &ImageView::mouse_moved, this, &TForm1::Image0MouseMove);
  connect_guarded(Image1, &ImageView::mouse_moved, this, &TForm1::Image1MouseMove);
  connect_guarded(Image2, &ImageView::mouse_moved, this, &TForm1::Image2MouseMove);
}

void TForm1::Image_prof_0MouseMove(int x, int y) { read_out_map(MapOf::channel_0, x, y); }
void TForm1::Image_prof_1MouseMove(int x, int y) { read_out_map(MapOf::channel_1, x, y); }
void TForm1::Image_diffMouseMove(int x, int y) { read_out_map(MapOf::difference, x, y); }
void TForm1::Image0MouseMove(int x, int y) { magnify_raw_image(Image0, x, y); }
void TForm1::Image1MouseMove(int x, int y) { magnify_raw_image(Image1, x, y); }

void TForm1::Image2MouseMove(int, int y) {
  // Image2 stays hidden; the bar is drawn all the same.
  draw_marker_bar(Image2->picture, static_cast<double>(y) / Image2->height());
  Image2->update();
}

const HeightMatrix& TForm1::shown_map(MapOf which) const {
  if (which == MapOf::difference) return data.difference_map;
  return data.channels[static_cast<int>(which)].shown_map();
}

// The pointer's cell and fractions of the map, or nothing when the pointer
// is off the map (a captured pointer dragged past the control's edge keeps
// reporting moves, and there is no cell to read there).
std::optional<TForm1::PointerOnMap> TForm1::pointer_on_map(MapOf which, int x, int y) const {
  const ImageView* image = map_controls(which).image;
  const int w = image->width();
  const int h = image->height();
  const int xi = pointer_cell(x, w);
  const int yi = pointer_cell(y, h);
  if (xi == kOffMap || yi == kOffMap) return std::nullopt;
  return PointerOnMap{x, y, xi, yi, static_cast<double>(x) / w, static_cast<double>(y) / h};
}

void TForm1::read_out_map(MapOf which, int x, int y) {
  if (show_magnifier->isChecked()) Label_magnifier->show();
  const std::optional<PointerOnMap> at = pointer_on_map(which, x, y);
  if (!at) return;
  show_value_and_position(which, *at);
  // A text that is not a number ends the readout here, after the value; too
  // near the edge, statistics, scans and magnifier keep what they show.
  if (!show_area_statistics(which, *at)) return;
  if (show_linescans->isChecked()) draw_line_scans(x, y, at->fx, at->fy);
  if (show_magnifier->isChecked()) magnify_map(which, *at);
}

// The difference map is measured on channel 0's field.
const ProfileGeometry& TForm1::field_of(MapOf which) const {
  return data.channels[which == MapOf::channel_1 ? 1 : 0].profile;
}

void TForm1::show_value_and_position(MapOf which, const PointerOnMap& at) {
  const MapControls& ui = map_controls(which);
  const ProfileGeometry& field = field_of(which);
  const QString value_text = text_of(number_text(shown_map(which)(at.xi, at.yi) * kMicronsPerMm, 2, 3));
  Edit_val->set_text(value_text);
  if (which == MapOf::difference) {
    Edit_x->set_text(text_of(number_text(index_to_mm_x(at.xi, field.field_x), 3, 4)));
    Edit_y->set_text(text_of(number_text(index_to_mm_y(at.yi, field.field_y), 3, 4)));
  } else {
    Edit_x->set_text(text_of(number_text(at.fx * field.field_x, 3, 4)));
    Edit_y->set_text(text_of(number_text(at.fy * field.field_y, 3, 4)));
  }
  if (!show_labels->isChecked()) return;
  QLabel* label = ui.value;
  const int w = ui.image->width();
  const int h = ui.image->height();
  label->move(label_position(at.x, w, ui.image->x(), kLabelAheadX, kLabelBackX, label->x()),
              label_position(at.y, h, ui.image->y(), kLabelOffsetY, kLabelOffsetY, label->y()));
  show_text(label, value_text);
}

bool TForm1::show_area_statistics(MapOf which, const PointerOnMap& at) {
  const bool difference = which == MapOf::difference;
  const ProfileGeometry& field = field_of(which);
  const double side_x = difference ? diff_stat_size : number_in(Edit_stat_x);
  const double side_y = difference ? diff_stat_size : number_in(Edit_stat_y);
  const std::optional<CellArea> area = area_around(at.xi, at.yi, side_x, side_y, field.field_x, field.field_y);
  if (!area) return false;
  // The difference map shows its statistics with full precision.
  const int precision = difference ? 15 : 3;
  const int exponent_digits = difference ? 0 : 2;
  const auto statistic = [&](EditBox* box, double value_mm) {
    box->set_text(text_of(number_text(value_mm * kMicronsPerMm, precision, exponent_digits)));
  };
  const HeightMatrix& map = shown_map(which);
  statistic(Edit_RMS, area_rms(map, area->x0, area->x1, area->y0, area->y1));
  statistic(Edit_PV, area_pv(map, area->x0, area->x1, area->y0, area->y1));
  statistic(Edit_Mean, area_mean(map, area->x0, area->x1, area->y0, area->y1));
  return true;
}

// A 2.5 mm square of the map around the pointer, coloured with the range in
// the map's range edits.
void TForm1::magnify_map(MapOf which, const PointerOnMap& at) {
  const MapControls& ui = map_controls(which);
  const ProfileGeometry& field = field_of(which);
  const std::optional<CellArea> window =
      area_around(at.xi, at.yi, magnifier_size, magnifier_size, field.field_x, field.field_y);
  if (!window) return;
  const double lo = number_in(ui.edit_min) / kMicronsPerMm;
  const double hi = number_in(ui.edit_max) / kMicronsPerMm;
  render_magnifier(shown_map(which), window->x0, window->x1, window->y0, window->y1, kFineColourClasses,
                   Image_Lupe->picture, colour_blue, colour_red, colour_green, lo, hi, data.magnifier_rows);
  Image_Lupe->update();
}

void TForm1::draw_line_scans(int x, int y, double fx, double fy) {
  for (const MapControls& ui : map_controls_)
    for (QLabel* label : {ui.horiz_min, ui.horiz_max, ui.vert_min, ui.vert_max}) label->show();
  // All three maps are scanned through the same pixel, whichever the
  // pointer is over; the labels show the line's extremes in microns.
  for (MapOf which : {MapOf::channel_1, MapOf::channel_0, MapOf::difference}) {
    const MapControls& ui = map_controls(which);
    const HeightMatrix& map = shown_map(which);
    const ScanLabels horizontal =
        draw_horiz_scan(ui.horiz_cross->picture, map, 0, kMapSide - 1, y, fx, kMicronsPerMm);
    const ScanLabels vertical =
        draw_vert_scan(ui.vert_cross->picture, map, 0, kMapSide - 1, x, fy, kMicronsPerMm);
    show_text(ui.horiz_min, text_of(horizontal.min));
    show_text(ui.horiz_max, text_of(horizontal.max));
    show_text(ui.vert_min, text_of(vertical.min));
    show_text(ui.vert_max, text_of(vertical.max));
    ui.horiz_cross->update();
    ui.vert_cross->update();
  }
}

void TForm1::magnify_raw_image(const ImageView* raw, int x, int y) {
  // The caption "2.5 mm x 2.5 mm" belongs to the maps.
  Label_magnifier->hide();
  if (enlarge_raw_pixels(raw->picture, x, y, raw->width(), raw->height(), Image_Lupe->picture))
    Image_Lupe->update();
}
