// What the study window plots: lines, points, error bars and hover texts
// from a table; and a table written back is the command's CSV.
#include "studies/study_plot.h"

#include <gtest/gtest.h>

#include <cmath>

#include "settings/channel_settings.h"

namespace {

StudyTable table_of(std::vector<std::string> parameters, std::vector<std::string> figures,
                    std::vector<StudyTableRow> rows) {
  return StudyTable{std::move(parameters), std::move(figures), std::move(rows)};
}

TEST(StudyPlot, ALinePerValueOfTheOtherParametersPointsByRisingX) {
  // x descending in the table, two further parameters.
  const StudyTable table = table_of(
      {"period", "passes", "angle"}, {"rms_um", "pv_um"},
      {{{12, 1, 30}, 0, 1, {1.0, 9}, 1, "ok"},
       {{12, 1, 30}, 1, 2, {3.0, 9}, 1, "ok"},
       {{8, 1, 30}, 0, 1, {5.0, 9}, 1, "ok"},
       {{12, 2, 30}, 0, 1, {7.0, 9}, 1, "ok"},
       {{8, 2, 30}, 0, 1, {0.0, 0}, 1, "Cannot open file \"x\""}});
  const StudyPlot plot = study_plot(table, 0);
  EXPECT_EQ(plot.x_title, "period [px]");
  EXPECT_EQ(plot.y_title, "RMS [µm]");
  ASSERT_EQ(plot.lines.size(), 2u);
  EXPECT_EQ(plot.lines[0].name, "passes = 1, angle = 30");
  EXPECT_EQ(plot.lines[1].name, "passes = 2, angle = 30");
  ASSERT_EQ(plot.lines[0].points.size(), 2u);
  EXPECT_EQ(plot.lines[0].points[0].x, 8.0);
  EXPECT_EQ(plot.lines[0].points[1].x, 12.0);
  EXPECT_EQ(plot.lines[0].points[1].mean, 2.0);
  EXPECT_EQ(plot.lines[0].points[1].sd, std::sqrt(2.0));
  EXPECT_EQ(plot.lines[0].points[1].count, 2);
  ASSERT_EQ(plot.lines[1].points.size(), 1u) << "the failed run's point is left out";
  EXPECT_EQ(study_point_text(table, plot, 0, 1),
            "period = 12, passes = 1, angle = 30: RMS 2 ± 1.41 µm (2 of 2 runs)");
  EXPECT_EQ(study_point_text(table, plot, 1, 1), "") << "no such point";
}

TEST(StudyPlot, OneParameterAndColumnsThisProgramDoesNotKnow) {
  const StudyTable table = table_of({"noise"}, {"coverage", "warp"},
                                    {{{0.5}, 0, 1, {0.98, 3}, 1, "ok"}, {{0}, 0, 1, {1, 4}, 1, "ok"}});
  const StudyPlot coverage = study_plot(table, 0);
  EXPECT_EQ(coverage.y_title, "coverage") << "a share has no unit";
  ASSERT_EQ(coverage.lines.size(), 1u);
  EXPECT_EQ(coverage.lines[0].name, "coverage");
  EXPECT_EQ(study_point_text(table, coverage, 0, 0), "noise = 0: coverage 1 ± 0 (1 of 1 runs)");
  const StudyPlot warp = study_plot(table, 1);
  EXPECT_EQ(warp.y_title, "warp");
  EXPECT_EQ(warp.lines[0].points[1].mean, 3.0);
  EXPECT_TRUE(study_plot(table, 2).lines.empty()) << "no such column";
}

TEST(PlotTickStep, RoundStepsOfAboutFiveIntervals) {
  const struct {
    double span, step;
  } cases[] = {{1.1, 0.2}, {1.0, 0.2}, {37, 5}, {40, 10}, {0.012, 0.0025}, {7, 1}, {1e6, 200000}, {0, 1}, {-3, 1}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(plot_tick_step(c.span), c.step) << c.span;
}

TEST(PlotAxis, RoomAroundTheValuesTicksOnRoundValues) {
  const struct {
    double lo, hi, min, max, tick, first_tick;
  } cases[] = {
      {0, 1, -0.05, 1.05, 0.2, 0.0},          // noise 0..1
      {0.2, 0.3, 0.195, 0.305, 0.02, 0.2},
      {5, 5, 4.5, 5.5, 0.2, 4.6},              // a single value
      {0, 0, -1, 1, 0.5, -1},
      {1, 0, 0, 1, 0.2, 0},                    // no values
  };
  for (const auto& c : cases) {
    const PlotAxis axis = plot_axis(c.lo, c.hi);
    EXPECT_DOUBLE_EQ(axis.min, c.min) << c.lo << ".." << c.hi;
    EXPECT_DOUBLE_EQ(axis.max, c.max) << c.lo << ".." << c.hi;
    EXPECT_DOUBLE_EQ(axis.tick, c.tick) << c.lo << ".." << c.hi;
    EXPECT_NEAR(axis.first_tick, c.first_tick, 1e-12) << c.lo << ".." << c.hi;
  }
  // A plot's y axis holds every error bar.
  const StudyTable table{{"noise"}, {"rms_um"}, {{{0}, 0, 1, {1}, 1, "ok"}, {{0}, 1, 2, {3}, 1, "ok"}}};
  const StudyPlot plot = study_plot(table, 0);
  EXPECT_EQ(plot.title, "RMS against noise");
  EXPECT_LE(plot.y_axis.min, 2 - std::sqrt(2.0));
  EXPECT_GE(plot.y_axis.max, 2 + std::sqrt(2.0));
  EXPECT_EQ(nearest_point(plot.lines[0], 7.0), 0u);
}

TEST(StudyTableCsv, ATableWrittenBackIsTheCommandsCsv) {
  const ChannelSettingsTexts texts;
  StudyRunSettings base;
  base.scan = scan_settings_lines(texts);
  base.image = image_settings_lines(texts);
  const StudyPlan plan(base, {parse_study_axis("contrast=0.25,0.5")}, 2, 1);
  const std::vector<StudyRow> rows{{0, {1.0 / 3, 2, 3, 1, 0}, 17.0004, "ok"},
                                   {2, {}, 9, "Cannot \"x\", y"},
                                   {3, {1e-300, -0.0, 3, 0.5, 7}, 0.1, "ok"}};
  const std::string csv = study_csv(plan, rows);
  EXPECT_EQ(study_table_csv(study_table(plan, rows)), csv);
  EXPECT_EQ(study_table_csv(parse_study_csv(csv, "t.csv")), csv);
}

}  // namespace
