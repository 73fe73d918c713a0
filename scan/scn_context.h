// The engine's one context record behind ScnHandle.
#pragma once

#include "grey_image.h"
#include "scan.h"
#include "scn_matrix.h"

enum PlaneIndex {
  PLANE_SOURCE = 0,    // 8-bit: last loaded camera image
  PLANE_WORK = 1,      // 8-bit: smoothed copy, then wrapped phase
  PLANE_MASK = 2,      // 8-bit: mask (0 / 255), then fringe orders
  PLANE_SPARE = 3,     // 8-bit: never written
  PLANE_PHASE = 4,     // 16-bit: unwrapped phase, 0 where none
  PLANE_REFERENCE = 5  // 16-bit: phase kept by scn_SetReference
};
constexpr int kPlaneCount = 6;

// The ten parameters come first, laid out exactly as a ScnPar.
struct ScnContext {
  ScnPar par;
  GreyImage* planes[kPlaneCount];
  ScnMatrix profile;
};
