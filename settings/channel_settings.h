// A channel's two settings files: the scan settings the engine reads
// (./scnmod.ini, ./scnmod_1.ini, section "ScanParameter") and the image
// settings of the simulation (./image.ini, ./image_1.ini). The parameters
// dialog writes them from its boxes, start-up and the command-line tool read
// them into the channel's simulation record. Box texts are stored unchanged:
// the files keep what the user typed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "simulation/sim_params.h"

// The names of channel 0's files ("./scnmod.ini", "./image.ini") or channel
// 1's ("./scnmod_1.ini", "./image_1.ini"); any channel but 1 counts as 0.
struct ChannelFiles {
  const char* scan;
  const char* image;
};
ChannelFiles channel_files(int channel);

// The texts of one channel's settings, with the values "default" sets.
struct ChannelSettingsTexts {
  std::string xpixels = "1280";
  std::string ypixels = "1024";
  std::string xres = "0.01";      // mm per pixel, square pixels
  std::string radius = "7.5";     // mm
  std::string diopters = "45.0";  // not stored; derived from the radius
  std::string alpha = "30";       // degrees
  std::string lambda = "10.0";    // fringe period, pixels
  std::string maskradius = "3.3"; // mm
  std::string filters = "3";      // smoothing passes
};

// "[ScanParameter]" and ten key lines for the engine.
std::vector<std::string> scan_settings_lines(const ChannelSettingsTexts& texts);
// Nine key lines of the image settings file (no section line).
std::vector<std::string> image_settings_lines(const ChannelSettingsTexts& texts);

// The value texts of the channel's files as the dialog loads them: a missing
// key is the empty text; the diopters text stays as given (it is derived
// from the radius when the dialog is shown). Throws FileError
// `Cannot open file "<name>"` when a file cannot be read, the image settings
// file first.
ChannelSettingsTexts read_settings_texts(int channel, ChannelSettingsTexts texts = {});

// Writes the channel's scan settings file, then its image settings file (CR
// LF). Throws FileError `Cannot create file "<name>"`.
void write_settings_texts(int channel, const ChannelSettingsTexts& texts);

// Writes the four files under `directory` as "default" followed by "OK"
// leaves them. Throws FileError when a file cannot be written.
void write_default_settings(const std::string& directory);
// The same for the files `directory` lacks only: a settings file that exists
// is kept as the user left it. Returns the paths written, in the order above.
std::vector<std::string> write_missing_default_settings(const std::string& directory);

// An image side from its text: the number truncated towards zero. Throws
// ConversionError `'<text>' is not a valid integer value` for a value no
// 32-bit integer holds, and the conversion error of the text otherwise.
int32_t image_side(const std::string& text);

// `record` with the sizes, pixel size, fringe period, angle and radius of
// the texts and the apex at the image centre, as "OK" stores it; contrast
// and noise stay (they belong to the main window's controls). Throws
// ConversionError before anything is changed.
SimParams sim_params_from_texts(const ChannelSettingsTexts& texts, const SimParams& record);

// The same from files already read (below): the value texts the runs take
// ("apply" its pass count, "profile" the radii).
struct ChannelSettings;
ChannelSettingsTexts settings_texts_of(const ChannelSettings& files, ChannelSettingsTexts texts = {});

// Fills `params` from the files as start-up does: the scan settings
// (pixel_size from "CamResX", fringe_period from "LambdaF", alpha_deg from
// "Alpha", offset_x from "MaskXOfs", offset_y from "MaskYOfs", in this
// order), then the image settings (x_pixels and y_pixels from "XPixels" and
// "YPixels", radius from "Radius"). Throws FileError for a missing file and
// ConversionError for a missing key or a text that is not a number; the
// fields set before that keep their new values, the rest stay as they were.
void load_sim_params(SimParams& params, const std::string& scan_file, const std::string& image_file);
// The same from the files' lines; the image settings' lines are asked for
// only once the scan settings have been read.
void load_sim_params(SimParams& params, const std::vector<std::string>& scan,
                     const std::function<std::vector<std::string>()>& image_lines);

// The files of a channel, read as lines.
struct ChannelSettings {
  int channel = 0;
  std::vector<std::string> scan;
  std::vector<std::string> image;
  std::vector<std::string> surface;  // empty when the channel has no surface file
  std::vector<std::string> method;   // empty when the channel has no method file
  std::vector<std::string> system;   // empty when the channel has no system file (telecentric)
};
// Throws FileError `Cannot open file "<name>"` (the surface file only when
// something of that name exists).
ChannelSettings read_channel_settings(int channel);
// The channel's simulation record as start-up fills it from its files.
SimParams channel_sim_params(int channel);
