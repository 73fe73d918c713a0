// Pictures as interleaved samples, the form the PNG and TIFF writers take.
#pragma once

#include <cstdint>
#include <vector>

#include "render/picture.h"
#include "scan/grey_image.h"

// width x height pixels of `channels` samples each (1 grey, 2 grey + alpha,
// 3 RGB, 4 RGBA), rows top first, samples of a pixel in that order. Each
// sample holds a value below 2^bits; bits is 8 or 16.
struct SampleImage {
  int width = 0;
  int height = 0;
  int channels = 1;
  int bits = 8;
  std::vector<uint16_t> samples;  // width * height * channels

  uint16_t& at(int x, int y, int channel) {
    return samples[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)) *
                       static_cast<std::size_t>(channels) +
                   static_cast<std::size_t>(channel)];
  }
};

// True when the record describes a picture the writers take: sides of 1 to
// kMaxImageSide, 1 to 4 channels, 8 or 16 bits, and as many samples as that.
bool describes_picture(const SampleImage& image);

// The picture as shown, as 8-bit RGB: a 24-bit picture's blue, green, red
// bytes reordered, an 8-bit one's indices looked up in its colour table.
SampleImage rgb_samples(const Picture& picture);

// An engine image of the 8-bit kind as grey samples, top row first (the
// engine's last row): `bits` 8 keeps the levels, 16 multiplies them by 257.
SampleImage grey_samples(const GreyImage& image, int bits = 8);
