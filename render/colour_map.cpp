#include "render/colour_map.h"

#include <algorithm>
#include <vector>

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
  // Column by column, as the map stores its values: the levels of a column
  // at once, then its pixels down the rows (white beyond the map).
  const int on_map_rows = static_cast<int>(std::min<long long>(h, std::max(map.ny(), 0)));
  std::vector<int16_t> levels(static_cast<std::size_t>(h), -1);
  for (int c = 0; c < w; ++c) {
    if (c < map.nx()) class_levels(map.column(c), on_map_rows, min, max, levels.data());
    else std::fill(levels.begin(), levels.end(), int16_t{-1});
    for (int r = 0; r < h; ++r) {
      const int level = levels[static_cast<std::size_t>(r)];
      const auto& bgr = level < 0 ? kWhitePixel : colours.bgr[static_cast<std::size_t>(level)];
      uint8_t* pixel = picture.row(r) + static_cast<std::ptrdiff_t>(c) * 3;
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
