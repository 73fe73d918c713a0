// A channel's working directory as the command-line tool sees it: the
// settings files the parameters dialog writes and the fixed work files.
#pragma once

#include <string>

#include "settings/channel_settings.h"

// Makes `dir` the working directory, so the fixed work-file names resolve in
// it. Throws FileError when it does not exist.
void enter_directory(const std::string& dir);

// Throws FileError naming the file, with `hint` appended, unless it exists.
void require_file(const std::string& file, const std::string& hint);

// The channel's settings files as lines; a missing one is named with a hint
// to run `fringe init`. Every value a run reads from the scan and image
// settings is checked first (check_channel_files): a missing section, or a
// value that is missing or not a number, throws SettingsError naming the
// file, the key and the text, e.g. `image.ini: Radius = "abc" is not a
// number`. The surface file is read where it is used
// (channel_settings_surface), so that --surface can stand in for it.
ChannelSettings workspace_settings(int channel);

// The channel's simulation record as the workbench fills it at start-up,
// after the same hint and checks.
SimParams workspace_sim_params(int channel);
