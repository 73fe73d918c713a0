// Error bars over the lines of a chart: for each point a vertical bar from
// mean - sd to mean + sd with short caps, in the colour of its line, drawn in
// the chart's plot area. The charts module has no error bars of its own; this
// item maps the values through the chart, so it follows resizing and axis
// changes and is part of every picture rendered from the chart's scene.
#pragma once

#include <QAbstractSeries>
#include <QChart>
#include <QColor>
#include <QGraphicsItem>
#include <vector>

struct ErrorBar {
  double x = 0.0;
  double mean = 0.0;
  double sd = 0.0;  // the bar spans mean - sd .. mean + sd; none for 0
};

struct ErrorBarLine {
  QAbstractSeries* series = nullptr;  // whose axes map the values
  QColor colour;
  std::vector<ErrorBar> bars;
};

class ErrorBars : public QGraphicsItem {
 public:
  explicit ErrorBars(QChart* chart);

  void set_lines(std::vector<ErrorBarLine> lines);
  const std::vector<ErrorBarLine>& lines() const { return lines_; }
  // The chart's plot area moved or was resized.
  void plot_area_changed();

  QRectF boundingRect() const override;
  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

 private:
  QChart* chart_;
  std::vector<ErrorBarLine> lines_;
};
