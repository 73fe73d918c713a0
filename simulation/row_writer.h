// Grey bytes of a picture from the noise-free levels of its rows, in vectors
// where an estimate cannot change a byte and pixel by pixel where it could,
// with the generator's draws worked out side by side: what every vector path
// of the synthesis (the sphere's rows, another surface's, the rays') shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/grey_levels.h"
#include "simulation/pixel_noise.h"
#include "simulation/random_generator.h"
#include "simulation/synthesis_kernels.h"

// Writes the rows of one picture from their noise-free levels: grey bytes
// in vectors, the listed and tail columns exactly, each row's draws from a
// jump of the picture's first state.
class RowWriter {
 public:
  RowWriter(GreyImage* image, const Noise& noise, double contrast, uint64_t draws_per_row, uint64_t start)
      : image_(image),
        noise_(noise),
        contrast_(contrast),
        draws_per_row_(draws_per_row),
        start_(start),
        pixel_(random_jump(static_cast<uint64_t>(noise.draws))),
        listed_(static_cast<std::size_t>(image->width)) {}

  // Row i from `levels`; `rows` gives the exact level of any pixel of it.
  template <typename Rows>
  void make_row(const Rows& rows, int32_t i, const double* levels) {
    const auto width = static_cast<std::size_t>(image_->width);
    uint8_t* line = img_line(image_, i);
    uint32_t* listed = listed_.data();
    if (noise_.weight == 0.0) {
      // The term n * m * v / 255 is then a signed zero (v is never
      // infinite) and leaves v as it is.
      const KernelRow done = clean_grey_row(levels, width, contrast_ > 0.0 ? kLevelMargin : 0.0, line, listed);
      for (std::size_t k = 0; k < done.listed; ++k) line[listed[k]] = grey_byte(rows.exact_level(i, listed[k]));
      for (std::size_t j = done.done; j < width; ++j) line[j] = grey_byte(rows.exact_level(i, j));
      return;
    }
    // The draws of any row start where the generator stands after all the
    // rows below it: a jump of that many draws from the first.
    const uint64_t row_start = jumped_state(start_, random_jump(draws_per_row_ * static_cast<uint64_t>(i)));
    const uint64_t first = jumped_state(row_start, kOneDraw);  // after pixel 0's first draw
    // The margin for the largest shaped value |n| <= M: a little wider than
    // each pixel's own, which only sends a few more pixels to the exact path.
    const double margin = noise_.margin(contrast_, noise_.proportional ? -noise_.low : 0);
    const KernelRow done = noisy_grey_row(noise_, margin, levels, width, first, line, listed);
    for (std::size_t k = 0; k < done.listed; ++k) {
      const std::size_t j = listed[k];
      const uint64_t state = jumped_state(first, random_jump(static_cast<uint64_t>(noise_.draws) * j));
      line[j] = noisy_grey(noise_, rows.exact_level(i, j), state);
    }
    uint64_t state = jumped_state(first, random_jump(static_cast<uint64_t>(noise_.draws) * done.done));
    for (std::size_t j = done.done; j < width; ++j, state = jumped_state(state, pixel_))
      line[j] = noisy_grey(noise_, rows.exact_level(i, j), state);
  }

  // Where the generator stands after the whole picture.
  uint64_t end() const {
    return jumped_state(start_, random_jump(draws_per_row_ * static_cast<uint64_t>(image_->height)));
  }

 private:
  GreyImage* image_;
  Noise noise_;
  double contrast_;
  uint64_t draws_per_row_;
  uint64_t start_;
  RandomJump pixel_;
  std::vector<uint32_t> listed_;
};

// Every row of the picture from the noise-free levels of `rows` (the
// sphere's, or another surface's: both give the levels of a row, whether two
// rows have the same levels, and the exact level of any pixel).
template <typename Rows>
void make_rows(Rows& rows, GreyImage* image, const Noise& noise, double contrast, uint64_t draws_per_row,
               uint64_t& generator) {
  RowWriter writer(image, noise, contrast, draws_per_row, generator);
  // Rows i and H-1-i are made one after the other: mirrored about the image
  // centre, they often share their levels.
  const int32_t height = image->height;
  for (int32_t i = 0; i < (height + 1) / 2; ++i) {
    const int32_t partner = height - 1 - i;
    const double* levels = rows.row(i);
    writer.make_row(rows, i, levels);
    if (partner == i) continue;
    writer.make_row(rows, partner, rows.same_levels(i, partner) ? levels : rows.row(partner));
  }
  generator = writer.end();
}

// The noise of weight m and the draws a row of `width` pixels takes.
inline uint64_t row_draws(const Noise& noise, double m, int32_t width) {
  // Without noise each pixel still draws its shaped value (the image then
  // does not depend on the seed, yet the generator advances).
  return static_cast<uint64_t>(m == 0.0 ? (noise.proportional ? 1 : 0) : noise.draws) *
         static_cast<uint64_t>(width);
}

