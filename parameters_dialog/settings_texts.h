// The lines the parameters dialog writes into a channel's two settings files.
// Box texts are copied unchanged: the files keep what the user typed.
#pragma once

#include <string>
#include <vector>

// The texts of one channel's edit boxes, with the values "default" sets.
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

// "[ScanParameter]" and ten key lines for the scan module.
std::vector<std::string> scan_settings_lines(const ChannelSettingsTexts& texts);
// Nine key lines of the image settings file (no section line).
std::vector<std::string> image_settings_lines(const ChannelSettingsTexts& texts);

// Writes ./scnmod.ini, ./image.ini, ./scnmod_1.ini and ./image_1.ini (CR LF)
// under `directory` as "default" followed by "OK" leaves them.
// Throws FileError when a file cannot be written.
void write_default_settings(const std::string& directory);
