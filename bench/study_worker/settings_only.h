// A study run that only writes its channel's settings files and returns five
// zeros: what a run costs besides the measurement.
#pragma once

#include <vector>

#include "common/settings_file.h"
#include "runs/channel_settings.h"
#include "runs/study_parameters.h"

inline std::vector<double> write_settings_only(const StudyRunSettings& s) {
  const ChannelFiles files = channel_files(s.channel);
  write_lines(files.scan, s.scan);
  write_lines(files.image, s.image);
  return std::vector<double>(5, 0.0);
}
