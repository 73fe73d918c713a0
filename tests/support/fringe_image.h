// Noise-free fringe images of a sphere for engine tests: the camera picture of
// vertical fringes of `period` pixels bent sideways by the sphere's height.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

#include "scan/grey_image.h"

struct SphereFringes {
  int32_t width = 1280;
  int32_t height = 1024;
  double pixel_size = 0.01;  // mm per pixel
  double period = 10.0;      // pixels
  double alpha_deg = 30.0;
  double radius = 7.5;       // mm
};

// Returns a new 8-bit image (caller destroys it); row 0 is the bottom row.
inline GreyImage* make_sphere_fringes(const SphereFringes& s) {
  GreyImage* image = img_create(1, s.width, s.height);
  if (image == nullptr) return nullptr;
  const double t = std::tan(std::numbers::pi * s.alpha_deg / 180.0);
  for (int32_t i = 0; i < s.height; ++i) {
    uint8_t* row = img_line(image, i);
    const double y = s.pixel_size * (i - (s.height - 1) * 0.5);
    for (int32_t j = 0; j < s.width; ++j) {
      const double x = s.pixel_size * (j - (s.width - 1) * 0.5);
      const double r2 = x * x + y * y;
      const double z = r2 < s.radius * s.radius ? std::sqrt(s.radius * s.radius - r2) - s.radius
                                                : -s.radius;
      const double phi = 2.0 * std::numbers::pi * (x + z * t) / (s.pixel_size * s.period);
      row[j] = static_cast<uint8_t>(127.0 * (std::cos(phi) + 1.0));
    }
  }
  return image;
}

// Writes the image as an 8-bit bitmap; true on success.
inline bool write_sphere_fringes(const SphereFringes& s, const char* path) {
  GreyImage* image = make_sphere_fringes(s);
  const bool ok = image != nullptr && img_save_bmp(image, path) == BMP_OK;
  img_destroy(image);
  return ok;
}
