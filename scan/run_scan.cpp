#include "run_scan.h"

#include "default_par.h"
#include "engine_image.h"
#include "scan.h"

void run_scan(const char* imageFile, const char* referenceFile, const char* iniFile,
              const char* section, const char* profileFile) {
  // Nothing reads a plane before processing has written it.
  ScnHandle handle = engine_init_for_processing();
  // Pre-filled with the defaults, so a key whose text is not a number falls
  // back to its default instead of to an indeterminate value.
  ScnPar par = kDefaultScnPar;
  scn_LoadPar(&par, iniFile, section);
  scn_SetPar(handle, &par);
  int32_t withReference = 0;
  if (referenceFile != nullptr) {
    scn_LoadImage(handle, referenceFile);
    scn_ImageProcessing(handle);
    scn_SetReference(handle);
    withReference = 1;
  }
  scn_LoadImage(handle, imageFile);
  scn_ImageProcessing(handle);
  scn_ProfileCalculation(handle, withReference);
  save_engine_profile(handle, profileFile, Durability::atomic_only);  // the chain's working profile
  scn_Exit(handle);
}
