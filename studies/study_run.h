// One run of a study: "apply" followed by "profile" of a channel, exactly as
// the window's buttons and `fringe measure` do them, then the study's figures.
#pragma once

#include <string>
#include <vector>

#include "settings/method_settings.h"

#include "studies/study_parameters.h"

// A study's base run, for every front end: the channel's files as read, the
// method options over its method file (named `method_file` in messages;
// overridden_method_lines), the controls. Throws what
// overridden_method_lines throws.
StudyRunSettings study_base_settings(const ChannelSettings& files, const std::string& method_file,
                                     const MethodOverrides& method, double contrast, double noise,
                                     const std::string& max_noise_text);

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
