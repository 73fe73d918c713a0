#include <unistd.h>

#include <cstdio>
#include <string>

#include "classic_numbers.h"
#include "profile_file.h"

void save_profile(const ScnMatrix& profile, const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0') return;
  if (profile.cols > 0 && profile.rows > 0 && profile.values == nullptr) return;
  // A write-protected profile cannot be opened for writing, so it stays.
  if (access(fileName, F_OK) == 0 && access(fileName, W_OK) != 0) return;

  // Written beside the target and renamed over it at the end, so a reader
  // finds the old file or the complete new one, never a truncated one.
  const std::string temporary = std::string(fileName) + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) return;
  const ClassicNumbers points;
  bool written = std::fprintf(file, "%ld %ld\n", static_cast<long>(profile.cols),
                              static_cast<long>(profile.rows)) >= 0;
  written = written && std::fprintf(file, "%lf %lf\n", profile.xStep, profile.yStep) >= 0;
  // Row 0 first; row 0 lies at the bottom of the picture.
  for (int32_t row = 0; written && profile.cols > 0 && row < profile.rows; ++row) {
    const float* heights = profile.values[row];
    for (int32_t col = 0; written && col < profile.cols; ++col)
      written = std::fprintf(file, "%f\n", static_cast<double>(heights[col])) >= 0;
  }
  written = std::fclose(file) == 0 && written;
  if (!written || std::rename(temporary.c_str(), fileName) != 0) std::remove(temporary.c_str());
}
