// TForm1: the quality maps of a channel's last "profile" in its map image,
// chosen in the map's pop-up menu ("click right mouse button for further
// maps"): the modulation, the fit residual and the cells with a height. The
// maps, ranges and the difference map stay as they are, as with the binary
// view; the selector's "height differences" shows the heights again.
#include <QMenu>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <limits>
#include <vector>


#include "gui/main_window/unit1.h"
#include "gui/widgets/guarded_connect.h"
#include "render/colour_classes.h"
#include "render/colour_map.h"

namespace {

const char* const kCaptions[] = {"modulation", "fit residual", "reached cells"};
constexpr QualityView kViews[] = {QualityView::modulation, QualityView::fit_residual, QualityView::reached};

// The colour range of each map: the modulation up to the strongest cell's,
// the fit residual up to the 95th percentile of the cells' (a fixed range
// would leave phase shifting's 0.002 and the quadrature's 0.13 in one
// colour), each widened by the topmost slice, which the classes leave white,
// so that the top value has a colour; the cells without (0) and with (1) a
// height in the two halves.
std::string three_digits(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

struct QualityRange {
  double min, max;
  const char* unit;
};
QualityRange range_of(const QualityMap& map, QualityView view) {
  const auto widened = [](double top) {
    return top > 0.0 ? top * 255.0 / level_thresholds(kMapColourClasses).back() : 1.0;
  };
  switch (view) {
    case QualityView::modulation:
      return {0.0, widened(map.strongest), " grey levels"};
    case QualityView::fit_residual: {
      std::vector<float> residuals;
      for (const uint32_t cell : map.inside)
        if (std::isfinite(map.fit_residual[cell])) residuals.push_back(map.fit_residual[cell]);
      if (residuals.empty()) return {0.0, 1.0, " of the modulation"};
      const auto at = residuals.begin() + static_cast<std::ptrdiff_t>(residuals.size() * 95 / 100);
      std::nth_element(residuals.begin(), at, residuals.end());
      return {0.0, widened(*at), " of the modulation"};
    }
    case QualityView::reached:
      break;
  }
  return {-0.5, 1.5, ""};
}

}  // namespace

void TForm1::create_quality_menus() {
  for (int c = 0; c < 2; ++c) {
    QMenu* menu = c == 0 ? PopupMenu_container_0 : PopupMenu_container_1;
    menu->addSeparator();
    for (std::size_t k = 0; k < quality_maps[c].size(); ++k) quality_maps[c][k] = menu->addAction(kCaptions[k]);
  }
}

void TForm1::connect_quality_menus() {
  for (int c = 0; c < 2; ++c)
    for (std::size_t k = 0; k < quality_maps[c].size(); ++k)
      connect(quality_maps[c][k], &QAction::triggered, this,
              [this, c, view = kViews[k]] { guarded([&] { quality_mapClick(c, view); }); });
}

void TForm1::quality_mapClick(int c, QualityView view) {
  const QualityMap& quality = data.channels[c].quality;
  if (quality.state.empty()) {
    show_status(channel_name(c) + ": no quality map before a \"profile\"");
    return;
  }
  std::vector<double> values;
  quality_view(quality, view, kMapSide, kMapSide, std::numeric_limits<double>::quiet_NaN(), values);
  HeightMatrix map(kMapSide, kMapSide);
  for (int y = 0; y < kMapSide; ++y)
    for (int x = 0; x < kMapSide; ++x) map(x, y) = values[static_cast<std::size_t>(y) * kMapSide + x];
  const QualityRange range = range_of(quality, view);
  const MapControls& ui = map_controls_[c];
  render_full_map(map, ui.image->picture, range.min, range.max,
                  view == QualityView::reached ? 2 : kMapColourClasses);
  ui.image->update();
  const std::size_t k = static_cast<std::size_t>(view);
  show_status(channel_name(c) + ": " + kCaptions[k] +
              (view == QualityView::reached ? std::string(", white: outside the mask")
                                            : ", " + three_digits(range.min) + " .. " + three_digits(range.max) +
                                                  range.unit));
}
