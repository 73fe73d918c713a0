// A picture in plain memory with the drawing surface of an image control.
//
// Two pixel formats: 8 bits per pixel with a 256-entry colour table, or 24
// bits per pixel stored as the bytes blue, green, red. Row 0 is the top row as
// the picture is shown (a bitmap file stores its rows the other way round;
// loading and saving flip them). Rows are contiguous, width * bytes per pixel
// bytes each, without padding.
//
// Canvas colours are 0x00BBGGRR values: 0x0000FF is pure red, 0 black,
// 0xFFFFFF white. On an 8-bit picture a colour is drawn as the index of the
// nearest colour-table entry. Everything drawn outside the picture is clipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scan/grey_image.h"

enum class PixelFormat { indexed8, bgr24 };

using CanvasColour = uint32_t;  // 0x00BBGGRR
constexpr CanvasColour kBlack = 0x000000;
constexpr CanvasColour kWhite = 0xFFFFFF;
constexpr CanvasColour kRed = 0x0000FF;
// What pixel() answers for a position outside the picture.
constexpr CanvasColour kNoColour = 0xFFFFFFFF;

// Sides beyond this are refused; bitmap files cannot hold more either.
constexpr int kMaxPictureSide = kMaxImageSide;

class Picture {
 public:
  // An empty 24-bit picture, 0 x 0.
  Picture() = default;
  // All pixel bytes zero (black, or colour-table entry 0); the colour table is
  // the grey ramp. Throws std::invalid_argument for a side outside
  // 0..kMaxPictureSide.
  Picture(int width, int height, PixelFormat format = PixelFormat::bgr24);

  int width() const { return width_; }
  int height() const { return height_; }
  PixelFormat format() const { return format_; }
  int bytes_per_pixel() const { return format_ == PixelFormat::indexed8 ? 1 : 3; }
  int bytes_per_line() const { return width_ * bytes_per_pixel(); }

  // Row y from the top; no range check (0 <= y < height).
  uint8_t* row(int y) {
    return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(bytes_per_line());
  }
  const uint8_t* row(int y) const {
    return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(bytes_per_line());
  }

  // Entries of blue, green, red, reserved; used by 8-bit pictures only.
  const ColourTable& colour_table() const { return colours_; }
  void set_colour_table(const ColourTable& table) { colours_ = table; }

  // New size, same format. The top-left part that both sizes share keeps its
  // pixels; new pixels are zero. Throws like the constructor.
  void resize(int width, int height);
  // Takes size, format, pixels and colour table of `other`. The canvas state
  // (pen, brush, current position) stays, as it belongs to the image control.
  void replace(Picture other);

  // ---- Canvas -------------------------------------------------------------
  CanvasColour pen_colour() const { return pen_; }
  void set_pen_colour(CanvasColour colour) { pen_ = colour & kWhite; }
  CanvasColour brush_colour() const { return brush_; }
  void set_brush_colour(CanvasColour colour) { brush_ = colour & kWhite; }

  // Outlines the pixels x1..x2-1, y1..y2-1 with the pen (one pixel wide) and
  // fills their inside with the brush: the right and bottom bounds are
  // excluded. Swapped corners are put in order first.
  void rectangle(int x1, int y1, int x2, int y2);

  // Current position for line_to.
  void move_to(int x, int y);
  // Draws with the pen from the current position towards (x, y), end point
  // excluded, and makes (x, y) the current position. The pixels set are, with
  // n = max(|dx|, |dy|) steps along the longer axis (x when |dx| = |dy|) and
  // m steps along the shorter, step i = 0..n-1 at offset i along the longer
  // axis and round(i * m / n) along the shorter one, halves rounded towards
  // the start point: the pixel set of the classic integer line algorithm.
  void line_to(int x, int y);
  int pen_x() const { return pen_x_; }
  int pen_y() const { return pen_y_; }

  void set_pixel(int x, int y, CanvasColour colour);
  // Colour shown at (x, y): for 8-bit pictures the colour-table entry of the
  // index; kNoColour outside the picture.
  CanvasColour pixel(int x, int y) const;

  // ---- Files --------------------------------------------------------------
  // Loads a bitmap file of 8, 24 or 32 bits per pixel (32 keeps blue, green,
  // red and drops the fourth byte). 8-bit files give an 8-bit picture with
  // their colour table. Throws FileError with the file name in the message;
  // the picture is unchanged then.
  void load_bmp(const std::string& file);
  // 8-bit pictures are written with their colour table, 24-bit pictures as
  // 24-bit files. Throws FileError when the file cannot be written or the
  // picture is empty.
  void save_bmp(const std::string& file, Durability durability = Durability::synced) const;

 private:
  // Bytes of `colour` for this picture's format: one index or blue, green, red.
  struct PixelBytes {
    uint8_t bytes[3];
  };
  PixelBytes pixel_bytes(CanvasColour colour) const;
  void put(int x, int y, const PixelBytes& value) {
    uint8_t* p = row(y) + static_cast<std::size_t>(x) * static_cast<std::size_t>(bytes_per_pixel());
    p[0] = value.bytes[0];
    if (format_ == PixelFormat::bgr24) {
      p[1] = value.bytes[1];
      p[2] = value.bytes[2];
    }
  }
  bool inside(long long x, long long y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  void fill_span(int x1, int x2, int y, const PixelBytes& value);  // x1..x2-1, clipped

  int width_ = 0;
  int height_ = 0;
  PixelFormat format_ = PixelFormat::bgr24;
  std::vector<uint8_t> pixels_;
  ColourTable colours_ = grey_ramp();

  CanvasColour pen_ = kBlack;
  CanvasColour brush_ = kWhite;
  int pen_x_ = 0;
  int pen_y_ = 0;
};
