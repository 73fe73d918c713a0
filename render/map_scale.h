// The scale of a colour map whose range follows its values: the range that
// shows every value in colour, and the bar of classes beside the map.
#pragma once

#include "analysis/height_matrix.h"
#include "render/picture.h"

struct MapSpan {
  double min = 0.0;  // in the map's unit
  double max = 0.0;
};

// The lowest finite value of `map` (NaN cells, and cells equal to `skip`,
// left out) and a top that puts the highest into the last coloured class of
// `classes` classes (render_map leaves the slice above it white). A map with
// one value gets a span of `least_span` around it; a map without a value
// gets 0 .. least_span.
MapSpan span_of_values(const HeightMatrix& map, double least_span, int classes, double skip);

// The standard absolute scale of power maps, on which clinics compare one
// map with another: classes of kAbsoluteScaleStep dioptres whatever the
// values, `classes` of them centred on 43.5 D (20 classes: 28.5 .. 58.5 D).
constexpr double kAbsoluteScaleStep = 1.5;
constexpr MapSpan absolute_power_span(int classes) {
  return {43.5 - classes * kAbsoluteScaleStep / 2.0, 43.5 + classes * kAbsoluteScaleStep / 2.0};
}

// Replaces `bar` by a 24-bit picture of the same size that shows the classes
// of min..max as render_map draws them, max in the top row and min in the
// bottom row.
void draw_class_bar(Picture& bar, double min, double max, int classes);
