// A channel's frame set through its work files: what "apply" writes for a
// method other than the engine's quadrature on one classic picture, and what
// "profile" then measures.
#pragma once

#include <string>
#include <vector>

#include "common/replace_file.h"
#include "runs/quality_check.h"
#include "settings/channel_parameters.h"
#include "optics/optical_system.h"
#include "optics/vec3.h"
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
// lambda_f) under frame_files(channel, count, bits), frame 0 also as the
// channel's fringe image ("./sim00.bmp", at 8 bits: the top 8 bits of deeper
// frames), which the window shows; then the record. The record and the
// frames of an earlier set are removed first. Throws FileError `Cannot
// create file "<name>"` for the first file that cannot be written.
void write_channel_frames(int channel, const std::vector<GreyImageOwner>& frames, const MethodSettings& settings,
                          double lambda_f);
// The 8-bit picture the channel's fringe image holds of a frame deeper than
// 8 bits (what the window shows): the top 8 bits of each sample of a 16-bit
// image (type 2) whose samples are `bits` deep (8..16). Throws
// std::invalid_argument for another type or depth, std::bad_alloc.
GreyImageOwner eight_bit_view(const GreyImage& frame, int bits);

// The channel's fringe image is one picture again (a classic "apply", an
// opened picture): its frame set record and its frames go.
void forget_channel_frames(int channel);
// The frame files of the channel in the working directory, by name
// ("./sim00_f00.bmp", "./sim00_f01.png", ...: the stem, two or more digits,
// .bmp or .png), sorted.
std::vector<std::string> channel_frame_files_on_disk(int channel);

// Reads the channel's frames as `settings` names them, in order, each as the
// picture reader keeps it (8 or 16 bits); frame 0 of an 8-bit set written
// before it had a file of its own is the fringe image. Throws FileError `Cannot open file
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
// `check`: the quality asked for (runs/quality_check.h), refusals naming
// `name`, before the profile is written.
void write_method_profile(const std::vector<GreyImageOwner>& frames, const MethodPlan& plan, const ScnPar& par,
                          const std::string& profile_file, Durability durability, QualityCheck* check = nullptr,
                          const std::string& name = "the frames");

// The files a refusal counted, as given: "w/a.png, w/b.png, w/c.png".
std::string counted_files(const std::vector<std::string>& files);
// Empty, or why some of `files` are the workbench's own pictures rather than
// frames of a set (a glob such as "sim00*.bmp" takes them in):
// "w/sim00_filtered.bmp is the window's smoothed copy of the fringe image, not
// a frame", "w/sim00.bmp is the fringe image, a copy of frame 0
// (w/sim00_f00.bmp)"; the frames of a set are "sim00_f??.bmp" (or .png).
std::string window_pictures_among(const std::vector<std::string>& files);

// The phase steps of a phase-shift set checked against the plan
// (methods/step_check.h), the frames named by `names` in the finding:
// throws std::invalid_argument with the finding for a set it refuses;
// returns the warning for a small uniform step error, else empty.
std::string checked_frame_steps(const std::vector<GreyImageOwner>& frames, const MethodPlan& plan,
                                const std::vector<std::string>& names);

// "profile"'s scan of a channel whose method settings are not classic: reads
// its frames, checks a phase-shift set's steps (checked_frame_steps),
// measures them with the settings' method (the engine's quadrature on frame 0
// for Method=quadrature) with the scan settings in `scan_lines`, and writes
// the channel's profile file whole; returns the steps' warning, or empty.
// Throws as read_channel_frames, std::invalid_argument for frames the method
// cannot take or whose steps are refused, FileError when the profile cannot
// be written (the earlier one stays).
// `check`: the quality asked for (its settings_min_valid set from `settings`).
// Through a pinhole `system` the phase-shift and Fourier methods' phase is
// triangulated (methods/triangulated_points.h); the engine's quadrature,
// which gives no phase, is refused then (std::invalid_argument). `points`,
// when given, receives the measured points (runs/measured_points.h).
std::string scan_channel_frames(int channel, const MethodSettings& settings, const std::vector<std::string>& scan_lines,
                                Durability durability = Durability::synced, QualityCheck* check = nullptr,
                                const OpticalSystem& system = {}, std::vector<Vec3>* points = nullptr);

// The method in a few words for the window and the summaries:
// "quadrature", "phase-shift 8 steps, periods 1280/80/10 px",
// "fourier, period 10 px"; error sources follow: ", gamma 2.2, blur 1.5 px,
// 12 bits, ambient 20".
std::string method_summary(const MethodSettings& settings, double lambda_f);
