// The quality options of the fringe tool's measuring subcommands (profile,
// measure, scan, export): --quality FILE writes the quality map
// (formats/quality_file.h), --min-valid F the least valid fraction of the
// mask (runs/quality_check.h); and the quality's line and JSON keys in the
// summaries.
#pragma once

#include <optional>
#include <string>

#include "methods/measurement_quality.h"
#include "runs/quality_check.h"

namespace CLI {
class App;
}

struct QualityOptions {
  std::string file;                 // --quality FILE; empty: none
  std::optional<double> min_valid;  // --min-valid; none: the settings' MinValid
};

void add_quality_options(CLI::App* app, QualityOptions& options);

// The check a run with these options asks for.
QualityCheck quality_check(const QualityOptions& options);

// The line the summaries end with: "quality: 100 % of the mask's 21379
// cells valid, median modulation 97.6 grey levels, median fit residual
// 0.00312" (numbers as summary_number gives them).
std::string quality_line(const QualitySummary& summary);
// The keys the JSON summaries end with: `"valid_fraction": 1,
// "median_modulation": 97.6, "median_fit_residual": 0.00312`, each number the
// shortest text that reads back, null when not finite.
std::string quality_json_keys(const QualitySummary& summary);

// Writes the quality file when --quality asked for one and the run got as
// far as a map, also when it then refused the measurement (the map shows
// why). Throws FileError when it cannot be written.
void write_asked_quality(const QualityOptions& options, const QualityCheck& check);
