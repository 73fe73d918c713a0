// A channel's working directory as the command-line tool sees it: the
// settings files the parameters dialog writes and the fixed work files.
#pragma once

#include <string>

#include "runs/channel_settings.h"

// Makes `dir` the working directory, so the fixed work-file names resolve in
// it. Throws FileError when it does not exist.
void enter_directory(const std::string& dir);

// Throws FileError naming the file, with `hint` appended, unless it exists.
void require_file(const std::string& file, const std::string& hint);

// The channel's two settings files as lines; a missing one is named with a
// hint to run `fringe init`.
ChannelSettings workspace_settings(int channel);

// The channel's simulation record as the workbench fills it at start-up; a
// missing settings file is named with the same hint.
SimParams workspace_sim_params(int channel);
