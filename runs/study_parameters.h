// The settings a study varies and how each reaches a run. A run is "apply"
// then "profile" of one channel; StudyRunSettings holds everything those two
// read: the channel's two settings files as lines, the contrast and noise of
// the channel's track bars, the hidden maximum-noise box and the seed.
//
// To vary one more setting, add a row to the table in study_parameters.cpp:
// its name (the --vary name and the CSV column), unit, meaning, domain and a
// function that puts a value into StudyRunSettings (usually one or two
// set_settings_value calls on the scan, image or surface lines). Varying a
// number of the biconic (rx, ry, axis, q) makes the run's surface a biconic;
// one that was the sphere starts as the biconic of the sphere's radius
// (rx = ry = Radius, axis 0, q 0).
#pragma once

#include "runs/measurement.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A run's settings: one measurement's (runs/measurement.h).
using StudyRunSettings = MeasurementSettings;

// The values a parameter takes: min..max, each end included unless marked
// open; `whole` asks for whole numbers.
struct ParameterDomain {
  double min = 0.0;
  double max = 0.0;
  bool min_open = false;
  bool max_open = false;
  bool whole = false;
};

struct StudyParameter {
  const char* name;     // as given to --vary and as the CSV column
  const char* unit;     // "mm", "px", "°"; "" for a plain number
  const char* meaning;  // a short phrase for help texts and axis titles
  ParameterDomain domain;
  void (*apply)(StudyRunSettings& settings, double value);
};

// The table, in the order help texts list it.
std::span<const StudyParameter> study_parameters();

// The row of `name` (exact, lower case); null when there is none.
const StudyParameter* find_study_parameter(std::string_view name);

// "contrast, noise, period, ..." for error messages.
std::string study_parameter_names();

// Empty when `value` lies in the parameter's domain; otherwise why not, as
// "noise=1.5 is outside 0..1" or "passes=2.5 is not a whole number".
std::string domain_violation(const StudyParameter& parameter, double value);

// "period [px]", "contrast": the parameter for an axis title.
std::string parameter_title(const StudyParameter& parameter);
