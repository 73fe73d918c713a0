// One colour map of the surface window with its own bar of classes, its
// range boxes (min and max, in the unit the panel shows) and a readout of the
// value under the pointer.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <optional>

#include "analysis/height_matrix.h"
#include "render/map_scale.h"
#include "gui/widgets/edit_box.h"
#include "gui/widgets/image_view.h"

class MapPanel : public QWidget {
  Q_OBJECT

 public:
  // `title` above the map, `unit` of the boxes and the readout ("D",
  // "microns"); the map's values times `scale` are shown (1000 for a map in
  // mm shown in microns). Cells equal to `no_value`, and NaN cells, read as
  // "no value" and are drawn white.
  MapPanel(const QString& title, const QString& unit, double scale, double no_value, QWidget* parent);

  // Shows `map` (256 x 256, x from the left, y from the top) with a range
  // fitted to its values; without a map the panel is blank and says `note`.
  // `step` is the cell size in mm for the readout's position.
  void show_map(const std::optional<HeightMatrix>& map, double step, const QString& note);

  // Reads both range boxes (values in the panel's unit) and redraws; a max
  // below the min is raised to the min. Throws ConversionError for a box
  // that does not hold a number.
  void commit_range();
  // The range that fits the values, put in the boxes and drawn.
  void fit_range();
  // A fixed range (in the map's own unit), put in the boxes and drawn; the
  // panel keeps it for the maps shown after, until unset (none: the range
  // fits each map again, and this one now).
  void fix_range(std::optional<MapSpan> span);
  // The readout for a pointer at pixel (x, y) of the map.
  void read_out(int x, int y);

  ImageView* map_view;
  ImageView* bar_view;
  QLabel *title_label, *bar_max_label, *bar_min_label, *readout_label, *note_label;
  EditBox *min_box, *max_box;
  QPushButton* fit_button;

 private:
  void draw();
  QString value_text(double value) const;

  QString unit_;
  double scale_;
  double no_value_;
  double step_ = 0.04;
  std::optional<HeightMatrix> map_;
  double min_ = 0.0, max_ = 1.0;  // in the map's own unit
  std::optional<MapSpan> fixed_;  // the range every map is shown with
};
