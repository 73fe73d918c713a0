// An engine context of the caller's own, for the chain in memory: each
// ScanEngine holds its planes and profile, so threads that each own one scan
// side by side. (The C interface keeps its one context for C callers.)
#pragma once

#include "grey_image.h"
#include "scan.h"
#include "scn_context.h"

class ScanEngine {
 public:
  ScanEngine();
  ~ScanEngine();
  ScanEngine(const ScanEngine&) = delete;
  ScanEngine& operator=(const ScanEngine&) = delete;

  // Scans `picture` (8-bit, rows in bitmap order: row 0 at the bottom) with
  // `par`, relative to `reference` when one is given, exactly as the C
  // interface's load, processing and profile calculation do. The engine takes
  // the pictures' pixels (they are left with blocks of unspecified pixels).
  // Anything but `scanned` when the engine cannot take a picture (another
  // kind of image, no memory for its planes); the profile is then empty. The
  // planes are kept for the next scan of a picture of the same size.
  enum class Outcome { scanned, reference_refused, picture_refused };
  Outcome scan(GreyImage& picture, const ScnPar& par, GreyImage* reference = nullptr);

  // The last scan's profile (row 0 at the bottom of the picture).
  const ScnMatrix& profile() const { return context_.profile; }
  ScnHandle handle() { return &context_; }

 private:
  ScnContext context_{};
};
