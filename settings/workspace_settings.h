// A channel's settings files read from a workspace folder named by its path,
// without entering it: the working directory belongs to the whole process,
// and threads (the Python module's callers) read workspaces side by side.
// The fringe tool reads the current directory's files the same way.
#pragma once

#include <string>

#include "settings/channel_settings.h"

// The channel's settings files under `directory` as lines; a missing scan or
// image settings file throws FileError naming it with a hint to run
// `fringe init`. Every value a run reads from them is checked first
// (check_channel_files): a missing section, or a value that is missing or not
// a number, throws SettingsError naming the file, the key and the text, e.g.
// `image.ini: Radius = "abc" is not a number`. The surface file's lines are
// read when it exists and checked where they are used
// (channel_settings_surface). A channel other than 1 counts as 0.
ChannelSettings read_workspace_settings(const std::string& directory, int channel);

// The path of one of the channel's files (channel_files, surface_file) under
// `directory`: "./scnmod.ini" for directory "." as the tool names it.
std::string workspace_file(const std::string& directory, const char* file);

// A workspace made ready to work in: `directory` ("~/" at its start stands
// for $HOME) is created when missing and given the default settings files it
// lacks (write_missing_default_settings: what it has is kept). Returns the
// directory's path with "~/" expanded. Throws FileError when the directory
// cannot be made or a file cannot be written.
std::string prepare_workspace(const std::string& directory);
