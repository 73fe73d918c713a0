#include "gui/surface_window/map_panel.h"

#include <cmath>

#include "analysis/surface_cells.h"
#include "common/number_text.h"
#include "common/text_to_number.h"
#include "render/colour_map.h"
#include "gui/widgets/guarded_connect.h"

namespace {

constexpr int kBarWidth = 16;

QLabel* label(QWidget* parent, const QString& text, int x, int y) {
  auto* l = new QLabel(text, parent);
  l->move(x, y);
  l->adjustSize();
  return l;
}

QString qtext(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

MapPanel::MapPanel(const QString& title, const QString& unit, double scale, double no_value, QWidget* parent)
    : QWidget(parent), unit_(unit), scale_(scale), no_value_(no_value) {
  title_label = label(this, title, 0, 0);
  map_view = new ImageView(this);
  map_view->setGeometry(0, 18, kMapSide, kMapSide);
  bar_view = new ImageView(this);
  bar_view->setGeometry(kMapSide + 6, 18, kBarWidth, kMapSide);
  bar_max_label = label(this, "", kMapSide + 26, 18);
  bar_min_label = label(this, "", kMapSide + 26, 18 + kMapSide - 14);
  note_label = new QLabel(this);
  note_label->setGeometry(8, 18 + kMapSide / 2 - 20, kMapSide - 16, 40);
  note_label->setWordWrap(true);
  note_label->setAlignment(Qt::AlignCenter);
  const int y = 18 + kMapSide + 6;
  label(this, "min", 0, y + 3);
  min_box = new EditBox(this);
  min_box->setGeometry(26, y, 60, 21);
  label(this, "max", 94, y + 3);
  max_box = new EditBox(this);
  max_box->setGeometry(122, y, 60, 21);
  label(this, unit, 188, y + 3);
  fit_button = new QPushButton("fit", this);
  fit_button->setGeometry(kMapSide + 80 - 50, y, 50, 23);
  fit_button->setToolTip("the range of the map's values");
  readout_label = label(this, "", 0, y + 28);
  readout_label->setFixedWidth(kMapSide + 60);
  setFixedSize(kMapSide + 80, y + 48);

  connect_guarded(min_box, &EditBox::exited, this, &MapPanel::commit_range);
  connect_guarded(max_box, &EditBox::exited, this, &MapPanel::commit_range);
  connect_guarded(min_box, &EditBox::returnPressed, this, &MapPanel::commit_range);
  connect_guarded(max_box, &EditBox::returnPressed, this, &MapPanel::commit_range);
  connect_guarded(fit_button, &QPushButton::clicked, this, &MapPanel::fit_range);
  connect_guarded(map_view, &ImageView::mouse_moved, this, &MapPanel::read_out);
}

void MapPanel::show_map(const std::optional<HeightMatrix>& map, double step, const QString& note) {
  map_ = map;
  step_ = step;
  note_label->setText(map_ ? QString() : note);
  note_label->setVisible(!map_);
  readout_label->setText("");
  if (fixed_)
    fix_range(fixed_);
  else
    fit_range();
}

void MapPanel::fix_range(std::optional<MapSpan> span) {
  fixed_ = span;
  if (!span) {
    fit_range();
    return;
  }
  min_ = span->min;
  max_ = span->max;
  min_box->set_text(value_text(min_));
  max_box->set_text(value_text(max_));
  draw();
}

QString MapPanel::value_text(double value) const { return qtext(number_text(value * scale_, 4, 3)); }

void MapPanel::fit_range() {
  // At least a hundredth of a dioptre or a hundredth of a micron; without a
  // map, 0 to 1 in the panel's unit.
  const MapSpan span = map_ ? span_of_values(*map_, 0.01 / scale_, kMapColourClasses, no_value_)
                            : MapSpan{0.0, 1.0 / scale_};
  min_ = span.min;
  max_ = span.max;
  min_box->set_text(value_text(min_));
  max_box->set_text(value_text(max_));
  draw();
}

void MapPanel::commit_range() {
  const double min = text_to_double(min_box->text_utf8()) / scale_;
  double max = text_to_double(max_box->text_utf8()) / scale_;
  if (max < min) {
    max = min;
    max_box->set_text(min_box->text());
  }
  min_ = min;
  max_ = max;
  draw();
}

void MapPanel::draw() {
  if (map_) {
    render_full_map(*map_, map_view->picture, min_, max_);
  } else {
    // Blank: white, as a map without values is drawn.
    render_full_map(HeightMatrix(kMapSide, kMapSide, std::nan("")), map_view->picture, 0.0, 1.0);
  }
  bar_view->picture = Picture(bar_view->width(), bar_view->height());
  draw_class_bar(bar_view->picture, min_, max_, kMapColourClasses);
  bar_max_label->setText(value_text(max_));
  bar_max_label->adjustSize();
  bar_min_label->setText(value_text(min_));
  bar_min_label->adjustSize();
  map_view->update();
  bar_view->update();
}

void MapPanel::read_out(int x, int y) {
  if (!map_ || x < 0 || y < 0 || x >= kMapSide || y >= kMapSide) {
    readout_label->setText("");
    return;
  }
  const double v = (*map_)(x, y);
  const QString value = std::isfinite(v) && v != no_value_ ? value_text(v) + " " + unit_ : QString("no value");
  readout_label->setText(value + QString(" at x %1 mm, y %2 mm")
                                     .arg(qtext(number_text(cell_x_mm(x, step_), 3, 3)))
                                     .arg(qtext(number_text(cell_y_mm(y, step_), 3, 3))));
}
