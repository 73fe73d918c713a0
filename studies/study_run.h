// One run of a study: "apply" followed by "profile" of a channel, exactly as
// the window's buttons and `fringe measure` do them, then the study's figures.
#pragma once

#include <vector>

#include "studies/study_parameters.h"

// Measures `settings` in memory (runs/measurement.h: what "apply" and
// "profile" give through the channel's files, with no file) and returns one
// value per study figure, in the order of study_figures(). Throws what
// measure throws. The second form makes a context of its own.
std::vector<double> measure_study_run(const StudyRunSettings& settings, MeasurementContext& context);
std::vector<double> measure_study_run(const StudyRunSettings& settings);

// Reads every number measure_study_run reads from the settings (the scan
// settings as the engine reads them, image sides, pixel size, period, angle,
// radii, smoothing passes, the surface, the method lines, maximum noise) without running
// anything, so that a settings file with a text that is not a number stops a
// study before its first run instead of failing every run. Throws
// SettingsError naming the file, the key and the text
// (settings/settings_check.h), and ConversionError for a maximum noise that is
// not a whole number.
void check_study_run_settings(const StudyRunSettings& settings);
