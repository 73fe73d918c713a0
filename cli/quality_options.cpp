#include "cli/quality_options.h"

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/option_checks.h"
#include "common/json_text.h"
#include "formats/quality_file.h"

void add_quality_options(CLI::App* app, QualityOptions& options) {
  app->add_option("--quality", options.file,
                  "write the quality map: a CSV line per cell of the profile inside the evaluation mask "
                  "(modulation, fit residual, valid, weak or unreached), also when the measurement is refused");
  app->add_option("--min-valid", options.min_valid,
                  "least fraction of the evaluation mask's cells with a height, 0..1, else the measurement is "
                  "refused with exit status 4 (default: the channel's MinValid, else 0.25)")
      ->transform(option_domain(domains::unit));
}

QualityCheck quality_check(const QualityOptions& options) {
  QualityCheck check;
  check.min_valid = options.min_valid;
  return check;
}

std::string quality_line(const QualitySummary& s) {
  return "quality: " + summary_number(100.0 * s.valid_fraction) + " % of the mask's " +
         std::to_string(s.mask_cells) + " cells valid, median modulation " + summary_number(s.median_modulation) +
         " grey levels, median fit residual " + summary_number(s.median_fit_residual);
}

std::string quality_json_keys(const QualitySummary& s) {
  return "\"valid_fraction\": " + json_number(s.valid_fraction) + ", \"median_modulation\": " +
         json_number(s.median_modulation) + ", \"median_fit_residual\": " + json_number(s.median_fit_residual);
}

void write_asked_quality(const QualityOptions& options, const QualityCheck& check) {
  if (options.file.empty() || check.map.state.empty()) return;
  write_quality_file(check.map, options.file);
}
