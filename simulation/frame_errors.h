// The projector's and the camera's errors the synthesis can add to a fringe
// picture. Each is off by default; a picture without any is made exactly as
// it always was.
#pragma once

struct FrameErrors {
  // Projector gamma: cos(phi) in the level's formula becomes
  // 2 ((1 + cos(phi)) / 2)^gamma - 1. 1: none. Must be > 0.
  double gamma = 1.0;
  // Defocus: a Gaussian blur of this many pixels (sigma) of the noise-free
  // levels. 0: none. Must be >= 0.
  double blur = 0.0;
  // Camera bit depth, 8..16. Deeper than 8 bits the levels (0..254 for 8
  // bits) are scaled to the depth's full range before the rounding and the
  // picture holds 16-bit samples.
  int bits = 8;
  // A constant ambient level added to every noise-free level, grey levels of
  // the 8-bit scale. 0: none. Must be >= 0.
  double ambient = 0.0;

  bool none() const { return gamma == 1.0 && blur == 0.0 && bits == 8 && ambient == 0.0; }
};
