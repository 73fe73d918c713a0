// A channel's working directory as the command-line tool sees it: the
// settings files the parameters dialog writes and the fixed work files.
#pragma once

#include <string>
#include <vector>

#include "simulation/sim_params.h"

// Makes `dir` the working directory, so the fixed work-file names resolve in
// it. Throws FileError when it does not exist.
void enter_directory(const std::string& dir);

// The two settings files of a channel, read as lines. Throws FileError naming
// the missing file, with a hint to run `fringe init`.
struct ChannelSettings {
  int channel = 0;
  std::vector<std::string> scan;   // ./scnmod.ini or ./scnmod_1.ini
  std::vector<std::string> image;  // ./image.ini or ./image_1.ini
};
ChannelSettings read_channel_settings(int channel);

// The channel's simulation record as the workbench fills it at start-up.
SimParams channel_sim_params(int channel);

// Throws FileError naming the file, with `hint` appended, unless it exists.
void require_file(const std::string& file, const std::string& hint);
