#include "gui/surface_window/surface_window.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QValueAxis>
#include <cmath>
#include <filesystem>

#include "analysis/height_matrix.h"
#include "common/errors.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "render/colour_map.h"
#include "settings/surface_settings.h"
#include "gui/surface_window/map_panel.h"
#include "gui/widgets/guarded_connect.h"
#include "gui/widgets/second_window.h"

namespace {

constexpr int kFormWidth = 1400;
constexpr int kFormHeight = 1040;
constexpr int kLeftWidth = 300;

QLabel* label(QWidget* parent, const QString& text, int x, int y) {
  auto* l = new QLabel(text, parent);
  l->move(x, y);
  l->adjustSize();
  return l;
}

// A figure's line: a label wide enough for "caption: value".
QLabel* figure_label(QWidget* parent, int y) {
  auto* l = new QLabel(parent);
  l->setGeometry(10, y, kLeftWidth - 20, 18);
  return l;
}

EditBox* number_box(QWidget* parent, const char* caption, const char* unit, int y) {
  label(parent, caption, 10, y + 3);
  auto* box = new EditBox(parent);
  box->setGeometry(90, y, 70, 21);
  label(parent, unit, 166, y + 3);
  return box;
}

QString fixed(double value, int decimals) { return QString::number(value, 'f', decimals); }

// The shortest text that reads back as the same number ("7.6", "-0.2").
QString box_text(double value) { return QString::number(value, 'g', 15); }

QString not_available(const std::string& why) {
  return "not available: " + QString::fromStdString(why);
}

}  // namespace

SurfaceWindow::SurfaceWindow(std::array<SimParams*, 2> records, QWidget* parent)
    : QWidget(parent, Qt::Window), records_(records) {
  prepare_second_window(*this, "FormSurface", "surface");
  create_controls();
  connect_handlers();
  resize(kFormWidth, kFormHeight);
  show_surface_record();
  show_figures(SurfaceChannel{});
}

void SurfaceWindow::create_controls() {
  QWidget* choices = create_choices();
  choices->setGeometry(8, 8, kLeftWidth, 110);

  sphere_group = new QGroupBox("best-fit sphere", this);
  sphere_group->setGeometry(8, 122, kLeftWidth, 104);
  fit_radius_label = figure_label(sphere_group, 22);
  fit_power_label = figure_label(sphere_group, 42);
  apex_label = figure_label(sphere_group, 62);
  fit_rms_label = figure_label(sphere_group, 82);

  conic_group = new QGroupBox("best-fit conic (apical radii)", this);
  conic_group->setGeometry(8, 232, kLeftWidth, 104);
  conic_flat_label = figure_label(conic_group, 22);
  conic_steep_label = figure_label(conic_group, 42);
  conic_q_label = figure_label(conic_group, 62);
  conic_rms_label = figure_label(conic_group, 82);

  keratometry_group = new QGroupBox("keratometry (central 3 mm)", this);
  keratometry_group->setGeometry(8, 342, kLeftWidth, 84);
  flat_label = figure_label(keratometry_group, 22);
  steep_label = figure_label(keratometry_group, 42);
  axis_label = figure_label(keratometry_group, 62);

  surface_group = new QGroupBox("simulated surface (next \"apply\")", this);
  surface_group->setGeometry(8, 432, kLeftWidth, 232);
  label(surface_group, "model", 10, 25);
  model_box = new QComboBox(surface_group);
  model_box->addItems({"sphere", "biconic"});
  model_box->setGeometry(90, 22, 100, 22);
  surface_fields_ = new QWidget(surface_group);
  surface_fields_->setGeometry(0, 48, kLeftWidth, 104);
  rx_box = number_box(surface_fields_, "Rx", "mm", 0);
  ry_box = number_box(surface_fields_, "Ry", "mm", 26);
  axis_box = number_box(surface_fields_, "axis of Rx", "degrees", 52);
  q_box = number_box(surface_fields_, "conic Q", "", 78);
  // Either model may carry cones: height/x/y/width (microns, mm, mm, mm,
  // the width the Gaussian's sigma), separated by ";".
  label(surface_group, "cones", 10, 155);
  cones_box = new EditBox(surface_group);
  cones_box->setGeometry(90, 152, kLeftWidth - 100, 21);
  cones_box->setToolTip("height/x/y/width per cone (microns, mm, mm, mm; width = Gaussian sigma), "
                        "separated by \";\", e.g. 10/0.5/-1/0.8");
  surface_note = new QLabel(surface_group);
  surface_note->setGeometry(10, 178, kLeftWidth - 20, 20);
  save_surface_button = new QPushButton("save", surface_group);
  save_surface_button->setGeometry(10, 200, 75, 25);

  zernike_table = new QTableWidget(0, 5, this);
  zernike_table->setGeometry(kLeftWidth + 16, 8, 380, 330);
  zernike_table->setHorizontalHeaderLabels({"j", "n", "m", "term", "microns"});
  zernike_table->verticalHeader()->hide();
  zernike_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  zernike_table->setColumnWidth(0, 30);
  zernike_table->setColumnWidth(1, 30);
  zernike_table->setColumnWidth(2, 30);
  zernike_table->setColumnWidth(3, 170);
  zernike_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  zernike_table->horizontalHeader()->setStretchLastSection(true);
  zernike_rms_label = new QLabel(this);
  zernike_rms_label->setGeometry(kLeftWidth + 16, 342, 380, 18);

  auto* chart = new QChart();
  chart->setTitle("Zernike terms without piston, microns");
  chart->legend()->hide();
  chart->setMargins(QMargins(2, 2, 2, 2));
  zernike_chart = new QChartView(chart, this);
  zernike_chart->setGeometry(kLeftWidth + 16, 364, 380, 330);

  aberrations_group = new QGroupBox("corneal aberrations (OSA/ANSI, n = 1.376)", this);
  aberrations_group->setGeometry(kLeftWidth + 16, 700, 380, 150);
  label(aberrations_group, "pupil", 10, 25);
  pupil_box = new EditBox(aberrations_group);
  pupil_box->setGeometry(90, 22, 60, 21);
  pupil_box->set_text(box_text(kDefaultPupilDiameter));
  label(aberrations_group, "mm", 156, 25);
  higher_order_label = figure_label(aberrations_group, 50);
  spherical_label = figure_label(aberrations_group, 70);
  coma_label = figure_label(aberrations_group, 90);
  trefoil_label = figure_label(aberrations_group, 110);
  for (QLabel* l : {higher_order_label, spherical_label, coma_label, trefoil_label}) l->setFixedWidth(360);

  indices_group = new QGroupBox("keratoconus indices (axial map)", this);
  indices_group->setGeometry(kLeftWidth + 16, 856, 380, 130);
  central_k_label = figure_label(indices_group, 22);
  i_s_label = figure_label(indices_group, 42);
  srax_label = figure_label(indices_group, 62);
  kisa_label = figure_label(indices_group, 82);
  for (QLabel* l : {central_k_label, i_s_label, srax_label, kisa_label}) l->setFixedWidth(360);

  const int right = kLeftWidth + 16 + 380 + 12;
  axial_panel = new MapPanel("axial power [D]", "D", 1.0, kNoHeight, this);
  axial_panel->move(right, 8);
  tangential_panel = new MapPanel("tangential power [D]", "D", 1.0, kNoHeight, this);
  tangential_panel->move(right + axial_panel->width() + 12, 8);
  const int row = axial_panel->height() + 12;
  refractive_panel = new MapPanel("refractive power (Snell, n = 1.376) [D]", "D", 1.0, kNoHeight, this);
  refractive_panel->move(right, 8 + row);
  residual_panel = new MapPanel("residual to the best-fit sphere [microns]", "microns", kMicronsPerMm,
                                kNoHeight, this);
  residual_panel->move(right + axial_panel->width() + 12, 8 + row);
  elevation_sphere_panel = new MapPanel("elevation, best-fit sphere [microns]", "microns", 1.0, kNoHeight, this);
  elevation_sphere_panel->move(right, 8 + 2 * row);
  elevation_toric_panel =
      new MapPanel("elevation, best-fit toric ellipsoid [microns]", "microns", 1.0, kNoHeight, this);
  elevation_toric_panel->move(right + axial_panel->width() + 12, 8 + 2 * row);
  absolute_scale_box = new QCheckBox("power maps on the absolute scale (1.5 D steps)", this);
  absolute_scale_box->setGeometry(right, 8 + 3 * row - 4, 2 * axial_panel->width(), 22);
}

QWidget* SurfaceWindow::create_choices() {
  auto* w = new QWidget(this);
  label(w, "channel", 0, 4);
  channel_box = new QComboBox(w);
  channel_box->addItems({"image 1", "image 2"});
  channel_box->setGeometry(100, 0, 90, 22);
  evaluate_button = new QPushButton("evaluate", w);
  evaluate_button->setGeometry(200, 0, 80, 24);
  label(w, "Zernike order", 0, 32);
  order_box = new QSpinBox(w);
  order_box->setRange(0, kMaxZernikeOrder);
  order_box->setValue(kDefaultZernikeOrder);
  order_box->setGeometry(100, 28, 50, 22);
  label(w, "terms of the residual to", 0, 60);
  reference_box = new QComboBox(w);
  reference_box->addItems({"the set sphere", "the best-fit sphere"});
  reference_box->setGeometry(150, 56, 130, 22);
  // Two lines: the count and the mask's radius, then the disc's.
  cells_label = new QLabel(w);
  cells_label->setGeometry(0, 86, kLeftWidth, 24);
  cells_label->setWordWrap(true);
  return w;
}

void SurfaceWindow::connect_handlers() {
  connect_guarded(channel_box, &QComboBox::currentIndexChanged, this, &SurfaceWindow::channel_boxChange);
  connect_guarded(order_box, &QSpinBox::valueChanged, this, &SurfaceWindow::evaluate);
  connect_guarded(reference_box, &QComboBox::currentIndexChanged, this, &SurfaceWindow::evaluate);
  connect_guarded(evaluate_button, &QPushButton::clicked, this, &SurfaceWindow::evaluate);
  connect_guarded(model_box, &QComboBox::currentIndexChanged, this, &SurfaceWindow::model_boxChange);
  connect_guarded(save_surface_button, &QPushButton::clicked, this,
                  &SurfaceWindow::save_surface_buttonClick);
  connect_guarded(absolute_scale_box, &QCheckBox::toggled, this, &SurfaceWindow::absolute_scale_boxClick);
  connect_guarded(pupil_box, &EditBox::returnPressed, this, &SurfaceWindow::evaluate);
  connect_guarded(pupil_box, &EditBox::exited, this, &SurfaceWindow::evaluate);
  for (EditBox* box : {rx_box, ry_box, axis_box, q_box, cones_box})
    connect_guarded(box, &QLineEdit::textChanged, this, &SurfaceWindow::surface_boxChange);
}

void SurfaceWindow::show_channel(int channel) {
  // Choosing another channel evaluates it; the same one is evaluated afresh.
  if (channel_box->currentIndex() != (channel == 1 ? 1 : 0))
    channel_box->setCurrentIndex(channel == 1 ? 1 : 0);
  else
    evaluate();
  show();
  raise();
  activateWindow();
}

void SurfaceWindow::channel_boxChange() {
  show_surface_record();
  evaluate();
}

void SurfaceWindow::evaluate() {
  SurfaceChannel channel = channel_of ? channel_of(this->channel()) : SurfaceChannel{};
  if (!channel.profiled || channel.measured == nullptr || channel.set_sphere == nullptr) {
    show_figures(SurfaceChannel{});
    return;
  }
  show_figures(channel);
}

void SurfaceWindow::show_figures(const SurfaceChannel& channel) {
  if (channel.profiled && channel.measured != nullptr && channel.set_sphere != nullptr) {
    FigureOptions options;
    options.zernike_order = order_box->value();
    options.reference = reference_box->currentIndex() == 1 ? ZernikeReference::best_fit_sphere
                                                           : ZernikeReference::set_sphere;
    options.pupil_diameter = text_to_double(pupil_box->text_utf8());
    const double mask_radius = text_to_double(channel.mask_radius_text);
    figures_ = surface_figures({*channel.measured, *channel.set_sphere, channel.field, mask_radius}, options);
    cells_label->setText(QString::fromStdString(mask_cells_text(figures_.cells, figures_.disc)));
  } else {
    const std::string why = "run \"profile\" for image " + std::to_string(this->channel() + 1) + " first";
    figures_ = SurfaceFigures{};
    figures_.sphere_note = figures_.conic_note = figures_.keratometry_note = figures_.zernike_note =
        figures_.axial_note = figures_.aberrations_note = figures_.indices_note = why;
    cells_label->setText(QString::fromStdString(why));
  }
  show_sphere_and_keratometry();
  show_zernike();
  const double step = channel.field / kMapSide;
  axial_panel->show_map(figures_.axial_power, step, QString::fromStdString(figures_.axial_note));
  tangential_panel->show_map(figures_.tangential_power, step, QString::fromStdString(figures_.axial_note));
  refractive_panel->show_map(figures_.refractive_power, step, QString::fromStdString(figures_.axial_note));
  residual_panel->show_map(figures_.sphere_residual, step, QString::fromStdString(figures_.sphere_note));
  elevation_sphere_panel->show_map(figures_.elevation_to_sphere, step, QString::fromStdString(figures_.sphere_note));
  elevation_toric_panel->show_map(figures_.elevation_to_toric, step, QString::fromStdString(figures_.conic_note));
  show_aberrations_and_indices();
}

void SurfaceWindow::absolute_scale_boxClick() {
  const std::optional<MapSpan> span =
      absolute_scale_box->isChecked() ? std::optional<MapSpan>(absolute_power_span(kMapColourClasses)) : std::nullopt;
  for (MapPanel* panel : {axial_panel, tangential_panel, refractive_panel}) panel->fix_range(span);
}

void SurfaceWindow::show_aberrations_and_indices() {
  if (const auto& a = figures_.aberrations) {
    higher_order_label->setText("higher-order RMS (orders 3 and up): " + fixed(a->higher_order_rms_um, 4) +
                                " microns");
    spherical_label->setText("spherical aberration Z(4, 0): " + fixed(a->spherical_um, 4) + " microns");
    coma_label->setText("coma Z(3, ±1): " + fixed(a->coma_um, 4) + " microns");
    trefoil_label->setText("trefoil Z(3, ±3): " + fixed(a->trefoil_um, 4) + " microns");
  } else {
    higher_order_label->setText(not_available(figures_.aberrations_note));
    for (QLabel* l : {spherical_label, coma_label, trefoil_label}) l->setText("");
  }
  if (const auto& k = figures_.indices) {
    const auto category = [](IndexCategory c, bool srax = false) {
      return QString(" (") + index_category_name(c, srax) + ")";
    };
    central_k_label->setText("central K: " + fixed(k->central_k_D, 2) + " D" + category(k->central_k_category));
    i_s_label->setText("I-S: " + fixed(k->i_s_D, 2) + " D" + category(k->i_s_category));
    srax_label->setText("SRAX: " + fixed(k->srax_deg, 1) + " degrees" + category(k->srax_category, true));
    kisa_label->setText("KISA%: " + fixed(k->kisa_percent, 1) + " (AST " + fixed(k->ast_D, 2) + " D)" +
                        category(k->kisa_category));
  } else {
    central_k_label->setText(not_available(figures_.indices_note));
    for (QLabel* l : {i_s_label, srax_label, kisa_label}) l->setText("");
  }
}

void SurfaceWindow::show_sphere_and_keratometry() {
  if (const auto& s = figures_.sphere) {
    fit_radius_label->setText("radius: " + fixed(s->radius_mm, 4) + " mm");
    fit_power_label->setText("power: " + fixed(s->power_D, 2) + " D");
    apex_label->setText("apex: x " + fixed(s->apex_x_mm, 4) + " mm, y " + fixed(s->apex_y_mm, 4) + " mm");
    fit_rms_label->setText("RMS of the residual: " + fixed(s->rms_um, 3) + " microns");
  } else {
    fit_radius_label->setText(not_available(figures_.sphere_note));
    for (QLabel* l : {fit_power_label, apex_label, fit_rms_label}) l->setText("");
  }
  fit_radius_label->setToolTip(QString::fromStdString(figures_.sphere_note));
  if (const auto& c = figures_.conic) {
    conic_flat_label->setText("flat: " + fixed(c->flat_radius_mm, 4) + " mm" +
                              (c->axis_deg ? ", axis " + fixed(*c->axis_deg, 1) + " degrees" : QString()));
    conic_steep_label->setText("steep: " + fixed(c->steep_radius_mm, 4) + " mm");
    conic_q_label->setText("conic constant Q: " + fixed(c->q, 3));
    conic_rms_label->setText("RMS of the residual: " + fixed(c->rms_um, 3) + " microns");
  } else {
    conic_flat_label->setText(not_available(figures_.conic_note));
    for (QLabel* l : {conic_steep_label, conic_q_label, conic_rms_label}) l->setText("");
  }
  conic_flat_label->setToolTip(QString::fromStdString(figures_.conic_note));
  if (const auto& k = figures_.keratometry) {
    flat_label->setText("flat: " + fixed(k->flat_radius, 3) + " mm, " + fixed(k->flat_power, 2) + " D");
    steep_label->setText("steep: " + fixed(k->steep_radius, 3) + " mm, " + fixed(k->steep_power, 2) + " D");
    axis_label->setText(k->axis_deg ? "axis of the flat meridian: " + fixed(*k->axis_deg, 1) + " degrees"
                                    : QString("axis: not available (no astigmatism)"));
  } else {
    flat_label->setText(not_available(figures_.keratometry_note));
    for (QLabel* l : {steep_label, axis_label}) l->setText("");
  }
  flat_label->setToolTip(QString::fromStdString(figures_.keratometry_note));
}

void SurfaceWindow::show_zernike() {
  QChart* chart = zernike_chart->chart();
  chart->removeAllSeries();
  for (QAbstractAxis* axis : chart->axes()) {
    chart->removeAxis(axis);
    delete axis;
  }
  if (!figures_.zernike) {
    zernike_table->setRowCount(0);
    zernike_rms_label->setText("Zernike terms " + not_available(figures_.zernike_note));
    return;
  }
  const std::vector<double>& c = figures_.zernike->coefficients_um;
  zernike_table->setRowCount(static_cast<int>(c.size()));
  auto* bars = new QBarSet("microns");
  for (int j = 0; j < static_cast<int>(c.size()); ++j) {
    const ZernikeIndex nm = zernike_nm(j);
    const QString cells[] = {QString::number(j), QString::number(nm.n), QString::number(nm.m),
                             QString::fromStdString(zernike_name(j)), fixed(c[j], 4)};
    for (int column = 0; column < 5; ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      if (column != 3) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      zernike_table->setItem(j, column, item);
    }
    // The piston is the height offset, not a shape: its place stays empty.
    *bars << (j == 0 ? 0.0 : c[j]);
  }
  zernike_rms_label->setText("RMS left after the fit: " + fixed(figures_.zernike->rms_um, 4) + " microns");
  auto* series = new QBarSeries();
  series->append(bars);
  chart->addSeries(series);
  // Bar j sits at j; a label every fifth term keeps up to 66 of them legible.
  auto* x_axis = new QValueAxis();
  x_axis->setRange(-0.5, static_cast<double>(c.size()) - 0.5);
  x_axis->setTickType(QValueAxis::TicksDynamic);
  x_axis->setTickAnchor(0.0);
  x_axis->setTickInterval(5.0);
  x_axis->setLabelFormat("%d");
  x_axis->setTitleText("j");
  chart->addAxis(x_axis, Qt::AlignBottom);
  series->attachAxis(x_axis);
  auto* y_axis = new QValueAxis();
  chart->addAxis(y_axis, Qt::AlignLeft);
  series->attachAxis(y_axis);
  y_axis->applyNiceNumbers();
}

void SurfaceWindow::show_surface_record() {
  const SimParams* record = records_[static_cast<std::size_t>(channel())];
  const Surface surface = record != nullptr ? record->surface : Surface{};
  rx_box->set_text(box_text(surface.rx));
  ry_box->set_text(box_text(surface.ry));
  axis_box->set_text(box_text(surface.axis_deg));
  q_box->set_text(box_text(surface.q));
  std::string cones;
  for (const Cone& c : surface.cones) cones += (cones.empty() ? "" : "; ") + cone_text(c);
  cones_box->set_text(QString::fromStdString(cones));
  const int model = surface.model == SurfaceModel::biconic ? 1 : 0;
  if (model_box->currentIndex() != model)
    model_box->setCurrentIndex(model);
  else
    model_boxChange();
}

void SurfaceWindow::model_boxChange() {
  surface_fields_->setEnabled(model_box->currentIndex() == 1);
  just_saved_ = false;
  show_surface_note();
}

void SurfaceWindow::surface_boxChange() {
  just_saved_ = false;
  show_surface_note();
}

void SurfaceWindow::show_surface_note() {
  const SimParams* record = records_[static_cast<std::size_t>(channel())];
  const Surface saved = record != nullptr ? record->surface : Surface{};
  const bool biconic = model_box->currentIndex() == 1;
  // The sphere's numbers are not used, so any text in its boxes is the same
  // sphere; its cones count.
  bool as_saved = false;
  try {
    const Surface boxes = surface_in_boxes();
    as_saved = biconic ? boxes == saved : saved.model == SurfaceModel::sphere && boxes.cones == saved.cones;
  } catch (const ConversionError&) {
  } catch (const std::invalid_argument&) {
  }
  const QString file = QString::fromStdString(std::filesystem::path(surface_file(channel())).filename().string());
  if (!as_saved) {
    surface_note->setText(QString("not saved: \"save\" writes %1").arg(file));
  } else if (just_saved_) {
    surface_note->setText(QString("saved to %1").arg(file));
  } else if (biconic || !saved.cones.empty()) {
    surface_note->setText(QString("as saved in %1").arg(file));
  } else {
    const std::string radius = channel_of ? channel_of(channel()).radius_text : std::string("7.5");
    surface_note->setText(QString("the sphere of the set radius, %1 mm").arg(QString::fromStdString(radius)));
  }
}

Surface SurfaceWindow::surface_in_boxes() const {
  Surface surface;
  surface.model = model_box->currentIndex() == 1 ? SurfaceModel::biconic : SurfaceModel::sphere;
  surface.rx = text_to_double(rx_box->text_utf8());
  surface.ry = text_to_double(ry_box->text_utf8());
  surface.axis_deg = text_to_double(axis_box->text_utf8());
  surface.q = text_to_double(q_box->text_utf8());
  surface.cones = parse_cones_text(cones_box->text_utf8());
  return surface;
}

void SurfaceWindow::save_surface_buttonClick() {
  const Surface surface = surface_in_boxes();
  write_surface_file(surface_file(channel()), surface);
  if (SimParams* record = records_[static_cast<std::size_t>(channel())]) record->surface = surface;
  just_saved_ = true;
  show_surface_note();
  if (surface_saved) surface_saved(channel());
}
