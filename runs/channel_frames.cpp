#include "runs/channel_frames.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "common/errors.h"
#include "common/round_trip_number.h"
#include "common/settings_file.h"
#include "common/work_files.h"
#include "formats/frame_picture.h"
#include "methods/method_engine.h"
#include "methods/triangulated_points.h"
#include "optics/pinhole_rig.h"
#include "methods/step_check.h"
#include "settings/channel_settings.h"
#include "runs/measured_points.h"
#include "runs/picture_scan.h"
#include "scan/default_par.h"
#include "scan/scan_engine.h"

GreyImageOwner eight_bit_view(const GreyImage& frame, int bits) {
  if (frame.type != 2 || bits < 8 || bits > 16)
    throw std::invalid_argument("a frame of " + std::to_string(frame.type) + " bytes per pixel at " +
                                std::to_string(bits) + " bits has no 8-bit view");
  GreyImageOwner view(img_create_rows_unfilled(1, frame.width, frame.height));
  if (!view) throw std::bad_alloc();
  const int drop = bits - 8;
  for (int32_t y = 0; y < frame.height; ++y) {
    const uint8_t* in = img_line(&frame, y);
    uint8_t* out = img_line(view.get(), y);
    for (int32_t x = 0; x < frame.width; ++x) {
      uint16_t sample;
      std::memcpy(&sample, in + 2 * static_cast<std::size_t>(x), sizeof sample);
      out[x] = static_cast<uint8_t>(sample >> drop);
    }
  }
  return view;
}

namespace {

// The settings a set is read by: method, steps, the periods used, depth.
MethodSettings frame_relevant(const MethodSettings& s, double lambda_f) {
  MethodSettings kept;
  kept.method = s.method;
  kept.steps = s.method == FringeMethod::phase_shift ? s.steps : 4;
  kept.periods = method_periods(s, lambda_f);
  kept.errors.bits = s.errors.bits;
  return kept;
}

bool same_frames(const MethodSettings& a, const MethodSettings& b) {
  return a.method == b.method && a.steps == b.steps && a.periods == b.periods && a.errors.bits == b.errors.bits;
}

// The record's settings, or nullopt when there is none.
std::optional<MethodSettings> recorded_frames(int channel) {
  const char* record = frame_set_file(channel);
  std::error_code error;
  if (!std::filesystem::exists(record, error)) return std::nullopt;
  const std::vector<std::string> lines = read_lines(record);
  try {
    return read_method_settings(lines, record);
  } catch (const ConversionError& e) {
    throw file_error(FileAction::read, record, std::string(": ") + e.what());
  }
}

}  // namespace

const char* frame_set_file(int channel) { return channel == 1 ? "./sim01_frames.ini" : "./sim00_frames.ini"; }

std::vector<std::string> channel_frame_files_on_disk(int channel) {
  // "sim00_f" + two or more digits + ".bmp" or ".png": frame_files' names
  // and nothing else ("sim00_filtered.bmp" is the window's).
  const std::string stem = channel == 1 ? "sim01_f" : "sim00_f";
  std::vector<std::string> found;
  std::error_code error;
  for (std::filesystem::directory_iterator it(".", error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() < stem.size() + 6 || name.compare(0, stem.size(), stem) != 0) continue;
    const std::string extension = name.substr(name.size() - 4);
    if (extension != ".bmp" && extension != ".png") continue;
    const std::string digits = name.substr(stem.size(), name.size() - 4 - stem.size());
    if (digits.find_first_not_of("0123456789") == std::string::npos) found.push_back("./" + name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

void forget_channel_frames(int channel) {
  std::error_code error;
  std::filesystem::remove(frame_set_file(channel), error);
  // An earlier set's frames must not stay beside a later one's (a set of 8
  // steps after one of 16), nor pass for frames of the one picture.
  for (const std::string& file : channel_frame_files_on_disk(channel)) std::filesystem::remove(file, error);
}

void require_single_picture(int channel) {
  const std::optional<MethodSettings> recorded = recorded_frames(channel);
  if (!recorded || recorded->periods.empty()) return;
  const double lambda_f = scan_par_of_lines(read_lines(channel_files(channel).scan)).LambdaF;
  if (recorded->periods.front() == lambda_f) return;
  throw file_error(FileAction::read, frame_set_file(channel),
                   ": the fringe image is frame 0 of a set made for " + method_summary(*recorded, lambda_f) +
                       ", at a period other than the scan settings' LambdaF; profile it with that method or "
                       "apply again");
}

void write_channel_frames(int channel, const std::vector<GreyImageOwner>& frames, const MethodSettings& settings,
                          double lambda_f) {
  const int bits = settings.errors.bits;
  // A set half replaced must not pass for the one recorded.
  forget_channel_frames(channel);
  const std::vector<std::string> files = frame_files(channel, static_cast<int>(frames.size()), bits);
  for (std::size_t k = 0; k < frames.size(); ++k) save_frame_picture(*frames[k], files[k], Durability::atomic_only);  // working files
  // Frame 0 is also the fringe image the window shows and the quadrature scans.
  if (!frames.empty())
    save_frame_picture(bits > 8 ? *eight_bit_view(*frames.front(), bits) : *frames.front(), fringe_image_file(channel),
                       Durability::atomic_only);
  write_lines(frame_set_file(channel), method_settings_lines(frame_relevant(settings, lambda_f)));
}

std::vector<GreyImageOwner> read_channel_frames(int channel, const MethodSettings& settings, double lambda_f) {
  const MethodSettings wanted = frame_relevant(settings, lambda_f);
  const std::optional<MethodSettings> recorded = recorded_frames(channel);
  if (!recorded)
    throw file_error(FileAction::open, frame_set_file(channel),
                     " (no frame set was made for the channel's method: run \"apply\" or open a fringe image set)");
  if (!same_frames(*recorded, wanted))
    throw file_error(FileAction::read, frame_set_file(channel),
                     ": the frames were made for " + method_summary(*recorded, lambda_f) + ", not for " +
                         method_summary(wanted, lambda_f) + "; apply again");
  const MethodPlan plan = method_plan(settings, lambda_f);
  std::vector<std::string> files = frame_files(channel, plan_frame_count(plan), settings.errors.bits);
  // Sets of 8 bits written before frame 0 had a file of its own hold it only
  // as the fringe image.
  std::error_code error;
  if (settings.errors.bits <= 8 && !files.empty() && !std::filesystem::exists(files.front(), error))
    files.front() = fringe_image_file(channel);
  std::vector<GreyImageOwner> frames;
  for (const std::string& file : files) {
    frames.push_back(read_frame_picture(file));
    const std::string mismatch = frame_size_mismatch(*frames.back(), *frames.front(), files.front());
    if (!mismatch.empty()) throw file_error(FileAction::read, file, ": " + mismatch);
  }
  return frames;
}

std::string counted_files(const std::vector<std::string>& files) {
  std::string text;
  for (const std::string& file : files) text += (text.empty() ? "" : ", ") + file;
  return text;
}

std::string window_pictures_among(const std::vector<std::string>& files) {
  std::string notes;
  const auto note = [&notes](const std::string& text) { notes += (notes.empty() ? "" : "; ") + text; };
  for (const std::string& file : files) {
    const std::filesystem::path path(file);
    const std::string name = path.filename().string();
    for (int channel : {0, 1}) {
      const std::string fringe_image = std::filesystem::path(fringe_image_file(channel)).filename().string();
      if (name == std::filesystem::path(filtered_image_file(channel)).filename().string())
        note(file + " is the window's smoothed copy of the fringe image, not a frame");
      if (name != fringe_image) continue;
      // Beside its set's own frame 0 the fringe image is that frame twice.
      const std::string stem = fringe_image.substr(0, fringe_image.size() - 4) + "_f00";
      for (const std::string& other : files) {
        const std::filesystem::path other_path(other);
        if (other_path.parent_path() == path.parent_path() && other_path.stem().string() == stem)
          note(file + " is the fringe image, a copy of frame 0 (" + other + ")");
      }
    }
  }
  if (!notes.empty()) notes += "; a set's frames are its files sim00_f??.* (sim01_f??.* for image 2)";
  return notes;
}

std::string checked_frame_steps(const std::vector<GreyImageOwner>& frames, const MethodPlan& plan,
                                const std::vector<std::string>& names) {
  std::vector<const GreyImage*> given;
  for (const GreyImageOwner& frame : frames) given.push_back(frame.get());
  const StepCheck check = check_phase_steps(given, plan, names);
  if (check.verdict == StepCheck::Verdict::refused) throw std::invalid_argument(check.finding);
  return check.finding;
}

std::string scan_channel_frames(int channel, const MethodSettings& settings, const std::vector<std::string>& scan_lines,
                                Durability durability, QualityCheck* check, const OpticalSystem& system,
                                std::vector<Vec3>* points) {
  ScnPar par = scan_par_of_lines(scan_lines);
  std::vector<GreyImageOwner> frames = read_channel_frames(channel, settings, par.LambdaF);
  const MethodPlan plan = method_plan(settings, par.LambdaF);
  const std::string warning = checked_frame_steps(frames, plan, frame_files(channel, plan_frame_count(plan), settings.errors.bits));
  if (system.pinhole()) {
    if (settings.method == FringeMethod::quadrature) throw std::invalid_argument(kPinholeNeedsPhase);
    std::vector<const GreyImage*> given;
    for (const GreyImageOwner& frame : frames) given.push_back(frame.get());
    MethodEngine engine;
    GridGuard profile;
    const PinholeRig rig(system, par.MaskXOfs, par.MaskYOfs);
    PixelPoints measured;
    triangulated_profile(engine, given, plan, par, rig, par.MaskXOfs, par.MaskYOfs, par.LambdaF, profile.grid,
                         points != nullptr ? &measured : nullptr);
    if (check != nullptr) check->settings_min_valid = settings.min_valid;
    checked_pinhole_profile(engine, given, plan, par, profile.grid, check, fringe_image_file(channel));
    write_scanned_profile(profile.grid, profile_file(channel), durability);
    if (points != nullptr) *points = map_frame_points(measured);
    return warning;
  }
  if (settings.method == FringeMethod::quadrature) {
    // The engine's own method on the one frame, at the frame's period.
    if (frames.front()->type != 1)
      throw std::invalid_argument("the quadrature method scans 8-bit pictures; the frames hold 16 bits");
    par.LambdaF = plan.periods.back();
    ScanEngine engine;
    if (check != nullptr) check->settings_min_valid = settings.min_valid;
    if (checked_engine_scan(engine, *frames.front(), par, nullptr, check, fringe_image_file(channel)) !=
        ScanEngine::Outcome::scanned)
      throw file_error(FileAction::read, fringe_image_file(channel), ": the engine cannot take the picture");
    write_scanned_profile(engine.profile(), profile_file(channel), durability);
    return warning;
  }
  if (check != nullptr) check->settings_min_valid = settings.min_valid;
  write_method_profile(frames, plan, par, profile_file(channel), durability, check, fringe_image_file(channel));
  if (points != nullptr) {
    std::vector<const GreyImage*> given;
    for (const GreyImageOwner& frame : frames) given.push_back(frame.get());
    MethodEngine engine;
    points->clear();
    telecentric_points(engine, given, plan, par, par.MaskXOfs, par.MaskYOfs, *points);
  }
  return warning;
}

std::string frame_size_mismatch(const GreyImage& frame, const GreyImage& first, const std::string& first_file) {
  if (frame.width == first.width && frame.height == first.height && frame.type == first.type) return "";
  const auto size = [](const GreyImage& image) {
    return std::to_string(image.width) + " x " + std::to_string(image.height) + " pixels of " +
           (image.type == 2 ? "16" : "8") + " bits";
  };
  return "the picture is " + size(frame) + ", the first (" + first_file + ") " + size(first);
}

void write_method_profile(const std::vector<GreyImageOwner>& frames, const MethodPlan& plan, const ScnPar& par,
                          const std::string& profile_file, Durability durability, QualityCheck* check,
                          const std::string& name) {
  std::vector<const GreyImage*> given;
  for (const GreyImageOwner& frame : frames) given.push_back(frame.get());
  MethodEngine engine;
  ScnMatrix profile{};
  try {
    checked_method_profile(engine, given, plan, par, profile, check, name);
    write_scanned_profile(profile, profile_file, durability);
  } catch (...) {
    mat_free(&profile);
    throw;
  }
  mat_free(&profile);
}

std::string method_summary(const MethodSettings& s, double lambda_f) {
  std::string text = fringe_method_name(s.method);
  const std::vector<double> periods = method_periods(s, lambda_f);
  if (s.method == FringeMethod::phase_shift) text += " " + std::to_string(s.steps) + " steps";
  if (s.method != FringeMethod::quadrature || !s.periods.empty()) {
    text += ", ";
    text += periods.size() > 1 ? "periods " : "period ";
    for (std::size_t k = 0; k < periods.size(); ++k) text += (k > 0 ? "/" : "") + round_trip_text(periods[k]);
    text += " px";
  }
  if (s.errors.gamma != 1.0) text += ", gamma " + round_trip_text(s.errors.gamma);
  if (s.errors.blur != 0.0) text += ", blur " + round_trip_text(s.errors.blur) + " px";
  if (s.errors.bits != 8) text += ", " + std::to_string(s.errors.bits) + " bits";
  if (s.errors.ambient != 0.0) text += ", ambient " + round_trip_text(s.errors.ambient);
  return text;
}
