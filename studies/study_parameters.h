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
// (rx = ry = Radius, axis 0, q 0). Varying the first cone (cone_height,
// cone_x, cone_y, cone_width) sets its Cone1 keys on the run's surface,
// the sphere when there was no surface file. The method and its error sources (method,
// steps, gamma, blur, bits, ambient) go into the run's method lines; a run
// without a method file starts from the file's defaults.
//
// A parameter with names (method) takes them instead of numbers: inside a
// plan its value is the index of the name, but everything a user reads or
// writes (--vary, the CSV, the JSON, plot legends) holds the name.
#pragma once

#include "runs/measurement.h"

#include <cstdint>
#include <optional>
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
  // The names of the values 0, 1, ...; empty for a parameter of numbers.
  std::span<const char* const> names = {};
};

// The table, in the order help texts list it.
std::span<const StudyParameter> study_parameters();

// The row of `name` (exact, lower case); null when there is none.
const StudyParameter* find_study_parameter(std::string_view name);

// "contrast, noise, period, ..." for error messages.
std::string study_parameter_names();

// Empty when `value` lies in the parameter's domain; otherwise why not, as
// "noise=1.5 is outside 0..1" or "passes=2.5 is not a whole number"; for a
// parameter with names, "method=3 is not quadrature, phase-shift or fourier".
std::string domain_violation(const StudyParameter& parameter, double value);

// "quadrature, phase-shift or fourier": a parameter's names for messages.
std::string parameter_names_words(const StudyParameter& parameter);

// A value as the user reads it: the name of a parameter with names ("fourier"),
// otherwise the shortest text that reads back to the same double. A value off
// the names is written as a number.
std::string parameter_value_text(const StudyParameter& parameter, double value);
// The same for a column named `name`; a name no parameter has is taken for a
// parameter of numbers.
std::string parameter_value_text(std::string_view name, double value);

// A value from its text as parameter_value_text writes it: the index of the
// name (exact, lower case) for a parameter with names, else the number;
// nullopt when it is neither. The domain is not checked.
std::optional<double> parameter_value(const StudyParameter& parameter, std::string_view text);

// "period [px]", "contrast": the parameter for an axis title.
std::string parameter_title(const StudyParameter& parameter);
