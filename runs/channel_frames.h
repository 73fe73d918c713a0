// A channel's frame set through its work files: what "apply" writes for a
// method other than the engine's quadrature on one classic picture, and what
// "profile" then measures.
#pragma once

#include <string>
#include <vector>

#include "common/replace_file.h"
#include "runs/method_settings.h"
#include "scan/grey_image.h"
#include "scan.h"

// Writes `frames` (as make_fringe_frames makes them) under frame_files(channel,
// count, bits); for frames deeper than 8 bits the channel's fringe image
// ("./sim00.bmp") is frame 0 at 8 bits (its top 8 bits), which the window
// shows. Throws FileError `Cannot create file "<name>"` for the first file
// that cannot be written.
void write_channel_frames(int channel, const std::vector<GreyImageOwner>& frames, int bits);

// Reads the channel's frames as `settings` names them, in order, each as the
// picture reader keeps it (8 or 16 bits). Throws FileError `Cannot open file
// "<name>"` / `Cannot read file "<name>": <reason>` for the first one that
// cannot be read, and for frames that differ in size from the first.
std::vector<GreyImageOwner> read_channel_frames(int channel, const MethodSettings& settings, double lambda_f);

// The engine's parameters from a scan settings file's lines, as the engine
// reads its file: a key that is missing or not a number keeps its default.
ScnPar scan_par_of_lines(const std::vector<std::string>& scan_lines);

// "profile"'s scan of a channel whose method settings are not classic: reads
// its frames, measures them with the settings' method (the engine's
// quadrature on frame 0 for Method=quadrature) with the scan settings in
// `scan_lines`, and writes the channel's profile file whole. Throws as
// read_channel_frames, std::invalid_argument for frames the method cannot
// take, FileError when the profile cannot be written (the earlier one stays).
void scan_channel_frames(int channel, const MethodSettings& settings, const std::vector<std::string>& scan_lines,
                         Durability durability = Durability::synced);

// The method in a few words for the window and the summaries:
// "quadrature", "phase-shift 8 steps, periods 1280/80/10 px",
// "fourier, period 10 px"; error sources follow: ", gamma 2.2, blur 1.5 px,
// 12 bits, ambient 20".
std::string method_summary(const MethodSettings& settings, double lambda_f);
