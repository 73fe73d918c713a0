// The study window as a user drives it: a study runs off the GUI thread with
// progress and cancel, its plot has a line per value of the second parameter
// with error bars, and table and plot are saved and opened again.
#include "gui/study_window/study_window.h"

#include <gtest/gtest.h>

#include <QChart>
#include <QCoreApplication>
#include <QLineSeries>
#include <QToolTip>
#include <QValueAxis>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "error_recorder.h"
#include "settings/channel_settings.h"
#include "gui/study_window/error_bars.h"
#include "temp_dir.h"

namespace {

class StudyWindowTest : public ::testing::Test {
 protected:
  StudyWindowTest() {
    write_default_settings(".");
    std::filesystem::create_directory("tmp");
    ::setenv("TMPDIR", (dir.path() / "tmp").c_str(), 1);
    window = std::make_unique<StudyWindow>();
    window->ask_save_name = [this](const QString&, const QString&) { return next_name; };
    window->ask_open_name = [this](const QString&, const QString&) { return next_name; };
  }
  ~StudyWindowTest() override {
    window.reset();
    ::unsetenv("TMPDIR");
  }

  void vary(const char* first, const char* first_values, const char* second, const char* second_values,
            int repeats) {
    window->first_parameter->setCurrentText(first);
    window->first_values->setText(first_values);
    window->second_parameter->setCurrentText(second);
    window->second_values->setText(second_values);
    window->repeats_box->setValue(repeats);
    window->jobs_box->setValue(2);
  }
  bool work_folder_empty() const { return std::filesystem::is_empty(dir.path() / "tmp"); }

  TempDir dir;
  ErrorRecorder errors;
  std::unique_ptr<StudyWindow> window;
  std::string next_name;
};

TEST_F(StudyWindowTest, RunsOffTheGuiThreadAndPlotsLinesWithErrorBars) {
  vary("noise", "0,0.5", "contrast", "0.5,1", 2);
  window->run_button->click();
  EXPECT_TRUE(window->running());
  EXPECT_FALSE(window->run_button->isEnabled());
  EXPECT_TRUE(window->cancel_button->isEnabled());
  // The event loop goes on while the runs work: rows arrive one by one.
  std::size_t rows_seen_while_running = 0;
  while (window->running()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (window->running()) rows_seen_while_running = window->table().rows.size();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  window->wait_for_study();
  EXPECT_TRUE(errors.messages.empty()) << errors.messages.front();
  EXPECT_LT(rows_seen_while_running, 8u);
  ASSERT_EQ(window->table().rows.size(), 8u);
  EXPECT_EQ(window->progress_bar->value(), 100);
  EXPECT_TRUE(window->status_label->text().startsWith("8 runs (0 failed) in ")) << window->status_label->text().toStdString();
  EXPECT_TRUE(window->run_button->isEnabled());
  EXPECT_TRUE(work_folder_empty());

  // RMS against noise, one line per contrast, two points each.
  const StudyPlot& plot = window->plot();
  EXPECT_EQ(window->figure_box->currentText().toStdString(), "RMS [µm]");
  EXPECT_EQ(plot.x_title, "noise");
  EXPECT_EQ(plot.y_title, "RMS [µm]");
  ASSERT_EQ(plot.lines.size(), 2u);
  EXPECT_EQ(plot.lines[0].name, "contrast = 0.5");
  EXPECT_EQ(plot.lines[1].name, "contrast = 1");
  const QChart* chart = window->chart_view->chart();
  ASSERT_EQ(chart->series().size(), 2);
  const auto* series = static_cast<const QLineSeries*>(chart->series()[1]);
  EXPECT_EQ(series->name().toStdString(), "contrast = 1");
  ASSERT_EQ(series->count(), 2);
  EXPECT_EQ(series->at(1).x(), 0.5);
  EXPECT_EQ(series->at(1).y(), plot.lines[1].points[1].mean);
  EXPECT_TRUE(chart->legend()->isVisible());
  const auto axes = chart->axes();
  ASSERT_EQ(axes.size(), 2);
  EXPECT_EQ(axes[0]->titleText().toStdString(), "noise");
  EXPECT_EQ(axes[1]->titleText().toStdString(), "RMS [µm]");

  // Noise makes the two repeats of a point differ: an error bar; none without noise.
  const std::vector<ErrorBarLine>& bars = window->error_bars().lines();
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_EQ(bars[1].bars[0].sd, 0.0);
  EXPECT_GT(bars[1].bars[1].sd, 0.0);
  EXPECT_EQ(bars[1].bars[1].sd, plot.lines[1].points[1].sd);
  EXPECT_EQ(bars[1].colour, series->color()) << "in the colour of its line";
  const auto* y = static_cast<const QValueAxis*>(axes[1]);
  const StudyPlotPoint& p = plot.lines[1].points[1];
  EXPECT_LE(y->min(), p.mean - p.sd);
  EXPECT_GE(y->max(), p.mean + p.sd) << "the error bars fit the axis";

  // The pointer on the line near noise 0.45 shows the nearest point, 0.5.
  emit const_cast<QLineSeries*>(series)->hovered(QPointF(0.45, 0.0), true);
  EXPECT_EQ(QToolTip::text().toStdString(), window->hover_text(1, 1));
  const std::string hover = window->hover_text(1, 1);
  EXPECT_TRUE(hover.starts_with("noise = 0.5, contrast = 1: RMS ")) << hover;
  EXPECT_NE(hover.find(" µm (2 of 2 runs)"), std::string::npos) << hover;

  window->figure_box->setCurrentIndex(window->figure_box->findData("pv_um"));
  EXPECT_EQ(window->plot().y_title, "PV [µm]");
  EXPECT_EQ(chart->axes()[1]->titleText().toStdString(), "PV [µm]");
}

TEST_F(StudyWindowTest, SavesTableAndPlotAndOpensTheTableAgain) {
  vary("period", "8,12", "none", "", 1);
  window->run_button->click();
  window->wait_for_study();
  ASSERT_EQ(window->table().rows.size(), 2u);

  next_name = "study.csv";
  window->save_csv_button->click();
  const std::string csv = read_file_bytes("study.csv");
  EXPECT_TRUE(csv.starts_with("period,repeat,seed,pv_um,rms_um,mean_um,coverage,order_errors,"
                              "fit_radius_mm,flat_k_D,steep_k_D,axis_deg,astig_um,conic_q,hoa_rms_um,z40_um,"
                              "central_k_D,i_s_D,srax_deg,kisa_percent,hoa_error_um,z40_error_um,i_s_error_D,"
                              "srax_error_deg,kisa_error_percent,i_s_detected,kisa_detected,ms,status\n"
                              "8,0,1,"))
      << csv;
  next_name = "plot.png";
  window->save_png_button->click();
  EXPECT_TRUE(read_file_bytes("plot.png").starts_with("\x89PNG\r\n"));
  next_name = "plot.svg";
  window->save_svg_button->click();
  const std::string svg = read_file_bytes("plot.svg");
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("period [px]"), std::string::npos) << "the axis title is in the drawing";
  next_name = "";
  window->save_png_button->click();  // cancelled: nothing happens
  EXPECT_TRUE(errors.messages.empty());

  // A table from elsewhere: two parameters, a failed run, a figure column
  // this program does not know.
  write_file_bytes("other.csv",
                   "angle,passes,repeat,seed,rms_um,warp,ms,status\n"
                   "20,1,0,1,2,7,5,ok\n20,1,1,2,4,7,5,ok\n40,1,0,1,3,7,5,ok\n"
                   "20,3,0,1,1,7,5,ok\n40,3,0,1,,,5,\"failed, badly\"\n");
  next_name = "other.csv";
  window->open_clicked();
  EXPECT_EQ(window->table().rows.size(), 5u);
  EXPECT_EQ(window->figure_box->count(), 2);
  EXPECT_EQ(window->figure_box->currentData().toString().toStdString(), "rms_um");
  const StudyPlot& plot = window->plot();
  EXPECT_EQ(plot.x_title, "angle [°]");
  ASSERT_EQ(plot.lines.size(), 2u);
  EXPECT_EQ(plot.lines[0].name, "passes = 1");
  ASSERT_EQ(plot.lines[0].points.size(), 2u);
  EXPECT_EQ(plot.lines[0].points[0].mean, 3.0);
  EXPECT_EQ(plot.lines[0].points[0].sd, std::sqrt(2.0));
  EXPECT_EQ(plot.lines[1].points.size(), 1u) << "the failed run's point has no value";
  // Saved again, it is the same table.
  next_name = "again.csv";
  window->save_csv_button->click();
  EXPECT_EQ(read_file_bytes("again.csv"), read_file_bytes("other.csv"));

  // A file that is not a study table: the error box, the table kept.
  write_file_bytes("bad.csv", "a,b\n1,2\n");
  next_name = "bad.csv";
  window->open_button->click();
  ASSERT_EQ(errors.messages.size(), 1u);
  EXPECT_NE(errors.messages[0].find("not the header of a study table"), std::string::npos);
  EXPECT_EQ(window->table().rows.size(), 5u);
}

TEST_F(StudyWindowTest, CancelStopsTheRunsAndKeepsTheFinishedRows) {
  vary("noise", "0:1:11", "contrast", "0.5,1", 3);
  window->run_button->click();
  while (window->table().rows.empty() && window->running()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  window->cancel_button->click();
  window->wait_for_study();
  const std::size_t kept = window->table().rows.size();
  EXPECT_GE(kept, 1u);
  EXPECT_LT(kept, 66u);
  EXPECT_EQ(window->status_label->text().toStdString(),
            "cancelled after " + std::to_string(kept) + " of 66 runs");
  EXPECT_TRUE(work_folder_empty()) << "the runs leave no file";
  EXPECT_TRUE(window->run_button->isEnabled());

  // Closing the window during a study ends it too, without waiting for it.
  window->run_button->click();
  const auto start = std::chrono::steady_clock::now();
  window.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(work_folder_empty());
}

TEST_F(StudyWindowTest, TheSeedBoxTakesEverySeedTheToolTakes) {
  const struct {
    double typed;
    uint32_t seed;  // of the run, as `fringe study --seed` would take it
  } cases[] = {
      {0, 0},
      {2147483647.0, 2147483647u},
      {2147483648.0, 2147483648u},
      {4294967295.0, 4294967295u},
      {4294967296.0, 4294967295u},  // beyond the domain: the box stops at its end
      {-1.0, 0},
  };
  for (const auto& c : cases) {
    vary("period", "8", "none", "", 1);
    window->seed_box->setValue(c.typed);
    window->run_button->click();
    window->wait_for_study();
    ASSERT_EQ(window->table().rows.size(), 1u) << c.typed;
    EXPECT_EQ(window->table().rows[0].seed, c.seed) << c.typed;
  }
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(StudyWindowTest, BadInputIsShownAndNothingRuns) {
  const struct {
    const char* values;
    const char* contrast;
    const char* message;
  } cases[] = {
      {"0:1", "1", "--vary \"noise=0:1\": malformed values"},
      {"0,2", "1", "noise=2 is outside 0..1"},
      {"0,1", "abc", "'abc' is not a valid floating point value"},
      {"0,1", "1.5", "base contrast=1.5 is outside 0..1"},
  };
  for (const auto& c : cases) {
    errors.messages.clear();
    vary("noise", c.values, "none", "", 1);
    window->contrast_box->setText(c.contrast);
    window->run_button->click();
    EXPECT_FALSE(window->running()) << c.message;
    ASSERT_EQ(errors.messages.size(), 1u) << c.message;
    EXPECT_NE(errors.messages[0].find(c.message), std::string::npos) << errors.messages[0];
  }
  // Without the channel's settings files.
  std::filesystem::remove("scnmod_1.ini");
  errors.messages.clear();
  window->contrast_box->setText("1");
  window->channel_box->setCurrentIndex(1);
  window->run_button->click();
  ASSERT_EQ(errors.messages.size(), 1u);
  EXPECT_EQ(errors.messages[0], "Cannot open file \"./scnmod_1.ini\"");
}

}  // namespace
