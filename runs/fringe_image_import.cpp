#include "runs/fringe_image_import.h"

#include <stdexcept>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "formats/camera_picture.h"
#include "formats/frame_picture.h"
#include "runs/channel_frames.h"
#include "settings/channel_settings.h"
#include "settings/method_settings.h"
#include "runs/simulation_run.h"

namespace {

constexpr int kHalfway = 50;
const char* const kReading = "reading the picture               ";

// The largest sample of a 16-bit frame.
uint16_t largest_sample(const GreyImage& frame) {
  uint16_t largest = 0;
  for (int32_t y = 0; y < frame.height; ++y) {
    const auto* row = reinterpret_cast<const uint16_t*>(img_line(&frame, y));
    for (int32_t x = 0; x < frame.width; ++x) largest = row[x] > largest ? row[x] : largest;
  }
  return largest;
}

// Why a frame does not belong to the set whose first frame is `first`, or
// empty. Frames deeper than 8 bits hold levels up to 2^bits - 1, as the
// synthesis writes them and as the methods and the window's 8-bit view of
// frame 0 read them.
std::string frame_mismatch(const GreyImage& frame, const GreyImage& first, const std::string& first_file,
                           int bits) {
  if (frame.width != first.width || frame.height != first.height) return frame_size_mismatch(frame, first, first_file);
  if (bits <= 8 && frame.type != 1)
    return "the picture holds 16-bit samples; the channel's method settings take an 8-bit camera (Bits=8)";
  if (bits > 8) {
    if (frame.type != 2)
      return "the picture holds 8-bit samples; the channel's method settings take a " + std::to_string(bits) +
             "-bit camera (Bits=" + std::to_string(bits) + ")";
    const uint32_t largest = largest_sample(frame);
    if (largest >= (1U << bits))
      return "a sample of " + std::to_string(largest) + " lies beyond the " + std::to_string(bits) +
             " bits of the channel's method settings (0 to " + std::to_string((1U << bits) - 1) + ")";
  }
  return {};
}

}  // namespace

void run_fringe_image_import(const FringeImageImport& in, Picture& image, Picture& scan_plot,
                             HeightMatrix& scratch_map, RunObserver& observer) {
  const int c = in.channel == 1 ? 1 : 0;
  observer.progress(kHalfway);
  observer.status(kReading);
  const GreyImageOwner picture = read_camera_picture(in.picture_file);
  // A bad pass count stops the run before anything is written.
  static_cast<void>(text_to_int(in.passes_text));

  const char* const fringe_file = fringe_image_file(c);
  if (img_save_bmp(picture.get(), fringe_file, Durability::atomic_only) != BMP_OK) throw file_error(FileAction::create, fringe_file);
  forget_channel_frames(c);
  show_fringe_image(c, fringe_file, in.passes_text, image, scan_plot, scratch_map, observer);
}

void run_fringe_image_set_import(const FringeImageSetImport& in, Picture& image, Picture& scan_plot,
                                 HeightMatrix& scratch_map, RunObserver& observer) {
  const int c = in.channel == 1 ? 1 : 0;
  const MethodSettings settings = channel_method_settings(c);
  const double lambda_f = scan_par_of_lines(read_lines(channel_files(c).scan)).LambdaF;
  const int count = plan_frame_count(method_plan(settings, lambda_f));
  const int given = static_cast<int>(in.picture_files.size());
  if (given != count)
    throw std::invalid_argument("the channel's method (" + method_summary(settings, lambda_f) + ") takes " +
                                std::to_string(count) + (count == 1 ? " frame; " : " frames; ") +
                                std::to_string(given) + (given == 1 ? " picture was" : " pictures were") +
                                " given" + (given > 0 ? ": " + counted_files(in.picture_files) : ""));

  observer.progress(kHalfway);
  observer.status(kReading);
  std::vector<GreyImageOwner> frames;
  frames.reserve(in.picture_files.size());
  for (const std::string& file : in.picture_files) {
    frames.push_back(read_frame_picture(file));
    const std::string mismatch =
        frame_mismatch(*frames.back(), *frames.front(), in.picture_files.front(), settings.errors.bits);
    if (!mismatch.empty()) throw file_error(FileAction::read, file, ": " + mismatch);
  }
  // A bad pass count stops the run before anything is written.
  static_cast<void>(text_to_int(in.passes_text));

  write_channel_frames(c, frames, settings, lambda_f);
  show_fringe_image(c, fringe_image_file(c), in.passes_text, image, scan_plot, scratch_map, observer);
}
