#include "formats/sample_image.h"

bool describes_picture(const SampleImage& image) {
  return image.width >= 1 && image.height >= 1 && image.width <= kMaxImageSide &&
         image.height <= kMaxImageSide && image.channels >= 1 && image.channels <= 4 &&
         (image.bits == 8 || image.bits == 16) &&
         image.samples.size() == static_cast<std::size_t>(image.width) *
                                     static_cast<std::size_t>(image.height) *
                                     static_cast<std::size_t>(image.channels);
}

SampleImage rgb_samples(const Picture& picture) {
  SampleImage out;
  out.width = picture.width();
  out.height = picture.height();
  out.channels = 3;
  out.bits = 8;
  out.samples.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 3);
  const ColourTable& table = picture.colour_table();
  auto sample = out.samples.begin();
  for (int y = 0; y < out.height; ++y) {
    const uint8_t* pixel = picture.row(y);
    for (int x = 0; x < out.width; ++x) {
      // Blue, green, red, either in the pixel or in its table entry.
      const uint8_t* bgr = picture.format() == PixelFormat::bgr24
                               ? pixel + 3 * x
                               : table.data() + 4 * static_cast<std::size_t>(pixel[x]);
      *sample++ = bgr[2];
      *sample++ = bgr[1];
      *sample++ = bgr[0];
    }
  }
  return out;
}

SampleImage grey_samples(const GreyImage& image, int bits) {
  SampleImage out;
  out.width = image.width;
  out.height = image.height;
  out.channels = 1;
  out.bits = bits == 16 ? 16 : 8;
  const uint16_t scale = out.bits == 16 ? 257 : 1;
  out.samples.reserve(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  for (int32_t y = 0; y < image.height; ++y) {
    const uint8_t* row = img_line(&image, image.height - 1 - y);
    for (int32_t x = 0; x < image.width; ++x) out.samples.push_back(static_cast<uint16_t>(row[x] * scale));
  }
  return out;
}
