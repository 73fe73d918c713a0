// Handing the engine a camera picture that is already in memory. The
// workbench reads PNG and TIFF pictures (formats/) into a GreyImage and gives
// it to the engine here, so that the same picture in any file kind reaches
// the processing chain as the same bytes. Not part of libscan's C interface:
// the symbol stays hidden like every other internal one.
#pragma once

#include <cstdint>

#include "grey_image.h"
#include "scan.h"

// Makes `image` the engine's source image exactly as scn_LoadImage does with
// a bitmap file: the planes are kept when the size is unchanged and made anew
// otherwise. The image must be the 8-bit kind (type 1) with rows in bitmap
// order (row 0 the bottom row of the picture); its colour table is ignored, as
// the loader ignores a file's. The engine copies the pixels; the caller keeps
// the image. Returns SCN_OK, or SCN_FAILED for a null handle or image, another
// kind of image, or when the planes cannot be made (the context then holds no
// planes, as after a failed scn_LoadImage).
int32_t load_engine_image(ScnHandle handle, const GreyImage* image);
// The same for a caller done with the image: the engine takes its pixel
// block instead of copying it, and the image is left with a block of the same
// size whose pixels are unspecified (it is still destroyed by the caller).
int32_t take_engine_image(ScnHandle handle, GreyImage* image);

// scn_Init for a caller that loads an image and processes it (and sets it as
// reference) before it reads any plane: processing writes every pixel of the
// planes it uses, so the camera-sized planes are not cleared first. The
// spare plane, and the reference plane until scn_SetReference, hold
// unspecified pixels. Ended with scn_Exit as usual.
ScnHandle engine_init_for_processing();

// The same planes for a context of the caller's own (scan_engine.h), of the
// picture's size; false, with no planes left, when memory runs out.
struct ScnContext;
bool make_processing_planes(ScnContext& context, int32_t width, int32_t height);
// What scn_Exit releases: the profile and the planes.
void release_engine_context(ScnContext& context);

// scn_SaveProfile with the durability the caller chooses (common/
// replace_file.h): the C interface syncs, the chain's own working profiles
// are not waited for on the disk.
void save_engine_profile(ScnHandle handle, const char* profileFile, Durability durability);
