// TForm1: the pointer over the maps and the raw images. Over a map the
// window reads out the value, position and area statistics under the pointer,
// redraws the line scans of all three maps through that pixel and shows a
// 2.5 mm square of the map in the magnifier. Over a raw image the magnifier
// shows the grey levels around the pointer. Heights are held in mm and shown
// in microns.
#include <string>

#include "analysis/area_statistics.h"
#include "analysis/index_to_mm.h"
#include "common/number_text.h"
#include "common/text_to_number.h"
#include "analysis/pointer_readout.h"
#include "main_window/unit1.h"
#include "render/colour_components.h"
#include "render/colour_map.h"
#include "render/line_scan.h"
#include "render/magnifier.h"
#include "render/marker_bar.h"
#include "widgets/guarded_connect.h"

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

void TForm1::read_out_map(MapOf which, int x, int y) {
  const bool difference = which == MapOf::difference;
  const MapControls& ui = map_controls(which);
  const HeightMatrix& map = shown_map(which);
  // The difference map is measured on channel 0's field.
  const ProfileGeometry& field = data.channels[which == MapOf::channel_1 ? 1 : 0].profile;

  if (show_magnifier->isChecked()) Label_magnifier->show();

  const int w = ui.image->width();
  const int h = ui.image->height();
  const double fx = static_cast<double>(x) / w;
  const double fy = static_cast<double>(y) / h;
  const int xi = pointer_cell(x, w);
  const int yi = pointer_cell(y, h);
  // A pointer dragged past the map's edge keeps reporting moves; there is no
  // cell to read there.
  if (xi == kOffMap || yi == kOffMap) return;

  const QString value_text = text_of(number_text(map(xi, yi) * kMicronsPerMm, 2, 3));
  Edit_val->set_text(value_text);
  if (difference) {
    Edit_x->set_text(text_of(number_text(index_to_mm_x(xi, field.field_x), 3, 4)));
    Edit_y->set_text(text_of(number_text(index_to_mm_y(yi, field.field_y), 3, 4)));
  } else {
    Edit_x->set_text(text_of(number_text(fx * field.field_x, 3, 4)));
    Edit_y->set_text(text_of(number_text(fy * field.field_y, 3, 4)));
  }

  if (show_labels->isChecked()) {
    QLabel* value_label = ui.value;
    value_label->move(
        label_position(x, w, ui.image->x(), kLabelAheadX, kLabelBackX, value_label->x()),
        label_position(y, h, ui.image->y(), kLabelOffsetY, kLabelOffsetY, value_label->y()));
    show_text(value_label, value_text);
  }

  // A text that is not a number ends the readout here, after the value.
  const double side_x = difference ? diff_stat_size : number_in(Edit_stat_x);
  const double side_y = difference ? diff_stat_size : number_in(Edit_stat_y);
  const std::optional<CellArea> area = area_around(xi, yi, side_x, side_y, field.field_x, field.field_y);
  if (!area) return;  // too near the edge: statistics, scans and magnifier stay

  const int precision = difference ? 15 : 3;
  const int exponent_digits = difference ? 0 : 2;
  const auto statistic = [&](EditBox* box, double value_mm) {
    box->set_text(text_of(number_text(value_mm * kMicronsPerMm, precision, exponent_digits)));
  };
  statistic(Edit_RMS, area_rms(map, area->x0, area->x1, area->y0, area->y1));
  statistic(Edit_PV, area_pv(map, area->x0, area->x1, area->y0, area->y1));
  statistic(Edit_Mean, area_mean(map, area->x0, area->x1, area->y0, area->y1));

  if (show_linescans->isChecked()) draw_line_scans(x, y, fx, fy);

  if (!show_magnifier->isChecked()) return;
  const std::optional<CellArea> window =
      area_around(xi, yi, magnifier_size, magnifier_size, field.field_x, field.field_y);
  if (!window) return;
  const double lo = number_in(ui.edit_min) / kMicronsPerMm;
  const double hi = number_in(ui.edit_max) / kMicronsPerMm;
  render_magnifier(map, window->x0, window->x1, window->y0, window->y1, kFineColourClasses,
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
