#include "profile_file.h"

#include <cstdio>
#include <string>

#include "classic_numbers.h"
#include "common/replace_file.h"

namespace {

// Appends one printf-formatted piece to the file's bytes.
template <typename... Values>
bool put(FileReplacement& file, const char* format, Values... values) {
  char text[1024];  // "%f" of the largest double is 317 characters, and a line holds two
  const int length = std::snprintf(text, sizeof text, format, values...);
  return length >= 0 && static_cast<std::size_t>(length) < sizeof text &&
         file.write(text, static_cast<std::size_t>(length));
}

}  // namespace

void save_profile(const ScnMatrix& profile, const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0') return;
  if (profile.cols > 0 && profile.rows > 0 && profile.values == nullptr) return;

  FileReplacement file(fileName);
  if (!file.open()) return;
  const ClassicNumbers points;
  bool written = put(file, "%ld %ld\n", static_cast<long>(profile.cols), static_cast<long>(profile.rows));
  written = written && put(file, "%lf %lf\n", profile.xStep, profile.yStep);
  // Row 0 first; row 0 lies at the bottom of the picture.
  for (int32_t row = 0; written && profile.cols > 0 && row < profile.rows; ++row) {
    const float* heights = profile.values[row];
    for (int32_t col = 0; written && col < profile.cols; ++col)
      written = put(file, "%f\n", static_cast<double>(heights[col]));
  }
  if (written) file.commit();
}
