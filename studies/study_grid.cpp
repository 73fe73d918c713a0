#include "studies/study_grid.h"

#include <cmath>

#include "common/round_trip_number.h"

namespace {

const char* const kValuesForm =
    "give a:b:n (n values from a to b) or a list v1,v2,... of numbers with the point";

[[noreturn]] void fail(std::string_view text, const std::string& why) {
  throw StudyError("--vary \"" + std::string(text) + "\": " + why);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

double number_in(std::string_view given, std::string_view text) {
  const std::optional<double> value = round_trip_number(text);
  if (!value) fail(given, "\"" + std::string(text) + "\" is not a number; " + kValuesForm);
  return *value;
}

std::vector<double> range_values(std::string_view given, const std::vector<std::string_view>& parts) {
  const double a = number_in(given, parts[0]);
  const double b = number_in(given, parts[1]);
  const double n = number_in(given, parts[2]);
  if (!(n >= 1.0) || n != std::trunc(n))
    fail(given, "the count \"" + std::string(parts[2]) + "\" is not a whole number of at least 1");
  if (n > static_cast<double>(kMaxStudyRuns))
    fail(given, "more than " + std::to_string(kMaxStudyRuns) + " values");
  const auto count = static_cast<std::size_t>(n);
  if (count == 1) {
    if (a != b) fail(given, "a:b:1 holds one value, so a and b must be equal");
    return {a};
  }
  std::vector<double> values(count);
  // Each value from the ends, not by adding a step: 0:1:11 gives 0.3, not
  // 0.30000000000000004, and the last value is b exactly.
  for (std::size_t i = 0; i + 1 < count; ++i)
    values[i] = a + (b - a) * static_cast<double>(i) / static_cast<double>(count - 1);
  values[count - 1] = b;
  return values;
}

}  // namespace

StudyAxis parse_study_axis(std::string_view given) {
  const std::size_t equals = given.find('=');
  if (equals == std::string_view::npos)
    fail(given, "expected NAME=VALUES, e.g. noise=0:1:11 or contrast=0.25,0.5,1");
  const std::string_view name = given.substr(0, equals);
  const std::string_view text = given.substr(equals + 1);
  StudyAxis axis;
  axis.parameter = find_study_parameter(name);
  if (axis.parameter == nullptr)
    fail(given, "unknown parameter \"" + std::string(name) + "\"; the parameters are " +
                   study_parameter_names());
  if (text.empty()) fail(given, "no values; " + std::string(kValuesForm));

  const std::vector<std::string_view> range = split(text, ':');
  if (!axis.parameter->names.empty()) {
    // Names, never their indices: a grid of "method=2" would be unreadable.
    const std::vector<std::string_view> items = split(text, ',');
    for (std::string_view item : items) {
      const std::optional<double> value = parameter_value(*axis.parameter, item);
      if (!value)
        fail(given, std::string(name) + "=" + std::string(item) + " is not " +
                        parameter_names_words(*axis.parameter) + "; give a list of names v1,v2,...");
      axis.values.push_back(*value);
    }
  } else if (range.size() == 3) {
    axis.values = range_values(given, range);
  } else if (range.size() != 1) {
    fail(given, "malformed values \"" + std::string(text) + "\"; " + kValuesForm);
  } else {
    const std::vector<std::string_view> items = split(text, ',');
    if (items.size() > kMaxStudyRuns) fail(given, "more than " + std::to_string(kMaxStudyRuns) + " values");
    for (std::string_view item : items) axis.values.push_back(number_in(given, item));
  }

  std::map<double, bool> seen;
  for (double value : axis.values) {
    const std::string why = domain_violation(*axis.parameter, value);
    if (!why.empty()) fail(given, why);
    if (!seen.emplace(value, true).second)
      fail(given, "the value " + parameter_value_text(*axis.parameter, value) + " is given twice");
  }
  return axis;
}

StudyPlan::StudyPlan(StudyRunSettings base, std::vector<StudyAxis> axes, int repeats,
                     uint32_t first_seed)
    : base_(std::move(base)), axes_(std::move(axes)), repeats_(repeats), first_seed_(first_seed) {
  if (axes_.empty()) throw StudyError("a study varies at least one parameter (--vary NAME=VALUES)");
  if (repeats_ < 1) throw StudyError("--repeats must be at least 1");
  const std::size_t limit = kMaxStudyRuns / static_cast<std::size_t>(repeats_);
  if (static_cast<std::size_t>(repeats_) > kMaxStudyRuns)
    throw StudyError("more than " + std::to_string(kMaxStudyRuns) + " runs");
  for (std::size_t a = 0; a < axes_.size(); ++a) {
    const StudyAxis& axis = axes_[a];
    if (axis.parameter == nullptr || axis.values.empty())
      throw StudyError("a varied parameter without values");
    for (std::size_t b = 0; b < a; ++b)
      if (axes_[b].parameter == axis.parameter)
        throw StudyError(std::string(axis.parameter->name) + " is varied twice");
    // points_ * size > limit, without overflowing
    if (axis.values.size() > limit / points_)
      throw StudyError("more than " + std::to_string(kMaxStudyRuns) + " runs (" +
                       std::to_string(repeats_) + " repeats of a grid of more than " +
                       std::to_string(limit) + " points)");
    points_ *= axis.values.size();
    std::map<double, std::size_t>& index = index_of_value_.emplace_back();
    for (std::size_t i = 0; i < axis.values.size(); ++i) index.emplace(axis.values[i], i);
  }
  if (static_cast<uint64_t>(first_seed_) + static_cast<uint64_t>(repeats_) - 1 > UINT32_MAX)
    throw StudyError("the seeds of the repeats (--seed + repeat) would pass 4294967295");
}

std::vector<double> StudyPlan::point_values(std::size_t point) const {
  std::vector<double> values(axes_.size());
  for (std::size_t a = axes_.size(); a-- > 0;) {
    const std::size_t n = axes_[a].values.size();
    values[a] = axes_[a].values[point % n];
    point /= n;
  }
  return values;
}

StudyRunSettings StudyPlan::run_settings(std::size_t run) const {
  StudyRunSettings settings = base_;
  const std::vector<double> values = point_values(point_of(run));
  for (std::size_t a = 0; a < axes_.size(); ++a) axes_[a].parameter->apply(settings, values[a]);
  settings.seed = seed_of(run);
  return settings;
}

std::optional<std::size_t> StudyPlan::run_of(const std::vector<double>& values, int repeat) const {
  if (values.size() != axes_.size() || repeat < 0 || repeat >= repeats_) return std::nullopt;
  std::size_t point = 0;
  for (std::size_t a = 0; a < axes_.size(); ++a) {
    const auto found = index_of_value_[a].find(values[a]);
    if (found == index_of_value_[a].end()) return std::nullopt;
    point = point * axes_[a].values.size() + found->second;
  }
  return point * static_cast<std::size_t>(repeats_) + static_cast<std::size_t>(repeat);
}
