// What the study window plots, free of the toolkit: one figure of a table
// against its first varied parameter, a line per value of the others, each
// point the mean over the repeats that succeeded with an error bar of one
// standard deviation.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "runs/study_table.h"

struct StudyPlotPoint {
  double x = 0.0;     // the first parameter's value
  double mean = 0.0;  // of the figure over the point's successful repeats
  double sd = 0.0;    // sample standard deviation (0 for one repeat)
  int count = 0;      // successful repeats, at least 1
  int runs = 0;       // all repeats of the point
};

struct StudyPlotLine {
  std::string name;                    // "contrast = 0.5"; the figure's label with one parameter
  std::vector<StudyPlotPoint> points;  // by rising x
};

struct StudyPlot {
  std::string x_title;  // "noise", "period [px]"
  std::string y_title;  // "RMS [µm]"
  std::string figure_label;  // "RMS"
  std::string figure_unit;   // "µm"
  std::vector<StudyPlotLine> lines;  // in order of first appearance in the table
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

// The text shown when the pointer rests on a point:
// "noise = 0.5, contrast = 1: RMS 0.392 ± 0.0121 µm (5 of 5 runs)".
std::string study_point_text(const StudyTable& table, const StudyPlot& plot, std::size_t line,
                             std::size_t point);
