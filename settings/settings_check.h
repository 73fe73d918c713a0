// The settings files as the fringe tool and the studies read them: strictly.
// Every fault throws SettingsError (common/errors.h) naming the file, the
// key and the text found:
//   image.ini: Radius = "abc" is not a number
//   scnmod.ini: NFilt = "2.5" is not a whole number
//   image.ini: Radius is missing
//   scan.ini: no section [ScanParameter]
// The main window, the parameters dialog and the engine's C API read the same
// files with their own words, which stay as they are (channel_settings.h,
// surface_settings.h, scan/include/scan.h): nothing here is on their path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simulation/surface.h"

// The value of `key` (settings_value) as a finite number, a whole number of
// 32 bits, or an image side (a number truncated towards zero that a 32-bit
// integer holds, as image_side reads it). `file` names the lines' file.
double settings_number(const std::vector<std::string>& lines, const std::string& file, const char* key);
int32_t settings_whole_number(const std::vector<std::string>& lines, const std::string& file, const char* key);
int32_t settings_image_side(const std::vector<std::string>& lines, const std::string& file, const char* key);

// A scan settings file as the engine reads it (scn_LoadPar): the section must
// be there, and each of the engine's ten keys given in it must hold a number
// the engine takes whole, NFilt and FlawThr whole numbers of 32 bits, the
// others finite numbers ("12.5 mm", which the engine would read as 12.5, is
// refused too), in the domain a measurement needs: LambdaF, CamResX, CamResY
// and MaskRadius greater than 0 (`scan.ini: LambdaF = "-1" must be greater
// than 0`), Alpha between 0 and 90 degrees, both excluded. A key left out
// keeps the engine's default; other keys of the file are left to it (files
// may carry them). Sections and keys are matched as the engine matches them:
// without regard to case, blanks around them ignored, the first occurrence
// counting. The fringe tool and the Python module check with this one rule.
void check_scan_settings(const std::vector<std::string>& lines, const std::string& file,
                         const std::string& section);

// The engine's ten keys, in the order of its parameter record.
const std::vector<const char*>& scan_setting_keys();
// Settings given key by key (the Python module's dict) hold nothing but
// settings: throws SettingsError `<file>: Bogus is not a scan setting (the
// engine reads NFilt, FlawThr, ...)` unless `key` is one of the engine's
// keys (any case, blanks around it ignored).
void require_scan_setting_key(const std::string& key, const std::string& file);

// What every run of the channel reads from its two settings files: the scan
// settings as the engine reads them (section "ScanParameter") and the
// numbers "apply" and "profile" read (CamResX, LambdaF, Alpha, MaskXOfs,
// MaskYOfs, MaskRadius, NFilt; XPixels, YPixels, Radius). Files are named as
// the channel's (channel_files).
void check_channel_files(int channel, const std::vector<std::string>& scan, const std::vector<std::string>& image);

// check_channel_files, then the surface file when there is one
// (read_surface_settings, named as surface_file): everything a study's run
// reads.
void check_channel_settings(int channel, const std::vector<std::string>& scan,
                            const std::vector<std::string>& image, const std::vector<std::string>& surface);

// The channel's surface from its surface file's lines, read strictly; the
// sphere of the set radius when there are none.
Surface channel_settings_surface(int channel, const std::vector<std::string>& surface);
