// The grid of a study: its varied parameters with their values, the repeats
// and the seeds, and the order of its runs.
//
// Runs are numbered in table order: grid point after grid point (the last
// varied parameter fastest), and within a point repeat 0, 1, ... Repeat k of
// every point uses the seed first_seed + k, so the points of one repeat share
// their noise and differ only by their settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "studies/study_parameters.h"

// Input a study cannot start from: a malformed --vary text, a value outside
// its parameter's domain, too many runs, a table of another study.
struct StudyError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// At most this many runs in one study.
constexpr std::size_t kMaxStudyRuns = 1'000'000;

struct StudyAxis {
  const StudyParameter* parameter = nullptr;
  std::vector<double> values;  // in the order given, no value twice
};

// Reads one varied parameter: "name=a:b:n", n values evenly spaced from a to
// b inclusive (n = 1 needs a = b), or "name=v1,v2,...", or a single value.
// Numbers in plain or scientific notation with the point; a parameter with
// names takes a list of names ("method=quadrature,fourier"). Checks every value
// against the parameter's domain. Throws StudyError naming the text, e.g.
// `--vary "nois=0:1:5": unknown parameter "nois"; the parameters are ...`.
StudyAxis parse_study_axis(std::string_view text);

class StudyPlan {
 public:
  // Throws StudyError for no axis, a parameter varied twice, repeats below 1,
  // more than kMaxStudyRuns runs, or seeds beyond 2^32 - 1.
  StudyPlan(StudyRunSettings base, std::vector<StudyAxis> axes, int repeats, uint32_t first_seed);

  const StudyRunSettings& base() const { return base_; }  // its seed is not used
  const std::vector<StudyAxis>& axes() const { return axes_; }
  int repeats() const { return repeats_; }
  uint32_t first_seed() const { return first_seed_; }

  std::size_t point_count() const { return points_; }
  std::size_t run_count() const { return points_ * static_cast<std::size_t>(repeats_); }
  std::size_t point_of(std::size_t run) const { return run / static_cast<std::size_t>(repeats_); }
  int repeat_of(std::size_t run) const { return static_cast<int>(run % static_cast<std::size_t>(repeats_)); }
  uint32_t seed_of(std::size_t run) const { return first_seed_ + static_cast<uint32_t>(repeat_of(run)); }

  // The value of each axis at a grid point, in axis order.
  std::vector<double> point_values(std::size_t point) const;
  // The base settings with the run's point applied and the run's seed.
  StudyRunSettings run_settings(std::size_t run) const;
  // The run with these axis values (compared exactly) and repeat; nullopt
  // when they are not on the grid.
  std::optional<std::size_t> run_of(const std::vector<double>& values, int repeat) const;

 private:
  StudyRunSettings base_;
  std::vector<StudyAxis> axes_;
  std::vector<std::map<double, std::size_t>> index_of_value_;  // per axis
  int repeats_;
  uint32_t first_seed_;
  std::size_t points_ = 1;
};
