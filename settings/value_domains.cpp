#include "settings/value_domains.h"

#include <cmath>
#include <stdexcept>

#include "common/errors.h"
#include "common/round_trip_number.h"
#include "common/text_to_number.h"
#include "scan/image_processing.h"

static_assert(domains::passes.max == kMaxSmoothingPasses, "--passes takes what the smoothing runs");

namespace {

bool unbounded(const NumberDomain& d) {
  return d.min == -std::numeric_limits<double>::max() && d.max == std::numeric_limits<double>::max();
}

std::string range_text(const NumberDomain& d) { return plain_number_text(d.min) + ".." + plain_number_text(d.max); }

std::string value_problem(double value, const std::string& shown, const NumberDomain& d) {
  if (d.whole && value != std::trunc(value)) return shown + " is not a whole number";
  if (!(value >= d.min && value <= d.max)) return shown + " is outside " + range_text(d);
  return "";
}

}  // namespace

std::string plain_number_text(double value) {
  if (value == std::trunc(value) && std::fabs(value) < 1e15) return std::to_string(static_cast<long long>(value));
  return round_trip_text(value);
}

std::string domain_problem(const std::string& text, const NumberDomain& domain) {
  double value = 0.0;
  try {
    value = text_to_double(text);
  } catch (const ConversionError&) {
    return "\"" + text + "\" is not a number";
  }
  return value_problem(value, text, domain);
}

std::string domain_words(const NumberDomain& domain) {
  if (unbounded(domain)) return domain.whole ? "a whole number" : "a number";
  return (domain.whole ? "a whole number " : "") + range_text(domain);
}

void require_in_domain(const std::string& option, const std::string& text, const NumberDomain& domain) {
  if (const std::string problem = domain_problem(text, domain); !problem.empty())
    throw std::invalid_argument(option + ": " + problem);
}

void require_in_domain(const std::string& option, double value, const NumberDomain& domain) {
  if (!std::isfinite(value)) throw std::invalid_argument(option + ": " + round_trip_text(value) + " is not a number");
  if (const std::string problem = value_problem(value, plain_number_text(value), domain); !problem.empty())
    throw std::invalid_argument(option + ": " + problem);
}
