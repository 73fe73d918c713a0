// From wrapped phase to unwrapped phase: the flaw test, the fringe orders of
// the flood fill and the 16-bit combination.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "every_target.h"
#include "scan/image_processing.h"

namespace {

using Image = std::unique_ptr<GreyImage, decltype(&img_destroy)>;
Image make_image(int32_t type, int32_t width, int32_t height) {
  return Image(img_create(type, width, height), &img_destroy);
}

uint8_t& at(const Image& image, int32_t x, int32_t y) { return img_line(image.get(), y)[x]; }
uint16_t word_at(const Image& image, int32_t x, int32_t y) {
  uint16_t value;
  std::memcpy(&value, img_line(image.get(), y) + 2 * x, sizeof value);
  return value;
}

void fill(const Image& image, uint8_t value) {
  for (int32_t y = 0; y < image->height; ++y) std::memset(img_line(image.get(), y), value, static_cast<std::size_t>(image->width));
}

// Phase advancing `units` (1/256 period) per pixel to the right, wrapped.
Image phase_ramp(int32_t width, int32_t height, double units) {
  Image phase = make_image(1, width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) at(phase, x, y) = static_cast<uint8_t>(std::lrint(units * x));
  return phase;
}

// The flaw test written out pixel by pixel.
void plain_flaw_mask(const Image& mask, const Image& phase, int32_t threshold) {
  const auto p = [&](int32_t x, int32_t y) { return static_cast<int>(static_cast<int8_t>(at(phase, x, y))); };
  const auto wrap = [](int d) { return d < -128 ? 1 : d >= 128 ? -1 : 0; };
  const int32_t w = mask->width, h = mask->height;
  for (int32_t y = 1; y < h - 1; ++y) {
    for (int32_t x = 1; x < w - 1; ++x) {
      const int b = p(x, y);
      const int k1 = wrap(p(x, y + 1) - b);
      const int k2 = k1 + wrap(p(x + 1, y + 1) - p(x, y + 1));
      const int k3 = k2 + wrap(p(x + 1, y) - p(x + 1, y + 1));
      const int k4 = wrap(p(x, y - 1) - b);
      const int k5 = k4 + wrap(p(x - 1, y - 1) - p(x, y - 1));
      const int k6 = k5 + wrap(p(x - 1, y) - p(x - 1, y - 1));
      const int64_t a = std::abs(p(x + 1, y) + 256 * k3 + p(x - 1, y) + 256 * k6 - 2 * b);
      const int64_t bb = std::abs(p(x, y + 1) + 256 * k1 + p(x, y - 1) + 256 * k4 - 2 * b);
      if (a * a + bb * bb > int64_t{threshold} * threshold) at(mask, x, y) = 0;
    }
    at(mask, 0, y) = at(mask, w - 1, y) = 0;
  }
  for (int32_t x = 0; x < w; ++x) at(mask, x, 0) = at(mask, x, h - 1) = 0;
}

bool same_pixels(const Image& a, const Image& b) {
  for (int32_t y = 0; y < a->height; ++y)
    if (std::memcmp(img_line(a.get(), y), img_line(b.get(), y), static_cast<std::size_t>(a->width)) != 0) return false;
  return true;
}

TEST(FlawMask, MatchesThePixelByPixelTestOnNoiseForAnyThreshold) {
  std::mt19937 random(5);
  for (int32_t width : {37, 9, 3, 1026, 1027}) {
    // Full-range bytes wrap at almost every step; a narrow range never does.
    Image phase = make_image(1, width, 9);
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < width; ++x)
        at(phase, x, y) = static_cast<uint8_t>(width % 2 != 0 ? random() : random() % 96);
    for (int32_t threshold : {16, 0, -16, 100, 127, 3000, INT_MIN}) {
      Image expected = make_image(1, width, 9);
      fill(expected, 255);
      plain_flaw_mask(expected, phase, threshold);
      for_every_target([&] {
        Image mask = make_image(1, width, 9);
        fill(mask, 255);
        flaw_mask(mask.get(), phase.get(), threshold);
        EXPECT_TRUE(same_pixels(mask, expected)) << width << " / " << threshold;
      });
    }
  }
}

TEST(FlawMask, KeepsAWrappedRampAndRemovesASpike) {
  // One period per 10 pixels: the wraps are consistent, the second
  // differences at most 1.
  Image phase = phase_ramp(40, 12, 25.6);
  Image mask = make_image(1, 40, 12);
  fill(mask, 255);
  flaw_mask(mask.get(), phase.get(), 16);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 40; ++x)
      ASSERT_EQ(at(mask, x, y), x == 0 || x == 39 || y == 0 || y == 11 ? 0 : 255) << x << ", " << y;
  // 40 units above the ramp at (20, 6): A = 80 there, 40 at its neighbours.
  at(phase, 20, 6) = static_cast<uint8_t>(at(phase, 20, 6) + 40);
  flaw_mask(mask.get(), phase.get(), -16);  // acts as 16
  EXPECT_EQ(at(mask, 20, 6), 0);
  EXPECT_EQ(at(mask, 19, 6), 0);
  EXPECT_EQ(at(mask, 20, 7), 0);
  EXPECT_EQ(at(mask, 18, 6), 255);
  EXPECT_EQ(at(mask, 22, 6), 255);
  // Planes of another size are left alone.
  Image other = make_image(1, 40, 11);
  fill(other, 255);
  flaw_mask(other.get(), phase.get(), 16);
  EXPECT_EQ(at(other, 0, 5), 255);
}

TEST(UnwrapOrders, ARampUnwrapsToConsecutiveOrdersAndALinearPhase) {
  const int32_t w = 101, h = 21;
  Image phase = phase_ramp(w, h, 25.6);
  Image mask = make_image(1, w, h);
  Image out = make_image(2, w, h);
  fill(mask, 255);
  unwrap_orders(mask.get(), phase.get());
  combine_phase(out.get(), mask.get(), phase.get());
  EXPECT_EQ(at(mask, 50, 10), 128);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      // U grows by round(25.6 x) from the start pixel's 128 * 256 + p(50).
      const long expected = 128 * 256 + static_cast<int8_t>(at(phase, 50, 10)) + std::lrint(25.6 * x) - 1280;
      ASSERT_EQ(word_at(out, x, y), expected) << x << ", " << y;
    }
  EXPECT_EQ(at(mask, 4, 3), 123);  // order steps where the phase wraps: every 10 px
  EXPECT_EQ(at(mask, 100, 3), 133);
}

TEST(UnwrapOrders, PixelsNotConnectedToTheStartGetNoOrder) {
  Image phase = phase_ramp(30, 20, 25.6);
  Image mask = make_image(1, 30, 20);
  // The start pixel (15, 10) lies in a band of rows 8..12; a blob apart.
  for (int32_t y = 8; y <= 12; ++y)
    for (int32_t x = 2; x < 28; ++x) at(mask, x, y) = 255;
  for (int32_t y = 15; y <= 17; ++y)
    for (int32_t x = 5; x < 9; ++x) at(mask, x, y) = 255;
  unwrap_orders(mask.get(), phase.get());
  EXPECT_EQ(at(mask, 15, 10), 128);
  EXPECT_EQ(at(mask, 2, 8), 126);  // U falls by 333 units from column 15 to 2
  EXPECT_EQ(at(mask, 6, 16), 255);
  EXPECT_EQ(at(mask, 6, 14), 0);
  Image out = make_image(2, 30, 20);
  combine_phase(out.get(), mask.get(), phase.get());
  EXPECT_EQ(word_at(out, 6, 16), 0);
  EXPECT_EQ(word_at(out, 6, 14), 0);

  // With the start pixel excluded nothing gets an order.
  at(mask, 15, 10) = 0;
  at(mask, 14, 10) = 255;
  unwrap_orders(mask.get(), phase.get());
  EXPECT_EQ(at(mask, 14, 10), 255);
  EXPECT_EQ(at(mask, 15, 10), 0);
}

TEST(UnwrapOrders, OrdersStopAt1And254) {
  // One period per 4 pixels over 1101 columns: 137 periods either side of
  // the start, more than orders 1..254 can hold.
  const int32_t w = 1101, h = 3;
  Image phase = phase_ramp(w, h, 64.0);
  Image mask = make_image(1, w, h);
  Image out = make_image(2, w, h);
  fill(mask, 255);
  unwrap_orders(mask.get(), phase.get());
  combine_phase(out.get(), mask.get(), phase.get());
  int32_t lowest = 255, highest = 0, reached = 0;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const int order = at(mask, x, y);
      ASSERT_NE(order, 0);
      if (order == 255) {
        ASSERT_EQ(word_at(out, x, y), 0);
        continue;
      }
      ++reached;
      lowest = std::min(lowest, order);
      highest = std::max(highest, order);
      ASSERT_EQ(word_at(out, x, y), order * 256 + static_cast<int8_t>(at(phase, x, y)));
    }
  EXPECT_EQ(lowest, 1);
  EXPECT_EQ(highest, 254);
  EXPECT_EQ(at(mask, 0, 1), 255);
  EXPECT_EQ(at(mask, w - 1, 1), 255);
  EXPECT_EQ(reached, h * 4 * 254);  // orders 1..254, 4 pixels each
}

// The fill written out with coordinates and bounds: a stack, neighbours
// below, above, left and right, each marked when first reached.
void plain_unwrap(const Image& mask, const Image& phase) {
  const int32_t w = mask->width, h = mask->height;
  if (at(mask, w / 2, h / 2) != 255) return;
  at(mask, w / 2, h / 2) = 128;
  std::vector<std::pair<int32_t, int32_t>> stack{{w / 2, h / 2}};
  while (!stack.empty()) {
    const auto [x, y] = stack.back();
    stack.pop_back();
    const int order = at(mask, x, y);
    const int p = static_cast<int8_t>(at(phase, x, y));
    for (const auto& [nx, ny] : {std::pair{x, y - 1}, std::pair{x, y + 1}, std::pair{x - 1, y}, std::pair{x + 1, y}}) {
      if (nx < 0 || ny < 0 || nx >= w || ny >= h || at(mask, nx, ny) != 255) continue;
      const int d = static_cast<int8_t>(at(phase, nx, ny)) - p;
      const int next = order + (d < -128 ? 1 : 0) - (d >= 128 ? 1 : 0);
      if (next < 1 || next > 254) continue;
      at(mask, nx, ny) = static_cast<uint8_t>(next);
      stack.emplace_back(nx, ny);
    }
  }
}

// Noisy phases (so that the orders depend on the order of the visits),
// masks with holes, inside an unreachable border (the fill without bounds)
// and reaching the border (the bounded fill), orders that run out.
TEST(UnwrapOrders, BothFillsVisitAsThePlainFill) {
  std::mt19937 random(21);
  struct Case {
    int32_t width, height;
    double units;         // phase step per pixel to the right
    bool border_reached;  // mask pixels on the outermost rows or columns
  };
  for (const Case& c : {Case{1027, 61, 23.0, false}, Case{1027, 61, 23.0, true}, Case{300, 301, 64.0, false},
                        Case{5, 4, 40.0, false}, Case{3, 3, 10.0, false}, Case{64, 9, 3.0, true}}) {
    Image phase = phase_ramp(c.width, c.height, c.units);
    Image mask = make_image(1, c.width, c.height);
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) {
        at(phase, x, y) = static_cast<uint8_t>(at(phase, x, y) + static_cast<int>(random() % 160) - 80);
        const bool border = x == 0 || y == 0 || x == c.width - 1 || y == c.height - 1;
        const bool hole = random() % 9 == 0;
        at(mask, x, y) = (border && !c.border_reached) || hole ? 0 : 255;
      }
    at(mask, c.width / 2, c.height / 2) = 255;
    Image expected = make_image(1, c.width, c.height);
    img_copy(expected.get(), mask.get());
    plain_unwrap(expected, phase);
    unwrap_orders(mask.get(), phase.get());
    int32_t reached = 0;
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) {
        ASSERT_EQ(at(mask, x, y), at(expected, x, y)) << c.width << " x " << c.height << " at " << x << ", " << y;
        reached += at(mask, x, y) != 0 && at(mask, x, y) != 255;
      }
    if (c.width > 5) {
      EXPECT_GT(reached, c.width * c.height / 4) << c.width << " x " << c.height;
    }
  }
}

// Smooth phases, whose order steps add up the same along every path except
// where a case spoils them, under masks of many shapes: the fill by sweeps
// must give the visiting fill's orders wherever it is taken, and leave the
// plane to the visiting fill wherever it cannot be sure.
TEST(UnwrapOrders, SweepsGiveTheVisitingFillsOrders) {
  enum class Spoil { none, vortex, half_period, marked, pockets, spiral, random };
  struct Case {
    int32_t width, height;
    double units;         // phase step per pixel to the right
    double bowl;          // and a bowl around an off-centre point
    Spoil spoil;
  };
  std::mt19937 random(8);
  const Case cases[] = {
      {1280, 101, 25.6, 0.01, Spoil::none},  {77, 63, 23.0, 0.05, Spoil::none},  {66, 65, -40.0, 0.2, Spoil::none},
      {90, 70, 0.0, 0.4, Spoil::none},       {2, 3, 10.0, 0.0, Spoil::none},     {1, 9, 0.0, 3.0, Spoil::none},
      {90, 71, 5.0, 0.02, Spoil::vortex},    {130, 60, 3.0, 0.0, Spoil::half_period},
      {70, 50, 23.0, 0.05, Spoil::marked},   {150, 90, 23.0, 0.03, Spoil::pockets},
      {120, 120, 20.0, 0.02, Spoil::spiral}, {200, 200, 20.0, 0.01, Spoil::spiral},
      {1101, 5, 64.0, 0.0, Spoil::none},  // orders run out
      {1, 700, 0.0, 0.0, Spoil::random}};   // one column: no loop checks a step
  for (const Case& c : cases) {
    for (int variant = 0; variant < 6; ++variant) {
      const int32_t w = c.width, h = c.height;
      const double cx = w * (0.3 + 0.1 * variant), cy = h * (0.7 - 0.08 * variant);
      Image phase = make_image(1, w, h);
      Image mask = make_image(1, w, h);
      int walk = 0;
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          double units = c.units * x + c.bowl * ((x - cx) * (x - cx) + (y - cy) * (y - cy));
          if (c.spoil == Spoil::vortex) units += 256.0 / (2 * std::numbers::pi) * std::atan2(y - h * 0.4, x - w * 0.6);
          // Exactly half a period from one column to the next in every row:
          // the step there is -1 one way and 0 the other.
          if (c.spoil == Spoil::half_period && x >= w * (variant + 1) / 8) units += 128.0 - c.units;
          // Random steps, none of exactly half a period.
          if (c.spoil == Spoil::random) units = (walk += static_cast<int>(random() % 255) - 127);
          at(phase, x, y) = static_cast<uint8_t>(static_cast<int64_t>(std::floor(units)) & 0xFF);
          // An ellipse off the centre (variant 0: the whole picture), scattered holes.
          const double ex = (x - cx) / (0.8 * w), ey = (y - h * 0.5) / (0.6 * h);
          const bool inside = variant == 0 || ex * ex + ey * ey < 1.0;
          at(mask, x, y) = inside && random() % (variant + 2 > 4 ? 40 : 400) != 0 ? 255 : 0;
        }
      switch (c.spoil) {
        case Spoil::vortex:  // a hole the phase winds around once
          for (int32_t y = h * 4 / 10 - 2; y <= h * 4 / 10 + 2; ++y)
            for (int32_t x = w * 6 / 10 - 2; x <= w * 6 / 10 + 2; ++x) at(mask, x, y) = 0;
          break;
        case Spoil::marked:  // a pixel neither excluded nor waiting for an order
          at(mask, w / 4 + variant, h / 3) = static_cast<uint8_t>(1 + 50 * variant);
          break;
        case Spoil::pockets:  // walls shaped like a cap, open away from the start row
          for (int32_t k = 0; k < 20; ++k) {
            const int32_t x0 = 3 + static_cast<int32_t>(random() % static_cast<uint32_t>(w - 14));
            const int32_t y0 = 3 + static_cast<int32_t>(random() % static_cast<uint32_t>(h - 14));
            const bool below = y0 > h / 2;
            for (int32_t x = x0; x < x0 + 9; ++x) at(mask, x, below ? y0 : y0 + 8) = 0;
            for (int32_t y = y0; y < y0 + 9; ++y) at(mask, x0, y) = at(mask, x0 + 8, y) = 0;
          }
          break;
        case Spoil::spiral:  // a corridor that winds in: many sweeps, then the visiting fill
          // (nested square walls, each open at the corner facing away from
          // the opening of the next)
          for (int32_t ring = 2; ring < w / 2 - 2; ring += 4) {
            const int32_t lo = ring, hi = w - 1 - ring;
            const bool open_top_left = ring % 8 == 2;
            for (int32_t t = lo; t <= hi; ++t) {
              at(mask, t, lo) = at(mask, t, hi) = 0;
              if (!open_top_left || t > lo + 2) at(mask, lo, t) = 0;
              if (open_top_left || t < hi - 2) at(mask, hi, t) = 0;
            }
          }
          break;
        case Spoil::random:  // for odd variants only the rows below the start: every step taken one way
          if (variant % 2 != 0) at(mask, 0, h / 2 - 1) = 0;
          break;
        case Spoil::none:
        case Spoil::half_period:
          break;
      }
      at(mask, w / 2, h / 2) = 255;
      Image expected = make_image(1, w, h);
      img_copy(expected.get(), mask.get());
      plain_unwrap(expected, phase);
      for_every_target([&] {
        Image orders = make_image(1, w, h);
        img_copy(orders.get(), mask.get());
        unwrap_orders(orders.get(), phase.get());
        EXPECT_TRUE(same_pixels(orders, expected))
            << w << " x " << h << ", spoil " << static_cast<int>(c.spoil) << ", variant " << variant;
        // The sweeps alone: the fill's orders where they are sure, else the
        // mask untouched. Smooth phases within 1..254 they must take.
        img_copy(orders.get(), mask.get());
        const bool swept = unwrap_by_sweeps(orders.get(), phase.get());
        EXPECT_TRUE(same_pixels(orders, swept ? expected : mask))
            << w << " x " << h << ", spoil " << static_cast<int>(c.spoil) << ", variant " << variant;
        if (c.spoil == Spoil::none && c.units * w < 100 * 256 && variant < 4) {
          EXPECT_TRUE(swept) << w << " x " << h << ", variant " << variant;
        }
        if (c.spoil == Spoil::vortex || c.spoil == Spoil::half_period || c.spoil == Spoil::marked) {
          EXPECT_FALSE(swept) << w << " x " << h << ", spoil " << static_cast<int>(c.spoil) << ", variant " << variant;
        }
      });
    }
  }
}

TEST(CombinePhase, OrderTimes256PlusSignedPhase) {
  Image mask = make_image(1, 6, 1), phase = make_image(1, 6, 1), out = make_image(2, 6, 1);
  const uint8_t orders[] = {128, 1, 254, 0, 255, 130};
  const int8_t phases[] = {-128, -128, 127, 5, 5, 0};
  std::memcpy(img_line(mask.get(), 0), orders, 6);
  std::memcpy(img_line(phase.get(), 0), phases, 6);
  combine_phase(out.get(), mask.get(), phase.get());
  const uint16_t expected[] = {32640, 128, 65151, 0, 0, 33280};
  for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(word_at(out, x, 0), expected[x]) << x;
  // An 8-bit output plane or planes of another size are left alone.
  Image narrow = make_image(1, 6, 1);
  combine_phase(narrow.get(), mask.get(), phase.get());
  EXPECT_EQ(at(narrow, 0, 0), 0);
  Image shorter = make_image(2, 5, 1);
  combine_phase(shorter.get(), mask.get(), phase.get());
  EXPECT_EQ(word_at(shorter, 0, 0), 0);

  // Every order with every phase byte, sixteen pixels at a time and in the
  // 3 pixels of each row left over.
  Image all_orders = make_image(1, 259, 256), all_phases = make_image(1, 259, 256), all = make_image(2, 259, 256);
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 259; ++x) {
      img_line(all_orders.get(), y)[x] = static_cast<uint8_t>(x);
      img_line(all_phases.get(), y)[x] = static_cast<uint8_t>(y);
    }
  combine_phase(all.get(), all_orders.get(), all_phases.get());
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 259; ++x) {
      const int m = x % 256, p = static_cast<int8_t>(y);
      ASSERT_EQ(word_at(all, x, y), m == 0 || m == 255 ? 0 : m * 256 + p) << x << ", " << y;
    }
}

}  // namespace
