#include "cli/workspace.h"

#include <filesystem>

#include "common/errors.h"
#include "runs/settings_check.h"

namespace {

const char* const kInitHint = " (run 'fringe init DIR' to create the default settings files)";

void require_settings_files(int channel) {
  const ChannelFiles files = channel_files(channel);
  require_file(files.scan, kInitHint);
  require_file(files.image, kInitHint);
}

}  // namespace

void enter_directory(const std::string& dir) {
  std::error_code error;
  std::filesystem::current_path(dir, error);
  if (error) throw directory_error(FileAction::open, dir, ": " + error.message());
}

void require_file(const std::string& file, const std::string& hint) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) throw file_error(FileAction::open, file, hint);
}

ChannelSettings workspace_settings(int channel) {
  require_settings_files(channel);
  ChannelSettings settings = read_channel_settings(channel);
  check_channel_files(settings.channel, settings.scan, settings.image);
  return settings;
}

SimParams workspace_sim_params(int channel) {
  workspace_settings(channel);
  return channel_sim_params(channel);
}
