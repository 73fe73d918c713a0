// A channel's frame set through its work files: what "apply" writes for a
// method other than the engine's quadrature on one classic picture, and what
// "profile" then measures.
#pragma once

#include <string>
#include <vector>

#include "common/replace_file.h"
#include "settings/channel_parameters.h"
#include "settings/method_settings.h"
#include "scan/grey_image.h"
#include "scan.h"

// The record of what the channel's frames were made for ("./sim00_frames.ini",
// "./sim01_frames.ini"): the method settings lines with the periods used and
// the frame count. "profile" measures the frames only for the method they
// were made for: frames on disk from an earlier "apply" with other steps or
// periods would otherwise pass for a set they are not.
const char* frame_set_file(int channel);

// Writes `frames` (made for `settings` with the scan settings' period
// lambda_f) under frame_files(channel, count, bits), then the record; for
// frames deeper than 8 bits the channel's fringe image ("./sim00.bmp") is
// frame 0 at 8 bits (its top 8 bits), which the window shows. Throws
// FileError `Cannot create file "<name>"` for the first file that cannot be
// written (the record of an earlier set is removed first).
void write_channel_frames(int channel, const std::vector<GreyImageOwner>& frames, const MethodSettings& settings,
                          double lambda_f);
// The 8-bit picture the channel's fringe image holds of a frame deeper than
// 8 bits (what the window shows): the top 8 bits of each sample of a 16-bit
// image (type 2) whose samples are `bits` deep (8..16). Throws
// std::invalid_argument for another type or depth, std::bad_alloc.
GreyImageOwner eight_bit_view(const GreyImage& frame, int bits);

// The channel's fringe image is one picture again (a classic "apply", an
// opened picture): its frame set record goes.
void forget_channel_frames(int channel);

// Reads the channel's frames as `settings` names them, in order, each as the
// picture reader keeps it (8 or 16 bits). Throws FileError `Cannot open file
// "./sim00_frames.ini"` when no frame set was made, `Cannot read file
// "./sim00_frames.ini": the frames were made for <summary>, not for
// <summary>` when it was made for another method, steps, periods or depth,
// `Cannot open file "<name>"` / `Cannot read file "<name>": <reason>` for the
// first frame that cannot be read, and for frames that differ in size from
// the first.
std::vector<GreyImageOwner> read_channel_frames(int channel, const MethodSettings& settings, double lambda_f);

// Throws FileError `Cannot read file "./sim00_frames.ini": the fringe image is
// frame 0 of a set made for <summary>, at a period other than the scan
// settings' LambdaF; profile it with that method or apply again` when the
// engine would measure the channel's fringe image at a period it was not made
// with (the coarse first frame of several periods, a period of the method's
// own). Frame 0 of a set at LambdaF is a picture like any other.
void require_single_picture(int channel);

// Empty when `frame` has the size and depth of `first` (read from
// `first_file`); else why not: "the picture is 64 x 1024 pixels of 8 bits,
// the first (./sim00.bmp) 1280 x 1024 pixels of 8 bits".
std::string frame_size_mismatch(const GreyImage& frame, const GreyImage& first, const std::string& first_file);

// Measures `frames` with the plan's method (MethodEngine) and writes the
// profile whole (write_scanned_profile). Throws as both do.
void write_method_profile(const std::vector<GreyImageOwner>& frames, const MethodPlan& plan, const ScnPar& par,
                          const std::string& profile_file, Durability durability);

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
