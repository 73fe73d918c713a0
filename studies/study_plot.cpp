#include "studies/study_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

#include "common/round_trip_number.h"
#include "studies/study_figures.h"

namespace {

constexpr double kRangePadding = 0.05;   // share of the span added at each end
constexpr double kSingleValueRoom = 0.1;  // share of |v| around a single value

std::string short_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

std::string parameter_axis_title(const std::string& name) {
  const StudyParameter* parameter = find_study_parameter(name);
  return parameter != nullptr ? parameter_title(*parameter) : name;
}

// The parameter along x: the first one of numbers, so that a study of
// methods against noise draws one line per method over the noise; the first
// one when every parameter has names.
std::size_t x_parameter_of(const StudyTable& table) {
  for (std::size_t p = 0; p < table.parameters.size(); ++p) {
    const StudyParameter* parameter = find_study_parameter(table.parameters[p]);
    if (parameter == nullptr || parameter->names.empty()) return p;
  }
  return 0;
}

}  // namespace

StudyPlot study_plot(const StudyTable& table, std::size_t figure) {
  StudyPlot plot;
  const int known = figure < table.figures.size() ? find_study_figure(table.figures[figure]) : -1;
  if (known >= 0) {
    const StudyFigure& f = study_figures()[static_cast<std::size_t>(known)];
    plot.y_title = figure_title(f);
    plot.figure_label = f.label;
    plot.figure_unit = f.unit;
  } else if (figure < table.figures.size()) {
    plot.y_title = plot.figure_label = table.figures[figure];
  }
  plot.x_parameter = x_parameter_of(table);
  const std::size_t x = plot.x_parameter;
  if (!table.parameters.empty()) plot.x_title = parameter_axis_title(table.parameters[x]);
  plot.title = plot.figure_label + (plot.x_title.empty() ? "" : " against " + plot.x_title);
  if (figure >= table.figures.size() || table.parameters.empty()) return plot;

  // Lines by the values of the parameters other than x's.
  std::map<std::vector<double>, std::size_t> line_of;
  for (const PointSummary& s : summarise(table)) {
    std::vector<double> rest;
    for (std::size_t p = 0; p < s.values.size(); ++p)
      if (p != x) rest.push_back(s.values[p]);
    const auto [it, added] = line_of.emplace(rest, plot.lines.size());
    if (added) {
      StudyPlotLine& line = plot.lines.emplace_back();
      for (std::size_t p = 0; p < table.parameters.size(); ++p) {
        if (p == x) continue;
        line.name += (line.name.empty() ? "" : ", ") + table.parameters[p] + " = " +
                     parameter_value_text(table.parameters[p], s.values[p]);
      }
      if (line.name.empty()) line.name = plot.figure_label;
    }
    const FigureSummary& f = s.figures[figure];
    if (f.count > 0)
      plot.lines[it->second].points.push_back({s.values[x], f.mean, f.sd, f.count, s.runs});
  }
  double x_lo = std::numeric_limits<double>::infinity(), x_hi = -x_lo, y_lo = x_lo, y_hi = -x_lo;
  for (StudyPlotLine& line : plot.lines) {
    std::stable_sort(line.points.begin(), line.points.end(),
                     [](const StudyPlotPoint& a, const StudyPlotPoint& b) { return a.x < b.x; });
    for (const StudyPlotPoint& p : line.points) {
      x_lo = std::min(x_lo, p.x);
      x_hi = std::max(x_hi, p.x);
      y_lo = std::min(y_lo, p.mean - p.sd);
      y_hi = std::max(y_hi, p.mean + p.sd);
    }
  }
  plot.x_axis = plot_axis(x_lo, x_hi);
  plot.y_axis = plot_axis(y_lo, y_hi);
  return plot;
}

PlotAxis plot_axis(double lo, double hi) {
  PlotAxis axis;
  if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) return axis;
  if (lo == hi) {
    const double room = lo == 0.0 ? 1.0 : std::fabs(lo) * kSingleValueRoom;
    axis.min = lo - room;
    axis.max = hi + room;
  } else {
    const double room = (hi - lo) * kRangePadding;
    axis.min = lo - room;
    axis.max = hi + room;
  }
  axis.tick = plot_tick_step(axis.max - axis.min);
  axis.first_tick = std::ceil(axis.min / axis.tick) * axis.tick;
  return axis;
}

std::size_t nearest_point(const StudyPlotLine& line, double x) {
  std::size_t nearest = 0;
  for (std::size_t k = 1; k < line.points.size(); ++k)
    if (std::fabs(line.points[k].x - x) < std::fabs(line.points[nearest].x - x)) nearest = k;
  return nearest;
}

double plot_tick_step(double span, int ticks) {
  if (!(span > 0.0) || !std::isfinite(span) || ticks < 1) return 1.0;
  const double raw = span / ticks;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / magnitude;
  const double nice = f < 1.5 ? 1.0 : f < 2.25 ? 2.0 : f < 3.5 ? 2.5 : f < 7.5 ? 5.0 : 10.0;
  return nice * magnitude;
}

std::string study_point_text(const StudyTable& table, const StudyPlot& plot, std::size_t line,
                             std::size_t point) {
  if (line >= plot.lines.size() || point >= plot.lines[line].points.size()) return "";
  const StudyPlotLine& l = plot.lines[line];
  const StudyPlotPoint& p = l.points[point];
  const bool named_x = plot.x_parameter < table.parameters.size();
  std::string text = named_x ? table.parameters[plot.x_parameter] + " = " +
                                   parameter_value_text(table.parameters[plot.x_parameter], p.x)
                             : "x = " + round_trip_text(p.x);
  if (table.parameters.size() > 1) text += ", " + l.name;
  text += ": " + plot.figure_label + " " + short_number(p.mean) + " ± " + short_number(p.sd);
  if (!plot.figure_unit.empty()) text += " " + plot.figure_unit;
  return text + " (" + std::to_string(p.count) + " of " + std::to_string(p.runs) + " runs)";
}
