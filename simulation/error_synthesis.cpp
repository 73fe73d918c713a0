#include "simulation/error_synthesis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "simulation/grey_levels.h"
#include "simulation/pixel_noise.h"
#include "simulation/random_generator.h"
#include "simulation/sphere_rows.h"
#include "simulation/surface_rows.h"

double gamma_cosine(double c, double gamma) {
  // pow(x, 1) is x, but 2 ((1 + c) / 2) - 1 need not be c: gamma 1 keeps
  // the level of a picture without errors to the bit.
  if (gamma == 1.0) return c;
  return 2.0 * std::pow((1.0 + c) / 2.0, gamma) - 1.0;
}

std::vector<double> blur_weights(double sigma) {
  if (!(sigma > 0.0)) return {};
  const double reach = std::ceil(4.0 * sigma);
  const int radius = reach < kMaxBlurRadius ? static_cast<int>(reach) : kMaxBlurRadius;
  std::vector<double> weights(static_cast<std::size_t>(radius) + 1);
  const double spread = 2.0 * sigma * sigma;
  weights[0] = 1.0;
  double total = 1.0;
  for (int d = 1; d <= radius; ++d) {
    const double distance = d;
    weights[static_cast<std::size_t>(d)] = std::exp(-(distance * distance) / spread);
    total += 2.0 * weights[static_cast<std::size_t>(d)];
  }
  for (double& w : weights) w /= total;
  return weights;
}

void blur_levels(std::vector<double>& levels, std::size_t width, std::size_t height,
                 const std::vector<double>& weights) {
  if (weights.size() < 2 || width == 0 || height == 0) return;
  const std::size_t radius = weights.size() - 1;

  // Along each row: the row with `radius` copies of its end pixels on
  // either side, so that every neighbour is read without a bounds check.
  std::vector<double> padded(width + 2 * radius);
  for (std::size_t i = 0; i < height; ++i) {
    double* row = &levels[i * width];
    std::fill(padded.begin(), padded.begin() + static_cast<std::ptrdiff_t>(radius), row[0]);
    std::copy(row, row + width, padded.begin() + static_cast<std::ptrdiff_t>(radius));
    std::fill(padded.begin() + static_cast<std::ptrdiff_t>(radius + width), padded.end(), row[width - 1]);
    for (std::size_t j = 0; j < width; ++j) {
      const double* at = &padded[j + radius];
      const double own = *at;
      double sum = 0.0;
      for (std::size_t d = 1; d <= radius; ++d) {
        const auto back = static_cast<std::ptrdiff_t>(d);
        sum += weights[d] * ((at[-back] - own) + (at[d] - own));
      }
      row[j] = own + sum;
    }
  }

  // Along each column, a whole row at a time (the same sum per pixel, in
  // the same order; rows are read where they lie in memory).
  const std::vector<double> source = levels;
  std::vector<double> sums(width);
  const auto source_row = [&](std::ptrdiff_t i) {
    const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(height) - 1;
    return &source[static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(i, 0, last)) * width];
  };
  for (std::size_t i = 0; i < height; ++i) {
    const auto row_index = static_cast<std::ptrdiff_t>(i);
    const double* own = source_row(row_index);
    std::fill(sums.begin(), sums.end(), 0.0);
    for (std::size_t d = 1; d <= radius; ++d) {
      const double* below = source_row(row_index - static_cast<std::ptrdiff_t>(d));
      const double* above = source_row(row_index + static_cast<std::ptrdiff_t>(d));
      const double w = weights[d];
      for (std::size_t j = 0; j < width; ++j) sums[j] += w * ((below[j] - own[j]) + (above[j] - own[j]));
    }
    double* row = &levels[i * width];
    for (std::size_t j = 0; j < width; ++j) row[j] = own[j] + sums[j];
  }
}

uint16_t deep_sample(double v, int bits) {
  const double top = static_cast<double>((1 << bits) - 1);
  const double scaled = v * top / 254.0;
  const double low = scaled > 0.0 ? scaled : 0.0;  // not a number: 0
  const double clamped = low < top ? low : top;
  return static_cast<uint16_t>(clamped);
}

int picture_bits(const FrameErrors& errors) { return std::clamp(errors.bits, 8, 16); }

namespace {

// The noise-free levels of every pixel, row 0 first, gamma applied.
template <typename Rows>
void gamma_levels(const Rows& rows, double gamma, std::size_t width, std::size_t height, double* levels) {
  const double contrast = rows.contrast();
  const double shift = rows.shift();
  for (std::size_t i = 0; i < height; ++i)
    for (std::size_t j = 0; j < width; ++j) {
      const double c = gamma_cosine(rows.exact_cosine(static_cast<int32_t>(i), j), gamma);
      levels[i * width + j] = (contrast * c + 1.0) * 127.0 - shift;
    }
}

}  // namespace

GreyImageOwner error_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                    uint64_t& generator) {
  const auto width = static_cast<std::size_t>(params.x_pixels > 0 ? params.x_pixels : 0);
  const auto height = static_cast<std::size_t>(params.y_pixels > 0 ? params.y_pixels : 0);
  // A side no picture can have: no levels to work out.
  if (width == 0 || height == 0 || params.x_pixels > kMaxImageSide || params.y_pixels > kMaxImageSide) return nullptr;
  const double g = clamp_unit(params.dynamic);
  try {
    std::vector<double> levels(width * height);
    if (drawn_as_plain_sphere(params.surface))
      gamma_levels(SphereRows(params, g, kDarkFloor), params.errors.gamma, width, height, levels.data());
    else
      gamma_levels(SurfaceRows(params, g, kDarkFloor), params.errors.gamma, width, height, levels.data());
    return picture_of_levels(levels, params, max_noise, additive_range, generator);
  } catch (const std::bad_alloc&) {
    return nullptr;  // nothing drawn yet: the work rows come before the noise
  }
}

GreyImageOwner picture_of_levels(std::vector<double>& levels, const SimParams& params, int32_t max_noise,
                                 int32_t additive_range, uint64_t& generator) {
  const FrameErrors& errors = params.errors;
  const int bits = picture_bits(errors);
  GreyImageOwner image(img_create_rows_unfilled(bits == 8 ? 1 : 2, params.x_pixels, params.y_pixels));
  if (!image) return nullptr;
  const auto width = static_cast<std::size_t>(image->width);
  const auto height = static_cast<std::size_t>(image->height);
  try {
    blur_levels(levels, width, height, blur_weights(errors.blur));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  // The noise as plain_fringe_picture draws it, pixel after pixel.
  const Noise noise = pixel_noise(clamp_unit(params.noise), max_noise, additive_range);
  const RandomJump pixel = random_jump(static_cast<uint64_t>(noise.draws));
  for (std::size_t i = 0; i < height; ++i) {
    uint8_t* line = img_line(image.get(), static_cast<int32_t>(i));
    for (std::size_t j = 0; j < width; ++j) {
      double v = levels[i * width + j] + errors.ambient;
      if (noise.weight == 0.0) {
        // Without noise the shaped value is still drawn, and v stays.
        if (noise.proportional) generator = jumped_state(generator, kOneDraw);
      } else {
        const PixelDraws draws = draws_at(noise, jumped_state(generator, kOneDraw));
        v = noise.value(v, draws.sign, draws.amount, draws.n);
        generator = jumped_state(generator, pixel);
      }
      if (bits == 8) {
        line[j] = grey_byte(v);
      } else {
        const uint16_t sample = deep_sample(v, bits);
        std::memcpy(line + 2 * j, &sample, sizeof sample);
      }
    }
  }
  return image;
}
