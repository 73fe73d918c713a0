#include "gui/study_window/study_window.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QPainter>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/replace_file.h"
#include "common/text_to_number.h"
#include "settings/channel_settings.h"
#include "settings/value_domains.h"
#include "studies/study_figures.h"
#include "studies/study_run.h"
#include "gui/study_window/error_bars.h"
#include "gui/widgets/error_box.h"
#include "gui/widgets/form_font.h"
#include "gui/widgets/guarded_connect.h"

namespace {

constexpr int kWindowWidth = 1120;
constexpr int kWindowHeight = 660;
constexpr int kFormWidth = 310;
constexpr int kMaxRepeats = 10000;
constexpr int kShowRowsMs = 200;
const char* const kNone = "none";
const char* const kCsvFilter = "CSV table (*.csv);;all files (*)";

// Forwards a study's rows to a function; status and progress travel with them.
class RowObserver final : public StudyObserver {
 public:
  explicit RowObserver(std::function<void(const StudyRow&, const StudyProgress&)> on_row)
      : on_row_(std::move(on_row)) {}
  void status(const std::string&) override {}
  void progress(int) override {}
  void row_finished(const StudyRow& row, const StudyProgress& p) override { on_row_(row, p); }

 private:
  std::function<void(const StudyRow&, const StudyProgress&)> on_row_;
};

std::string ask_with_dialog(QWidget* parent, bool save, const QString& caption, const QString& filter) {
  const QString name = save ? QFileDialog::getSaveFileName(parent, caption, QString(), filter)
                            : QFileDialog::getOpenFileName(parent, caption, QString(), filter);
  return name.toStdString();
}

double base_value(const QLineEdit* box, const char* parameter) {
  const double value = text_to_double(box->text().toStdString());
  const std::string why = domain_violation(*find_study_parameter(parameter), value);
  if (!why.empty()) throw StudyError("base " + why);
  return value;
}

}  // namespace

StudyWindow::StudyWindow(QWidget* parent) : QMainWindow(parent, Qt::Window) {
  setWindowTitle("study");
  use_form_font(*this);
  ask_save_name = [this](const QString& caption, const QString& filter) {
    return ask_with_dialog(this, true, caption, filter);
  };
  ask_open_name = [this](const QString& caption, const QString& filter) {
    return ask_with_dialog(this, false, caption, filter);
  };
  create_controls();
  connect_handlers();
  show_rows_timer_.setSingleShot(true);
  show_rows_timer_.setInterval(kShowRowsMs);
  QObject::connect(&show_rows_timer_, &QTimer::timeout, this, [this] { show_rows(); });
  resize(kWindowWidth, kWindowHeight);
  replot();
}

StudyWindow::~StudyWindow() {
  if (runner_.joinable()) {
    stop_.request();
    runner_.join();
  }
}

void StudyWindow::create_controls() {
  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto* columns = new QHBoxLayout(central);

  // The study: base, varied parameters, repeats and seed, run and cancel.
  auto* settings = new QGroupBox("study", central);
  settings->setFixedWidth(kFormWidth);
  auto* form = new QFormLayout(settings);
  channel_box = new QComboBox(settings);
  channel_box->addItems({"channel 0 (image 1)", "channel 1 (image 2)"});
  form->addRow("base settings", channel_box);
  first_parameter = new QComboBox(settings);
  second_parameter = new QComboBox(settings);
  second_parameter->addItem(kNone);
  for (const StudyParameter& p : study_parameters()) {
    first_parameter->addItem(p.name);
    second_parameter->addItem(p.name);
  }
  first_parameter->setCurrentText("noise");
  second_parameter->setCurrentText("contrast");
  first_values = new QLineEdit("0:1:6", settings);
  second_values = new QLineEdit("0.5,1", settings);
  for (QLineEdit* values : {first_values, second_values})
    values->setToolTip("a:b:n for n values from a to b, or a list v1,v2,...");
  form->addRow("x: vary", first_parameter);
  form->addRow("values", first_values);
  form->addRow("lines: vary", second_parameter);
  form->addRow("values", second_values);
  contrast_box = new QLineEdit("1", settings);
  noise_box = new QLineEdit("0", settings);
  form->addRow("contrast", contrast_box);
  form->addRow("noise", noise_box);
  repeats_box = new QSpinBox(settings);
  repeats_box->setRange(1, kMaxRepeats);
  repeats_box->setValue(3);
  // Every seed the tool takes (0..4294967295), beyond what an int spin box holds.
  seed_box = new QDoubleSpinBox(settings);
  seed_box->setDecimals(0);
  seed_box->setRange(domains::seed.min, domains::seed.max);
  seed_box->setValue(1);
  seed_box->setToolTip("repeat k uses seed + k");
  jobs_box = new QSpinBox(settings);
  jobs_box->setRange(1, 4096);
  jobs_box->setValue(available_cores());
  jobs_box->setToolTip("runs at once, each on a thread of its own");
  form->addRow("repeats", repeats_box);
  form->addRow("first seed", seed_box);
  form->addRow("jobs", jobs_box);
  run_button = new QPushButton("run", settings);
  cancel_button = new QPushButton("cancel", settings);
  cancel_button->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(run_button);
  buttons->addWidget(cancel_button);
  form->addRow(buttons);
  progress_bar = new QProgressBar(settings);
  progress_bar->setRange(0, 100);
  progress_bar->setValue(0);
  form->addRow(progress_bar);
  status_label = new QLabel(" ", settings);
  status_label->setWordWrap(true);
  form->addRow(status_label);
  columns->addWidget(settings);

  // The plot and its files.
  auto* right = new QVBoxLayout;
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel("figure", central));
  figure_box = new QComboBox(central);
  figure_box->setMinimumWidth(160);
  top->addWidget(figure_box);
  top->addStretch();
  right->addLayout(top);
  auto* chart = new QChart;
  chart->legend()->setAlignment(Qt::AlignRight);
  chart_view = new QChartView(chart, central);
  chart_view->setRenderHint(QPainter::Antialiasing);
  error_bars_ = new ErrorBars(chart);
  QObject::connect(chart, &QChart::plotAreaChanged, this, [this] { error_bars_->plot_area_changed(); });
  right->addWidget(chart_view, 1);
  auto* files = new QHBoxLayout;
  open_button = new QPushButton("open table...", central);
  save_csv_button = new QPushButton("save table...", central);
  save_png_button = new QPushButton("save PNG...", central);
  save_svg_button = new QPushButton("save SVG...", central);
  for (QPushButton* b : {open_button, save_csv_button, save_png_button, save_svg_button}) files->addWidget(b);
  files->addStretch();
  right->addLayout(files);
  columns->addLayout(right, 1);

  table_.parameters = {"noise"};
  for (const StudyFigure& f : study_figures()) table_.figures.emplace_back(f.name);
  fill_figure_box();
}

void StudyWindow::connect_handlers() {
  connect_guarded(run_button, &QPushButton::clicked, this, &StudyWindow::run_clicked);
  connect_guarded(cancel_button, &QPushButton::clicked, this, &StudyWindow::cancel_clicked);
  connect_guarded(channel_box, &QComboBox::currentIndexChanged, this, &StudyWindow::channel_changed);
  connect_guarded(figure_box, &QComboBox::currentIndexChanged, this, &StudyWindow::figure_changed);
  connect_guarded(open_button, &QPushButton::clicked, this, &StudyWindow::open_clicked);
  connect_guarded(save_csv_button, &QPushButton::clicked, this, &StudyWindow::save_csv_clicked);
  connect_guarded(save_png_button, &QPushButton::clicked, this, &StudyWindow::save_png_clicked);
  connect_guarded(save_svg_button, &QPushButton::clicked, this, &StudyWindow::save_svg_clicked);
}

std::unique_ptr<StudyPlan> StudyWindow::plan_of_controls() const {
  std::vector<StudyAxis> axes;
  axes.push_back(parse_study_axis(first_parameter->currentText().toStdString() + "=" +
                                  first_values->text().toStdString()));
  if (second_parameter->currentText() != kNone)
    axes.push_back(parse_study_axis(second_parameter->currentText().toStdString() + "=" +
                                    second_values->text().toStdString()));
  const int channel = channel_box->currentIndex() == 1 ? 1 : 0;
  const double contrast = base_value(contrast_box, "contrast");
  const double noise = base_value(noise_box, "noise");
  StudyRunSettings base = study_base_settings(read_channel_settings(channel), method_file(channel), {}, contrast,
                                              noise, MeasurementSettings{}.max_noise_text);
  auto plan = std::make_unique<StudyPlan>(std::move(base), std::move(axes), repeats_box->value(),
                                          static_cast<uint32_t>(seed_box->value()));
  check_study_run_settings(plan->run_settings(0));
  return plan;
}

void StudyWindow::run_clicked() {
  if (running()) return;
  plan_ = plan_of_controls();
  rows_.clear();
  set_table(study_table(*plan_, {}));
  set_running(true);
  status_label->setText(QString::fromStdString(progress_text(StudyClock(plan_->run_count(), 0).at(0))));

  StudyRequest request;  // no files: the rows stay here until saved
  request.threads.jobs = jobs_box->value();
  auto observer = std::make_shared<RowObserver>([this](const StudyRow& row, const StudyProgress& p) {
    QMetaObject::invokeMethod(this, [this, row, p] { row_finished(row, p); }, Qt::QueuedConnection);
  });
  stop_.reset();
  runner_ = std::thread([this, plan = plan_.get(), request, observer] {
    StudyOutcome outcome;
    std::string error;
    try {
      outcome = run_study(*plan, request, *observer, stop_);
    } catch (const std::exception& e) {
      error = e.what();
    }
    outcome.rows.clear();  // the window has them already
    QMetaObject::invokeMethod(this, [this, outcome, error] { study_ended(outcome, error); },
                              Qt::QueuedConnection);
  });
}

void StudyWindow::cancel_clicked() {
  if (running()) stop_.request();
}

void StudyWindow::row_finished(const StudyRow& row, const StudyProgress& p) {
  if (!plan_) return;
  rows_.push_back(row);
  progress_bar->setValue(static_cast<int>(100 * p.done / std::max<std::size_t>(p.total, 1)));
  status_label->setText(QString::fromStdString(progress_text(p)));
  if (!show_rows_timer_.isActive()) show_rows_timer_.start();
}

void StudyWindow::show_rows() {
  if (!plan_) return;
  std::vector<StudyRow> in_order = rows_;
  std::sort(in_order.begin(), in_order.end(), [](const StudyRow& a, const StudyRow& b) { return a.run < b.run; });
  set_table(study_table(*plan_, in_order));
}

void StudyWindow::study_ended(const StudyOutcome& outcome, const std::string& error) {
  if (runner_.joinable()) runner_.join();
  show_rows_timer_.stop();
  show_rows();
  set_running(false);
  std::size_t failed = 0;
  for (const StudyRow& row : rows_) failed += row.status == "ok" ? 0 : 1;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", outcome.seconds);
  const std::string total = plan_ ? std::to_string(plan_->run_count()) : "?";
  std::string text;
  if (!error.empty())
    text = "stopped by an error after " + std::to_string(rows_.size()) + " of " + total + " runs";
  else if (outcome.complete)
    text = std::to_string(rows_.size()) + " runs (" + std::to_string(failed) + " failed) in " + seconds + " s";
  else
    text = "cancelled after " + std::to_string(rows_.size()) + " of " + total + " runs";
  status_label->setText(QString::fromStdString(text));
  if (outcome.complete) progress_bar->setValue(100);
  if (!error.empty()) show_error_box(error);
}

void StudyWindow::set_running(bool running) {
  run_button->setEnabled(!running);
  cancel_button->setEnabled(running);
  open_button->setEnabled(!running);
  for (QWidget* control : std::initializer_list<QWidget*>{
           channel_box, first_parameter, second_parameter, first_values, second_values, contrast_box,
           noise_box, repeats_box, seed_box, jobs_box})
    control->setEnabled(!running);
  if (running) progress_bar->setValue(0);
}

void StudyWindow::wait_for_study() {
  while (running()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  QCoreApplication::processEvents();
}

void StudyWindow::closeEvent(QCloseEvent* event) {
  if (running()) {
    stop_.request();
    wait_for_study();
  }
  event->accept();
}

void StudyWindow::channel_changed() {
  if (!channel_inputs) return;
  const auto [contrast, noise] = channel_inputs(channel_box->currentIndex() == 1 ? 1 : 0);
  contrast_box->setText(QString::number(contrast, 'g', 6));
  noise_box->setText(QString::number(noise, 'g', 6));
}

void StudyWindow::set_table(StudyTable table) {
  const bool same_figures = table.figures == table_.figures;
  table_ = std::move(table);
  if (!same_figures) fill_figure_box();
  replot();
}

void StudyWindow::fill_figure_box() {
  const QString chosen = figure_box->currentIndex() >= 0 ? figure_box->currentData().toString() : "rms_um";
  const QSignalBlocker quiet(figure_box);
  figure_box->clear();
  for (const std::string& name : table_.figures) {
    const int known = find_study_figure(name);
    const std::string label = known >= 0 ? figure_title(study_figures()[static_cast<std::size_t>(known)]) : name;
    figure_box->addItem(QString::fromStdString(label), QString::fromStdString(name));
  }
  const int index = figure_box->findData(chosen);
  figure_box->setCurrentIndex(index >= 0 ? index : 0);
}

void StudyWindow::figure_changed() { replot(); }

namespace {

QValueAxis* value_axis(const std::string& title, const PlotAxis& range) {
  auto* axis = new QValueAxis;
  axis->setTitleText(QString::fromStdString(title));
  axis->setLabelFormat("%.4g");
  axis->setRange(range.min, range.max);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickInterval(range.tick);
  axis->setTickAnchor(range.first_tick);
  return axis;
}

}  // namespace

void StudyWindow::replot() {
  plot_ = study_plot(table_, static_cast<std::size_t>(std::max(0, figure_box->currentIndex())));
  QChart* chart = chart_view->chart();
  chart->removeAllSeries();
  for (QAbstractAxis* axis : chart->axes()) {
    chart->removeAxis(axis);
    delete axis;
  }
  QValueAxis* x_axis = value_axis(plot_.x_title, plot_.x_axis);
  QValueAxis* y_axis = value_axis(plot_.y_title, plot_.y_axis);
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);
  chart->setTitle(QString::fromStdString(plot_.title));
  chart->legend()->setVisible(!plot_.lines.empty());

  std::vector<ErrorBarLine> bars;
  for (std::size_t i = 0; i < plot_.lines.size(); ++i) {
    auto* series = new QLineSeries;
    series->setName(QString::fromStdString(plot_.lines[i].name));
    series->setPointsVisible(true);
    for (const StudyPlotPoint& p : plot_.lines[i].points) series->append(p.x, p.mean);
    chart->addSeries(series);
    series->attachAxis(x_axis);
    series->attachAxis(y_axis);
    ErrorBarLine& bar_line = bars.emplace_back();
    bar_line.series = series;
    bar_line.colour = series->color();
    for (const StudyPlotPoint& p : plot_.lines[i].points) bar_line.bars.push_back({p.x, p.mean, p.sd});
    QObject::connect(series, &QLineSeries::hovered, this, [this, i](const QPointF& at, bool entered) {
      if (!entered || i >= plot_.lines.size() || plot_.lines[i].points.empty()) {
        QToolTip::hideText();
        return;
      }
      const std::size_t point = nearest_point(plot_.lines[i], at.x());
      QToolTip::showText(QCursor::pos(), QString::fromStdString(hover_text(i, point)), chart_view);
    });
  }
  error_bars_->set_lines(std::move(bars));
  error_bars_->plot_area_changed();
}

std::string StudyWindow::hover_text(std::size_t line, std::size_t point) const {
  return study_point_text(table_, plot_, line, point);
}

void StudyWindow::open_clicked() {
  const std::string name = ask_open_name("open a study table", kCsvFilter);
  if (name.empty()) return;
  StudyTable table = read_study_csv(name);
  plan_.reset();
  rows_.clear();
  set_table(std::move(table));
  progress_bar->setValue(0);
  status_label->setText(QString::fromStdString(std::to_string(table_.rows.size()) + " runs from " + name));
}

void StudyWindow::save_csv_clicked() {
  const std::string name = ask_save_name("save the study table", kCsvFilter);
  if (name.empty()) return;
  replace_file(name, study_table_csv(table_));
}

QByteArray StudyWindow::plot_png() const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  chart_view->grab().save(&buffer, "PNG");
  return bytes;
}

QByteArray StudyWindow::plot_svg() const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(chart_view->size());
  svg.setViewBox(QRect(QPoint(0, 0), chart_view->size()));
  svg.setTitle(QString::fromStdString(plot_.title));
  QPainter painter(&svg);
  chart_view->render(&painter);
  painter.end();
  return bytes;
}

void StudyWindow::save_png_clicked() {
  const std::string name = ask_save_name("save the plot as PNG", "PNG picture (*.png)");
  if (name.empty()) return;
  const QByteArray bytes = plot_png();
  replace_file(name, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void StudyWindow::save_svg_clicked() {
  const std::string name = ask_save_name("save the plot as SVG", "SVG drawing (*.svg)");
  if (name.empty()) return;
  const QByteArray bytes = plot_svg();
  replace_file(name, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}
