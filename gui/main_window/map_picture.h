// "save map picture…": a colour map as a picture for a report, with its
// colour bar, the bar's range in microns, a 1 mm scale bar and a caption, as
// PNG (raster) or SVG (vector, the map embedded as a raster image). One
// drawing serves both: QPainter on a QImage or on a QSvgGenerator.
#pragma once

#include <QPainter>
#include <QSize>
#include <string>

#include "render/picture.h"

struct MapPictureContent {
  const Picture& map;     // the map as the window shows it (256 x 256)
  double min_mm = -0.005; // its colour range, mm; the labels show microns
  double max_mm = 0.005;
  int classes = 20;       // colour classes of the map, for the bar
  double field_mm = 10.24;  // width of the map's field
  std::string caption;    // one line above the map
};

// Size of the picture in pixels (SVG user units): the map drawn at twice its
// size, the bar and its labels to its right, the scale bar below.
QSize map_picture_size(const MapPictureContent& content);

// Draws the picture onto a device of map_picture_size(): a white page, the
// caption, the map (each cell a 2 x 2 block, not smoothed), beside it the
// colour bar in the map's classes (max at the top) labelled with the range
// in microns, and below the map a bar of 1 mm at the map's scale.
void paint_map_picture(QPainter& painter, const MapPictureContent& content);

// The whole file's bytes.
std::string map_picture_png(const MapPictureContent& content);
std::string map_picture_svg(const MapPictureContent& content);
