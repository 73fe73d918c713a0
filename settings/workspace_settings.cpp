#include "settings/workspace_settings.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/work_files.h"
#include "settings/method_settings.h"
#include "settings/settings_check.h"

namespace {

const char* const kInitHint = " (run 'fringe init DIR' to create the default settings files)";

void require_settings_file(const std::string& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) throw file_error(FileAction::open, file, kInitHint);
}

}  // namespace

std::string workspace_file(const std::string& directory, const char* file) {
  return (std::filesystem::path(directory) / std::filesystem::path(file).filename()).string();
}

ChannelSettings read_workspace_settings(const std::string& directory, int channel) {
  ChannelSettings settings;
  settings.channel = channel == 1 ? 1 : 0;
  const ChannelFiles files = channel_files(settings.channel);
  const std::string scan = workspace_file(directory, files.scan);
  const std::string image = workspace_file(directory, files.image);
  require_settings_file(scan);
  require_settings_file(image);
  settings.scan = read_lines(scan);
  settings.image = read_lines(image);
  const std::string surface = workspace_file(directory, surface_file(settings.channel));
  std::error_code error;
  if (std::filesystem::exists(surface, error)) settings.surface = read_lines(surface);
  const std::string method = workspace_file(directory, method_file(settings.channel));
  if (std::filesystem::exists(method, error)) {
    settings.method = read_lines(method);
    read_method_settings(settings.method, method);  // refused before any run
  }
  check_channel_files(settings.channel, settings.scan, settings.image);
  return settings;
}

std::string prepare_workspace(const std::string& directory) {
  std::string path = directory;
  const char* home = std::getenv("HOME");
  if (path.rfind("~/", 0) == 0 && home != nullptr && *home != '\0') path = std::string(home) + path.substr(1);
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error || !std::filesystem::is_directory(path)) throw directory_error(FileAction::create, path);
  write_missing_default_settings(path);
  return path;
}
