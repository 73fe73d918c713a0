#include "formats/grey_levels.h"

#include <cstring>

namespace {

struct Bytes {
  static uint32_t at(const uint8_t* s, std::size_t i) { return s[i]; }
};
struct Words {
  static uint32_t at(const uint8_t* s, std::size_t i) {
    uint16_t v;
    std::memcpy(&v, s + 2 * i, sizeof v);  // rows of a strip need not be aligned
    return v;
  }
};
struct BigEndianWords {
  static uint32_t at(const uint8_t* s, std::size_t i) {
    return (static_cast<uint32_t>(s[2 * i]) << 8) | s[2 * i + 1];
  }
};

template <typename Sample, bool wide>
void convert(const uint8_t* samples, int channels, std::size_t count, uint8_t* grey) {
  const std::size_t step = static_cast<std::size_t>(channels);
  if (channels >= 3) {
    for (std::size_t x = 0, i = 0; x < count; ++x, i += step) {
      const uint32_t r = Sample::at(samples, i);
      const uint32_t g = Sample::at(samples, i + 1);
      const uint32_t b = Sample::at(samples, i + 2);
      grey[x] = wide ? grey_from_rgb16(r, g, b) : grey_from_rgb8(r, g, b);
    }
  } else {
    for (std::size_t x = 0, i = 0; x < count; ++x, i += step) {
      const uint32_t v = Sample::at(samples, i);
      grey[x] = wide ? grey_from_16(v) : static_cast<uint8_t>(v);
    }
  }
}

template <typename Sample>
void convert16(const uint8_t* samples, int channels, std::size_t count, uint16_t* grey) {
  const std::size_t step = static_cast<std::size_t>(channels);
  for (std::size_t x = 0, i = 0; x < count; ++x, i += step) {
    grey[x] = channels >= 3 ? grey16_from_rgb16(Sample::at(samples, i), Sample::at(samples, i + 1),
                                                Sample::at(samples, i + 2))
                            : static_cast<uint16_t>(Sample::at(samples, i));
  }
}

}  // namespace

void grey_row(const uint8_t* samples, SampleLayout layout, int channels, std::size_t count,
              uint8_t* grey) {
  if (layout == SampleLayout::bytes && channels == 1) {
    std::memcpy(grey, samples, count);
    return;
  }
  switch (layout) {
    case SampleLayout::bytes:
      convert<Bytes, false>(samples, channels, count, grey);
      break;
    case SampleLayout::words:
      convert<Words, true>(samples, channels, count, grey);
      break;
    case SampleLayout::big_endian_words:
      convert<BigEndianWords, true>(samples, channels, count, grey);
      break;
  }
}

void grey_row16(const uint8_t* samples, SampleLayout layout, int channels, std::size_t count,
                uint16_t* grey) {
  switch (layout) {
    case SampleLayout::bytes:
      convert16<Bytes>(samples, channels, count, grey);
      break;
    case SampleLayout::words:
      convert16<Words>(samples, channels, count, grey);
      break;
    case SampleLayout::big_endian_words:
      convert16<BigEndianWords>(samples, channels, count, grey);
      break;
  }
}
