#include "cli/workspace.h"

#include <filesystem>

#include "common/errors.h"
#include "settings/workspace_settings.h"

void enter_directory(const std::string& dir) {
  std::error_code error;
  std::filesystem::current_path(dir, error);
  if (error) throw directory_error(FileAction::open, dir, ": " + error.message());
}

void require_file(const std::string& file, const std::string& hint) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) throw file_error(FileAction::open, file, hint);
}

ChannelSettings workspace_settings(int channel) { return read_workspace_settings(".", channel); }

SimParams workspace_sim_params(int channel) {
  workspace_settings(channel);
  return channel_sim_params(channel);
}
