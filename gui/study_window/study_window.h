// The study window: a channel's settings as the base, one or two varied
// parameters with their values, repeats and seed; "run" sends the grid
// through the measurement chain on threads off the GUI thread (the
// other windows stay usable), with a progress bar and "cancel". The plot
// shows a chosen figure against the first parameter, one line per value of
// the second, with error bars of one standard deviation; the table is saved
// as CSV (the format of `fringe study`) and opened again, the plot as PNG or
// SVG. The logic lives in runs/ (study.h, study_plot.h); this class reads
// the controls, calls it and shows the results.
#pragma once

#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "studies/study.h"
#include "studies/study_plot.h"

class ErrorBars;

class StudyWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit StudyWindow(QWidget* parent = nullptr);
  // Stops a running study and waits for its runs going to end.
  ~StudyWindow() override;

  // The contrast and noise of a channel's track bars (0..1), to fill the
  // base boxes when the channel is chosen. The main window sets it.
  std::function<std::pair<double, double>(int channel)> channel_inputs;
  // A file name to save to or open; empty when cancelled. Tests replace them
  // instead of showing the dialogs.
  std::function<std::string(const QString& caption, const QString& filter)> ask_save_name;
  std::function<std::string(const QString& caption, const QString& filter)> ask_open_name;

  // ---- Controls ---------------------------------------------------------------
  QComboBox* channel_box;
  QComboBox *first_parameter, *second_parameter;  // the second may be "none"
  QLineEdit *first_values, *second_values;        // "a:b:n" or "v1,v2,..."
  QLineEdit *contrast_box, *noise_box;            // base, 0..1
  QSpinBox *repeats_box, *jobs_box;
  QDoubleSpinBox* seed_box;  // whole numbers, the seed's domain
  QPushButton *run_button, *cancel_button;
  QProgressBar* progress_bar;
  QLabel* status_label;
  QComboBox* figure_box;
  QChartView* chart_view;
  QPushButton *open_button, *save_csv_button, *save_png_button, *save_svg_button;

  // ---- Handlers (run guarded: an error is shown in the error box) -------------
  void run_clicked();
  void cancel_clicked();
  void channel_changed();
  void figure_changed();
  void open_clicked();
  void save_csv_clicked();
  void save_png_clicked();
  void save_svg_clicked();

  bool running() const { return runner_.joinable(); }
  // Processes events until the running study has ended (tests, closing).
  void wait_for_study();
  const StudyTable& table() const { return table_; }
  const StudyPlot& plot() const { return plot_; }
  const ErrorBars& error_bars() const { return *error_bars_; }
  // The text shown on hovering point `point` of line `line`.
  std::string hover_text(std::size_t line, std::size_t point) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void create_controls();
  void connect_handlers();
  // The plan of the controls, with the channel's settings files as the base.
  std::unique_ptr<StudyPlan> plan_of_controls() const;
  // From the runner thread: queued to the GUI thread.
  void row_finished(const StudyRow& row, const StudyProgress& progress);
  void study_ended(const StudyOutcome& outcome, const std::string& error);
  void set_running(bool running);
  void set_table(StudyTable table);
  // The table of the plan's rows so far, in table order.
  void show_rows();
  void fill_figure_box();
  void replot();
  QByteArray plot_png() const;
  QByteArray plot_svg() const;

  std::unique_ptr<StudyPlan> plan_;  // of the study run last; null for an opened table
  std::vector<StudyRow> rows_;       // its rows so far, in the order they finished
  StudyTable table_;
  StudyPlot plot_;
  StudyStop stop_;
  // Rows arriving faster than this are shown together: redrawing the whole
  // plot for each row of a large study would keep the GUI thread busy.
  QTimer show_rows_timer_;
  std::thread runner_;
  ErrorBars* error_bars_ = nullptr;  // owned by the chart
};
