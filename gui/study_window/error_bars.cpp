#include "gui/study_window/error_bars.h"

#include <QPainter>

namespace {

constexpr double kCapHalfWidth = 4.0;  // pixels
constexpr double kPenWidth = 1.2;

}  // namespace

ErrorBars::ErrorBars(QChart* chart) : QGraphicsItem(chart), chart_(chart) {
  setZValue(10);  // over the lines
}

void ErrorBars::set_lines(std::vector<ErrorBarLine> lines) {
  lines_ = std::move(lines);
  update();
}

void ErrorBars::plot_area_changed() {
  prepareGeometryChange();
  update();
}

QRectF ErrorBars::boundingRect() const { return chart_->plotArea(); }

void ErrorBars::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
  painter->save();
  painter->setClipRect(chart_->plotArea());
  painter->setRenderHint(QPainter::Antialiasing);
  for (const ErrorBarLine& line : lines_) {
    if (line.series == nullptr) continue;
    painter->setPen(QPen(line.colour, kPenWidth));
    for (const ErrorBar& bar : line.bars) {
      if (!(bar.sd > 0.0)) continue;
      const QPointF top = chart_->mapToPosition(QPointF(bar.x, bar.mean + bar.sd), line.series);
      const QPointF bottom = chart_->mapToPosition(QPointF(bar.x, bar.mean - bar.sd), line.series);
      painter->drawLine(top, bottom);
      painter->drawLine(top - QPointF(kCapHalfWidth, 0), top + QPointF(kCapHalfWidth, 0));
      painter->drawLine(bottom - QPointF(kCapHalfWidth, 0), bottom + QPointF(kCapHalfWidth, 0));
    }
  }
  painter->restore();
}
