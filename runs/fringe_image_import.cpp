#include "runs/fringe_image_import.h"

#include "common/errors.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "formats/camera_picture.h"
#include "runs/simulation_run.h"

namespace {

constexpr int kHalfway = 50;
const char* const kReading = "reading the picture               ";

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
  show_fringe_image(c, fringe_file, in.passes_text, image, scan_plot, scratch_map, observer);
}
