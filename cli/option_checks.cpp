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
