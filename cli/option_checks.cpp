#include "cli/option_checks.h"

#include <CLI/CLI.hpp>

#include "common/text_to_number.h"

CLI::Validator option_domain(const NumberDomain& domain) {
  return CLI::Validator(
      [domain](std::string& text) {
        std::string problem = domain_problem(text, domain);
        // Whole numbers in digits: "1e3" is a thousand, but no integer option reads it.
        if (problem.empty()) text = plain_number_text(text_to_double(text));
        return problem;
      },
      domain_words(domain));
}

void add_method_options(CLI::App* app, MethodOverrides& o, bool errors) {
  app->add_option("--method", o.method,
                  errors ? "fringe-analysis method: quadrature, phase-shift or fourier "
                           "(default: the channel's method.ini / method_1.ini, else quadrature)"
                         : "method of a frame set: phase-shift or fourier (without it the engine's quadrature "
                           "scans one picture)");
  app->add_option("--steps", o.steps,
                  errors ? "phase steps per period of phase-shift, 3..64 (default: the channel's method.ini / "
                           "method_1.ini, else 4)"
                         : "phase steps per period of phase-shift, 3..64 (default 4: a set of 8 frames of one "
                           "period needs --steps 8)");
  app->add_option("--periods", o.periods,
                  "fringe periods in pixels, coarse to fine, e.g. 1280,80,10 (default: the scan settings' LambdaF)");
  if (!errors) return;
  app->add_option("--gamma", o.gamma, "projector gamma, > 0 (1: none)");
  app->add_option("--blur", o.blur, "defocus: Gaussian blur of the noise-free picture, sigma in pixels (0: none)");
  app->add_option("--bits", o.bits, "camera bit depth, 8..16; deeper frames are written as 16-bit PNG");
  app->add_option("--ambient", o.ambient, "constant ambient level, grey levels, 0..254");
}
