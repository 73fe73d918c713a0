#include "render/picture.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

// Products of line lengths (up to 2^32 between two int coordinates) exceed
// 64 bits; the first visible step of a long line is found with 128 bits.
__extension__ typedef __int128 Wide;

void check_side(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxPictureSide || height > kMaxPictureSide)
    throw std::invalid_argument("picture size " + std::to_string(width) + " x " + std::to_string(height) +
                                " is outside 0.." + std::to_string(kMaxPictureSide));
}

uint8_t blue_of(CanvasColour colour) { return static_cast<uint8_t>(colour >> 16); }
uint8_t green_of(CanvasColour colour) { return static_cast<uint8_t>(colour >> 8); }
uint8_t red_of(CanvasColour colour) { return static_cast<uint8_t>(colour); }

}  // namespace

Picture::Picture(int width, int height, PixelFormat format) : format_(format) {
  check_side(width, height);
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<std::size_t>(bytes_per_line()) * static_cast<std::size_t>(height), 0);
}

void Picture::resize(int width, int height) {
  check_side(width, height);
  Picture resized(width, height, format_);
  const std::size_t shared_bytes =
      static_cast<std::size_t>(std::min(width, width_)) * static_cast<std::size_t>(bytes_per_pixel());
  for (int y = 0; y < std::min(height, height_); ++y) std::memcpy(resized.row(y), row(y), shared_bytes);
  width_ = width;
  height_ = height;
  pixels_ = std::move(resized.pixels_);
}

void Picture::replace(Picture other) {
  width_ = other.width_;
  height_ = other.height_;
  format_ = other.format_;
  pixels_ = std::move(other.pixels_);
  colours_ = other.colours_;
}

Picture::PixelBytes Picture::pixel_bytes(CanvasColour colour) const {
  if (format_ == PixelFormat::bgr24) return {{blue_of(colour), green_of(colour), red_of(colour)}};
  // The nearest colour-table entry, the first of equally near ones.
  int best = 0;
  long best_distance = -1;
  for (int i = 0; i < 256; ++i) {
    const long db = long{colours_[4 * i]} - blue_of(colour);
    const long dg = long{colours_[4 * i + 1]} - green_of(colour);
    const long dr = long{colours_[4 * i + 2]} - red_of(colour);
    const long distance = db * db + dg * dg + dr * dr;
    if (best_distance < 0 || distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  return {{static_cast<uint8_t>(best), 0, 0}};
}

void Picture::fill_span(int x1, int x2, int y, const PixelBytes& value) {
  if (y < 0 || y >= height_) return;
  const int from = std::max(x1, 0);
  const int to = std::min(x2, width_);
  if (from >= to) return;
  if (format_ == PixelFormat::indexed8) {
    std::memset(row(y) + from, value.bytes[0], static_cast<std::size_t>(to - from));
    return;
  }
  uint8_t* p = row(y) + 3 * static_cast<std::size_t>(from);
  for (int x = from; x < to; ++x, p += 3) {
    p[0] = value.bytes[0];
    p[1] = value.bytes[1];
    p[2] = value.bytes[2];
  }
}

void Picture::rectangle(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 == x2 || y1 == y2) return;
  // Inside first, then the frame on the outermost pixels x1, x2 - 1, y1, y2 - 1.
  const PixelBytes brush = pixel_bytes(brush_);
  const PixelBytes pen = pixel_bytes(pen_);
  const int top = std::max(y1 + 1, 0);
  const int bottom = std::min(y2 - 1, height_);  // rows top..bottom-1 are inside the frame
  if (top < bottom) {
    // One row is filled pixel by pixel, the others copied from it.
    fill_span(x1 + 1, x2 - 1, top, brush);
    const int from = std::max(x1 + 1, 0);
    const int to = std::min(x2 - 1, width_);
    if (from < to) {
      const auto pixel = static_cast<std::size_t>(bytes_per_pixel());
      const std::size_t offset = static_cast<std::size_t>(from) * pixel;
      const std::size_t bytes = static_cast<std::size_t>(to - from) * pixel;
      for (int y = top + 1; y < bottom; ++y) std::memcpy(row(y) + offset, row(top) + offset, bytes);
    }
  }
  fill_span(x1, x2, y1, pen);
  fill_span(x1, x2, y2 - 1, pen);
  for (int y = std::max(y1, 0); y < std::min(y2, height_); ++y) {
    if (x1 >= 0 && x1 < width_) put(x1, y, pen);
    if (x2 - 1 >= 0 && x2 - 1 < width_) put(x2 - 1, y, pen);
  }
}

void Picture::move_to(int x, int y) {
  pen_x_ = x;
  pen_y_ = y;
}

void Picture::line_to(int x, int y) {
  const long long x0 = pen_x_;
  const long long y0 = pen_y_;
  pen_x_ = x;
  pen_y_ = y;
  const long long dx = x - x0;
  const long long dy = y - y0;
  const long long adx = dx < 0 ? -dx : dx;
  const long long ady = dy < 0 ? -dy : dy;
  const bool x_major = adx >= ady;
  const long long n = x_major ? adx : ady;  // steps drawn: the end point is left out
  const long long m = x_major ? ady : adx;
  if (n == 0 || width_ == 0 || height_ == 0) return;

  const long long major0 = x_major ? x0 : y0;
  const long long minor0 = x_major ? y0 : x0;
  const long long major_step = (x_major ? dx : dy) < 0 ? -1 : 1;
  const long long minor_step = (x_major ? dy : dx) < 0 ? -1 : 1;
  const long long major_limit = x_major ? width_ : height_;
  const long long minor_limit = x_major ? height_ : width_;

  // Only the steps whose major coordinate lies inside the picture are walked,
  // so a line of any length costs at most one picture side.
  long long first = 0;
  long long last = n - 1;
  if (major_step > 0) {
    first = std::max(first, -major0);
    last = std::min(last, major_limit - 1 - major0);
  } else {
    first = std::max(first, major0 - (major_limit - 1));
    last = std::min(last, major0);
  }
  if (first > last) return;

  // Minor offset of step i: floor((2 i m + n - 1) / 2n), i.e. i m / n rounded
  // to nearest with halves towards the start. Quotient and remainder are
  // carried from step to step.
  const long long two_n = 2 * n;
  long long offset = 0;
  long long remainder = n - 1;  // a line starting inside the picture: first = 0
  if (first > 0) {
    // Below 2^30 both factors keep the numerator within 64 bits, and the
    // division stays a single instruction.
    constexpr long long kNarrow = 1LL << 30;
    if (first < kNarrow && m < kNarrow) {
      const long long numerator = 2 * first * m + n - 1;
      offset = numerator / two_n;
      remainder = numerator % two_n;
    } else {
      const Wide numerator = Wide{2} * first * m + n - 1;
      offset = static_cast<long long>(numerator / two_n);
      remainder = static_cast<long long>(numerator % two_n);
    }
  }
  const PixelBytes pen = pixel_bytes(pen_);
  for (long long i = first; i <= last; ++i) {
    const long long major = major0 + major_step * i;
    const long long minor = minor0 + minor_step * offset;
    if (minor >= 0 && minor < minor_limit) {
      if (x_major)
        put(static_cast<int>(major), static_cast<int>(minor), pen);
      else
        put(static_cast<int>(minor), static_cast<int>(major), pen);
    }
    remainder += 2 * m;
    if (remainder >= two_n) {  // 2m <= 2n: at most one carry per step
      remainder -= two_n;
      ++offset;
    }
  }
}

void Picture::set_pixel(int x, int y, CanvasColour colour) {
  if (inside(x, y)) put(x, y, pixel_bytes(colour & kWhite));
}

CanvasColour Picture::pixel(int x, int y) const {
  if (!inside(x, y)) return kNoColour;
  const uint8_t* p = row(y) + static_cast<std::size_t>(x) * static_cast<std::size_t>(bytes_per_pixel());
  const uint8_t* bgr = format_ == PixelFormat::bgr24 ? p : colours_.data() + 4 * p[0];
  return CanvasColour{bgr[0]} << 16 | CanvasColour{bgr[1]} << 8 | bgr[2];
}
