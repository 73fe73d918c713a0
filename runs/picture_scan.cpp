#include "runs/picture_scan.h"

#include <sys/stat.h>

#include "common/errors.h"
#include "formats/camera_picture.h"
#include "scan/default_par.h"
#include "scan/engine_image.h"
#include "scan/include/scan.h"

namespace {

// The engine's context for one scan, released however the scan ends.
class EngineSession {
 public:
  // The scan reads no plane before processing has written it.
  EngineSession() : handle_(engine_init_for_processing()) {}
  ~EngineSession() { scn_Exit(handle_); }
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;
  ScnHandle get() const { return handle_; }

 private:
  ScnHandle handle_;
};

// Which file a name stands for, to tell a replaced profile from the one before.
struct FileIdentity {
  bool exists = false;
  bool written_in_place = false;  // a device, FIFO or socket (common/replace_file.h)
  dev_t device = 0;
  ino_t inode = 0;
};

FileIdentity identity_of(const std::string& file) {
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) return {};
  const bool in_place = !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
  return {true, in_place, status.st_dev, status.st_ino};
}

// The engine takes the picture's pixels: nothing reads the picture after.
void load(ScnHandle handle, GreyImage& image, const std::string& file) {
  if (take_engine_image(handle, &image) != SCN_OK)
    throw file_error(FileAction::read, file, ": the engine cannot take the picture");
}

}  // namespace

void scan_picture(const std::string& picture, const std::optional<std::string>& reference,
                  const std::string& ini_file, const std::string& section,
                  const std::string& profile_file, Durability durability) {
  // Both pictures are read before the engine runs: a bad one stops the scan
  // with nothing written.
  const GreyImageOwner reference_image = reference ? read_camera_picture(*reference) : nullptr;
  const GreyImageOwner image = read_camera_picture(picture);

  const EngineSession engine;
  ScnHandle handle = engine.get();
  if (handle == nullptr) throw file_error(FileAction::read, picture, ": the engine cannot take the picture");
  // Pre-filled with the defaults, so a key whose text is not a number falls
  // back to its default instead of to an indeterminate value.
  ScnPar par = kDefaultScnPar;
  scn_LoadPar(&par, ini_file.c_str(), section.c_str());
  scn_SetPar(handle, &par);
  int32_t with_reference = 0;
  if (reference_image != nullptr) {
    load(handle, *reference_image, *reference);
    scn_ImageProcessing(handle);
    scn_SetReference(handle);
    with_reference = 1;
  }
  load(handle, *image, picture);
  scn_ImageProcessing(handle);
  scn_ProfileCalculation(handle, with_reference);

  // The engine reports nothing, and replaces the profile by renaming a new
  // file over it: if the name still leads to the file from before, the write
  // failed, and the earlier result must not pass for the new one.
  const FileIdentity before = identity_of(profile_file);
  save_engine_profile(handle, profile_file.c_str(), durability);
  const FileIdentity after = identity_of(profile_file);
  if (before.written_in_place) return;  // nothing to compare
  if (!after.exists || (before.exists && before.device == after.device && before.inode == after.inode))
    throw file_error(FileAction::create, profile_file);
}
