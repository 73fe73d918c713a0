// The main window's data: both channels, the difference map between them and
// the magnifier's values, living as long as the program. Plain C++, so the
// handlers' logic can be tested without a window.
#pragma once

#include <array>

#include "analysis/height_matrix.h"
#include "gui/main_window/channel.h"

// Side of the statistics area on the difference map, mm.
constexpr double diff_stat_size = 0.2;
// Side of the magnifier's window, mm.
constexpr double magnifier_size = 2.5;
// Client size of the magnifier image.
constexpr int kMagnifierSide = 164;

struct WorkbenchData {
  std::array<Channel, 2> channels;

  // Channel 0's shown map minus channel 1's, mm, and its colour range.
  HeightMatrix difference_map;
  ColourRange difference_range{-0.005, 0.005};

  // Scratch cells of the simulation run's grey-level scan.
  HeightMatrix scratch_map;

  // The magnifier's value grid, one value per pixel of its image.
  HeightMatrix magnifier_rows{kMagnifierSide, kMagnifierSide, 0.0};
};
