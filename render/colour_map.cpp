#include "render/colour_map.h"

#include "render/colour_classes.h"

void render_map(const HeightMatrix& map, int x0, int x1, int y0, int y1, int n, Picture& image,
                ColourComponent blue, ColourComponent red, ColourComponent green, double min, double max) {
  const long long w = static_cast<long long>(x1) - x0 + 1;
  const long long h = static_cast<long long>(y1) - y0 + 1;
  if (w < 1 || h < 1 || w > kMaxPictureSide || h > kMaxPictureSide) return;

  const ClassColours colours = class_colours(level_thresholds(n), blue, red, green);
  static constexpr std::array<uint8_t, 3> kWhitePixel = {255, 255, 255};
  // A 24-bit picture of the same size is drawn over in its own memory, which
  // ends as replacing it would leave it (every pixel written, the colour
  // table the grey ramp of a new picture).
  const bool in_place = image.format() == PixelFormat::bgr24 && image.width() == w && image.height() == h;
  Picture fresh;
  if (!in_place) fresh = Picture(static_cast<int>(w), static_cast<int>(h), PixelFormat::bgr24);
  Picture& picture = in_place ? image : fresh;
  for (int r = 0; r < h; ++r) {
    uint8_t* pixel = picture.row(r);
    for (int c = 0; c < w; ++c, pixel += 3) {
      const bool on_map = c < map.nx() && r < map.ny();
      const int level = on_map ? class_level(map(c, r), min, max) : -1;
      const auto& bgr = level < 0 ? kWhitePixel : colours.bgr[static_cast<std::size_t>(level)];
      pixel[0] = bgr[0];
      pixel[1] = bgr[1];
      pixel[2] = bgr[2];
    }
  }
  if (in_place)
    image.set_colour_table(grey_ramp());
  else
    image.replace(std::move(fresh));
}

void render_full_map(const HeightMatrix& map, Picture& image, double min, double max, int classes) {
  render_map(map, 0, kMapSide - 1, 0, kMapSide - 1, classes, image, colour_blue, colour_red,
             colour_green, min, max);
}
