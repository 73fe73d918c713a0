// The domains of the numbers a user gives a run (contrast, noise, maximum
// noise, seed, channel, repeats, jobs, ...), in one place, with messages that
// name the value's option or argument:
//   --max-noise: -3 is outside 0..255
//   --max-noise: 2.5 is not a whole number
//   --noise: "abc" is not a number
// The fringe tool checks its options with them and the Python module its
// arguments, so both refuse the same values with the same words.
#pragma once

#include <limits>
#include <string>

// min..max, both ends included; `whole` asks for a whole number.
struct NumberDomain {
  double min = -std::numeric_limits<double>::max();
  double max = std::numeric_limits<double>::max();
  bool whole = false;
};

// The domains of the options. --seed takes every 32-bit unsigned value;
// --min and --max of render any finite number.
namespace domains {
inline constexpr NumberDomain unit{0.0, 1.0};                  // --contrast, --noise
inline constexpr NumberDomain channel{0.0, 1.0, true};         // --channel
inline constexpr NumberDomain max_noise{0.0, 255.0, true};     // --max-noise, grey levels
inline constexpr NumberDomain passes{0.0, 1024.0, true};       // --passes (kMaxSmoothingPasses)
inline constexpr NumberDomain seed{0.0, 4294967295.0, true};   // --seed
inline constexpr NumberDomain levels{1.0, 256.0, true};        // render --levels
inline constexpr NumberDomain any{};                           // render --min, --max
inline constexpr NumberDomain repeats{1.0, 1'000'000.0, true}; // study --repeats
inline constexpr NumberDomain jobs{1.0, 4096.0, true};         // study --jobs
}  // namespace domains

// Empty when `text` is a number in the domain (blanks around it allowed);
// otherwise why not, without the option's name: "\"abc\" is not a number",
// "2.5 is not a whole number", "-3 is outside 0..255".
std::string domain_problem(const std::string& text, const NumberDomain& domain);

// "0..1", "a whole number 0..255", "a number": the domain in words for the
// help texts.
std::string domain_words(const NumberDomain& domain);

// Whole numbers in digits ("1000000", not "1e+06"), others as the shortest
// text that reads back to them.
std::string plain_number_text(double value);

// Throws std::invalid_argument "<option>: <problem>" unless `text` lies in
// the domain.
void require_in_domain(const std::string& option, const std::string& text, const NumberDomain& domain);
// The same for a value already read as a number.
void require_in_domain(const std::string& option, double value, const NumberDomain& domain);
