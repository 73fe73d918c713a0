// A measurement's quality map (methods/measurement_quality.h) as files: the
// quality file of `--quality FILE`, and the channels the height formats that
// carry more than one value a cell (XYZ, PLY) add beside the heights.
#pragma once

#include <string>
#include <vector>

#include "formats/height_field.h"
#include "methods/measurement_quality.h"

// The quality file: CSV, "\n" line ends, the header line
//   col,row,x_mm,y_mm,modulation,fit_residual,state
// then a line per cell inside the evaluation ellipse, row 0 first and left
// to right: the cell's column and row of the profile's grid (row 0 the
// profile's row 0, the top row as the maps show it), its centre in mm from
// the field's centre (x to the right, y up, as the XYZ file places it), the
// modulation (grey levels), the fit residual (in units of the modulation;
// "nan" without modulation) and the state: valid, weak or unreached.
// Numbers are the shortest text that reads back as the same float.
std::string quality_csv_bytes(const QualityMap& map);

// Writes the quality file whole; throws FileError `Cannot create file
// "<file>"` when it cannot be written (an earlier file stays as it was).
void write_quality_file(const QualityMap& map, const std::string& file);

// The channels "modulation" and "fit_residual" of a grid of cols x rows
// cells: the map's own cells when the grid is the map's (a profile), else the
// nearest cell of its centre square (quality_view: the 256 x 256 residual
// map); NaN outside the ellipse.
std::vector<HeightField::Channel> quality_channels(const QualityMap& map, int cols, int rows);
