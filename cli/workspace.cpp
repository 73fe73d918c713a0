#include "cli/workspace.h"

#include <filesystem>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/work_files.h"
#include "simulation/sim_params_file.h"

namespace {

const char* const kInitHint = " (run 'fringe init DIR' to create the default settings files)";

std::vector<std::string> read_settings(const char* file) {
  require_file(file, kInitHint);
  return read_lines(file);
}

}  // namespace

void enter_directory(const std::string& dir) {
  std::error_code error;
  std::filesystem::current_path(dir, error);
  if (error) throw directory_error(FileAction::open, dir, ": " + error.message());
}

void require_file(const std::string& file, const std::string& hint) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error))
    throw file_error(FileAction::open, file, hint);
}

ChannelSettings read_channel_settings(int channel) {
  ChannelSettings s;
  s.channel = channel;
  s.scan = read_settings(channel == 0 ? file_scan_settings_0 : file_scan_settings_1);
  s.image = read_settings(channel == 0 ? file_image_settings_0 : file_image_settings_1);
  return s;
}

SimParams channel_sim_params(int channel) {
  const char* scan = channel == 0 ? file_scan_settings_0 : file_scan_settings_1;
  const char* image = channel == 0 ? file_image_settings_0 : file_image_settings_1;
  require_file(scan, kInitHint);
  require_file(image, kInitHint);
  SimParams params;
  load_sim_params(params, scan, image);
  return params;
}
