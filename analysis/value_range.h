// The lowest and highest value of a set of map cells, in the map's unit (mm
// for height maps). Returned by value from the area and line range helpers.
#pragma once

#include <cmath>
#include <limits>

struct ValueRange {
  double min = 0.0;
  double max = 0.0;
};

// Running minimum and maximum over cells visited in a fixed order. A value
// replaces max when max is not greater than it, and min when min is not less
// than it, so among equal values (0.0 and -0.0) the one visited last wins.
// A NaN cell makes both bounds NaN: a range over unknown values is unknown,
// wherever in the order that cell lies.
class RangeScan {
 public:
  explicit RangeScan(double first) : range_{first, first}, nan_(std::isnan(first)) {}

  void add(double value) {
    if (range_.max <= value) range_.max = value;
    if (range_.min >= value) range_.min = value;
    nan_ |= std::isnan(value);
  }

  ValueRange result() const {
    if (nan_) return {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
    return range_;
  }

 private:
  ValueRange range_;
  bool nan_;
};
