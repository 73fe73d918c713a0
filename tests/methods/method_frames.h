// Fringe frames of a known fringe shift for the methods' tests: frame k of a
// period lambda has phase 2 pi (x - width div 2 + shift(x, y)) / lambda +
// 2 pi k / steps, so the methods' heights are CamResX / tan(Alpha) * shift.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <numbers>
#include <vector>

#include "methods/phase_stepping.h"
#include "scan/default_par.h"
#include "scan/grey_image.h"

using ShiftFunction = std::function<double(int32_t x, int32_t y)>;

struct FrameRecipe {
  int32_t width = 256;
  int32_t height = 128;
  int bits = 16;              // 8: GreyImage type 1, else type 2 with levels 0 .. 2^bits - 1
  int steps = 4;
  std::vector<double> periods{16.0};
  double contrast = 0.9;
  ShiftFunction shift = [](int32_t, int32_t) { return 0.0; };
};

inline std::vector<GreyImageOwner> make_method_frames(const FrameRecipe& r) {
  const double top = r.bits == 8 ? 254.0 : std::ldexp(1.0, r.bits) - 1.0;
  std::vector<GreyImageOwner> frames;
  for (const double lambda : r.periods)
    for (int k = 0; k < r.steps; ++k) {
      GreyImageOwner frame(img_create(r.bits == 8 ? 1 : 2, r.width, r.height));
      for (int32_t y = 0; y < r.height; ++y)
        for (int32_t x = 0; x < r.width; ++x) {
          const double phi = 2.0 * std::numbers::pi * (x - r.width / 2 + r.shift(x, y)) / lambda + 2.0 * std::numbers::pi * k / r.steps;
          const double level = std::nearbyint((r.contrast * std::cos(phi) + 1.0) * 0.5 * top);
          const auto v = static_cast<uint16_t>(level);
          if (r.bits == 8) img_line(frame.get(), y)[x] = static_cast<uint8_t>(level);
          else std::memcpy(img_line(frame.get(), y) + 2 * x, &v, 2);
        }
      frames.push_back(std::move(frame));
    }
  return frames;
}

inline std::vector<const GreyImage*> frame_pointers(const std::vector<GreyImageOwner>& frames) {
  std::vector<const GreyImage*> pointers;
  for (const GreyImageOwner& f : frames) pointers.push_back(f.get());
  return pointers;
}

// Default parameters with an evaluation ellipse of `mask_radius_mm` (1e6: the whole frame).
inline ScnPar par_with_radius(double mask_radius_mm) {
  ScnPar par = kDefaultScnPar;
  par.MaskRadius = mask_radius_mm;
  return par;
}

// The sines and cosines of the `steps` phase steps, as the sums take them.
struct StepTables {
  std::vector<double> sines, cosines;
  explicit StepTables(int steps) {
    for (int k = 0; k < steps; ++k) {
      sines.push_back(std::sin(fringe::methods::phase_step(k, steps)));
      cosines.push_back(std::cos(fringe::methods::phase_step(k, steps)));
    }
  }
};

inline bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
