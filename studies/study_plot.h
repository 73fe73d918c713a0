// What the study window plots, free of the toolkit: one figure of a table
// against its first varied parameter of numbers (the first parameter when
// all have names, as method has), a line per value of the others, each
// point the mean over the repeats that succeeded with an error bar of one
// standard deviation.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "studies/study_table.h"

struct StudyPlotPoint {
  double x = 0.0;     // the value of the parameter along x (a name's index)
  double mean = 0.0;  // of the figure over the point's successful repeats
  double sd = 0.0;    // sample standard deviation (0 for one repeat)
  int count = 0;      // successful repeats, at least 1
  int runs = 0;       // all repeats of the point
};

struct StudyPlotLine {
  std::string name;                    // "contrast = 0.5", "method = fourier"; the figure's label with one parameter
  std::vector<StudyPlotPoint> points;  // by rising x
};

// An axis: its range leaves room around the values (5 % of their span at
// each end; a single value v gets v +- 10 % of |v|, or +- 1 for 0; no values
// give 0..1) and its ticks fall on round values: first_tick, then every
// tick (plot_tick_step of the range).
struct PlotAxis {
  double min = 0.0;
  double max = 1.0;
  double tick = 0.2;
  double first_tick = 0.0;
};

struct StudyPlot {
  std::string title;    // "RMS against noise"
  std::string x_title;  // "noise", "period [px]"
  std::string y_title;  // "RMS [µm]"
  std::string figure_label;  // "RMS"
  std::string figure_unit;   // "µm"
  std::size_t x_parameter = 0;       // the table's parameter along x
  std::vector<StudyPlotLine> lines;  // in order of first appearance in the table
  PlotAxis x_axis;  // over the points' x
  PlotAxis y_axis;  // over mean - sd .. mean + sd of every point
};

// The plot of figure column `figure` (an index into table.figures). Points
// without a successful repeat are left out; a line without points is kept
// (empty). Figure and parameter names the tables do not know are used as
// their own titles.
StudyPlot study_plot(const StudyTable& table, std::size_t figure);

// A round distance between axis ticks giving about `ticks` intervals over
// `span`: 1, 2, 2.5 or 5 times a power of ten (span 1.1 gives 0.2, 37 gives
// 5). 1 for a span that is not positive and finite.
double plot_tick_step(double span, int ticks = 5);

// The axis over values from lo to hi (lo > hi: no values), as PlotAxis says.
PlotAxis plot_axis(double lo, double hi);

// The point of `line` whose x is nearest to `x` (the first of equals); 0 for
// a line without points.
std::size_t nearest_point(const StudyPlotLine& line, double x);

// The text shown when the pointer rests on a point:
// "noise = 0.5, contrast = 1: RMS 0.392 ± 0.0121 µm (5 of 5 runs)".
std::string study_point_text(const StudyTable& table, const StudyPlot& plot, std::size_t line,
                             std::size_t point);
