// What a study measures in each run: the figure columns of its table. Each
// figure is computed from what the run leaves (StudyRunMaps) in the worker
// that ran it.
//
// To add a figure column, add a row to the table in study_figures.cpp: its
// CSV name (with the unit as suffix, "fit_radius_mm"), a label and unit for
// plot axes, whether it counts whole cells, and a function of StudyRunMaps.
// The CSV header, the JSON summaries, the command's output and the study
// window's figure list follow the table.
#pragma once

#include <span>

#include "analysis/height_matrix.h"
#include "analysis/surface_figures.h"
#include "analysis/mask_statistics.h"
#include "runs/profile_run.h"
#include "runs/true_figures.h"
#include "studies/study_parameters.h"

// One run's results, as the profile comparison leaves them.
struct StudyRunMaps {
  const StudyRunSettings& settings;  // what the run was given (its settings files as lines)
  const HeightMatrix& residual;  // measured minus sphere inside the mask, 0 outside, mm
  const HeightMatrix& measured;  // heights as read back, single gaps filled; kNoHeight: no data
  const HeightMatrix& sphere;    // the perfect sphere subtracted, mm
  const ProfileGeometry& geometry;
  MaskStatistics stats;          // of the residual inside the mask, as `fringe measure`
  double mask_radius = 0.0;      // mm
  double period = 0.0;           // fringe period, px
  double pixel_size = 0.0;       // mm
  double angle = 0.0;            // triangulation angle, degrees
  double radius = 0.0;           // simulated sphere radius, mm
  const SurfaceFigures& surface;  // best-fit sphere, keratometry, Zernike terms (order 6)
  const TrueFigures& truth;       // the same clinical figures of the exact simulated surface
};

struct StudyFigure {
  const char* name;   // CSV column and JSON key: "rms_um"
  const char* label;  // plot: "RMS"
  const char* unit;   // plot axis: "µm"; "" for a share or a count
  bool whole;         // a count of cells
  double (*compute)(const StudyRunMaps& run);
};

// The table, in the order of the CSV columns.
std::span<const StudyFigure> study_figures();

// Index of the figure column `name` in the table; -1 when there is none.
int find_study_figure(std::string_view name);

// "RMS [µm]", "coverage": the figure for an axis title.
std::string figure_title(const StudyFigure& figure);
