#include "runs/picture_scan.h"

#include <sys/stat.h>

#include <string>

#include "analysis/height_text_file.h"
#include "common/errors.h"
#include "formats/camera_picture.h"
#include "scan/default_par.h"
#include "scan/include/scan.h"
#include "scan/profile_file.h"
#include "scan/scan_engine.h"

namespace {

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

}  // namespace

std::string reference_size_mismatch(const GreyImage& reference, const GreyImage& picture,
                                    const std::string& picture_file) {
  if (reference.width == picture.width && reference.height == picture.height && reference.type == picture.type)
    return "";
  const auto size = [](const GreyImage& image) {
    return std::to_string(image.width) + " x " + std::to_string(image.height) + " pixels of " +
           (image.type == 2 ? "16" : "8") + " bits";
  };
  return "the reference is " + size(reference) + ", the picture" +
         (picture_file.empty() ? std::string() : " (" + picture_file + ")") + " " + size(picture);
}

void require_readable_profile(const ScnMatrix& profile, const std::string& profile_file) {
  const int nx = profile.values != nullptr ? profile.cols : 0;
  const int ny = profile.values != nullptr ? profile.rows : 0;
  if (nx < 1 || ny < 1 || nx > kMaxProfileSide || ny > kMaxProfileSide)
    throw file_error(FileAction::read, profile_file,
                     ": grid size " + std::to_string(nx) + " x " + std::to_string(ny) + " out of range");
}

void scan_picture(const std::string& picture, const std::optional<std::string>& reference,
                  const std::string& ini_file, const std::string& section,
                  const std::string& profile_file, Durability durability, QualityCheck* check) {
  // Both pictures are read before the engine runs: a bad one stops the scan
  // with nothing written.
  const GreyImageOwner reference_image = reference ? read_camera_picture(*reference) : nullptr;
  const GreyImageOwner image = read_camera_picture(picture);
  // The engine would take a reference of another size without a word and
  // measure as if there were none.
  if (reference_image)
    if (const std::string mismatch = reference_size_mismatch(*reference_image, *image, picture); !mismatch.empty())
      throw file_error(FileAction::read, *reference, ": " + mismatch);

  // Pre-filled with the defaults, so a key whose text is not a number falls
  // back to its default instead of to an indeterminate value.
  ScnPar par = kDefaultScnPar;
  scn_LoadPar(&par, ini_file.c_str(), section.c_str());
  ScanEngine engine;
  // The engine takes the pictures' pixels: nothing reads them after.
  const ScanEngine::Outcome outcome =
      checked_engine_scan(engine, *image, par, reference_image.get(), check, picture);
  if (outcome != ScanEngine::Outcome::scanned)
    throw file_error(FileAction::read, outcome == ScanEngine::Outcome::reference_refused ? *reference : picture,
                     ": the engine cannot take the picture");

  write_scanned_profile(engine.profile(), profile_file, durability);
}

void write_scanned_profile(const ScnMatrix& profile, const std::string& profile_file, Durability durability) {
  // Before it could replace an earlier profile.
  require_readable_profile(profile, profile_file);
  // The writer reports nothing, and replaces the profile by renaming a new
  // file over it: if the name still leads to the file from before, the write
  // failed, and the earlier result must not pass for the new one.
  const FileIdentity before = identity_of(profile_file);
  save_profile(profile, profile_file.c_str(), durability);
  const FileIdentity after = identity_of(profile_file);
  if (before.written_in_place) return;  // nothing to compare
  if (!after.exists || (before.exists && before.device == after.device && before.inode == after.inode))
    throw file_error(FileAction::create, profile_file);
}
