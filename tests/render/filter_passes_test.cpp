// The two picture filters take their pass counts from boxes the user types
// into: a huge count must end, and stopping once a pass changes nothing must
// give the bytes of the full run. The binomial pass sums 16 pixels at a time
// and must give the bytes of the plain pixel-by-pixel pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>

#include "every_target.h"
#include "pixel_art.h"
#include "render/binomial_filter.h"
#include "render/mean_filter.h"
#include "render/row_smoothing.h"

namespace {

Picture random_picture(int width, int height, PixelFormat format, unsigned seed) {
  Picture picture(width, height, format);
  std::mt19937 draw(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < picture.bytes_per_line(); ++x) picture.row(y)[x] = static_cast<uint8_t>(draw());
  return picture;
}

bool same_bytes(const Picture& a, const Picture& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) return false;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.bytes_per_line(); ++x)
      if (a.row(y)[x] != b.row(y)[x]) return false;
  return true;
}

// One binomial pass pixel by pixel, each result written at once.
void plain_binomial_pass(Picture& picture) {
  const int w = picture.width(), h = picture.height(), s = picture.bytes_per_pixel();
  for (int c = 0; c < s; ++c) {
    for (int j = 1; j < h - 1; ++j) {
      const uint8_t* up = picture.row(j - 1) + c;
      uint8_t* middle = picture.row(j) + c;
      const uint8_t* down = picture.row(j + 1) + c;
      for (int k = 0; k < w; ++k) {
        const int at = k * s;
        if (k == 0 || k == w - 1) {
          middle[at] = smooth_vertical_121(up[at], middle[at], down[at]);
          continue;
        }
        const int sum = up[at - s] + 2 * up[at] + up[at + s] + 2 * middle[at - s] + 4 * middle[at] +
                        2 * middle[at + s] + down[at - s] + 2 * down[at] + down[at + s];
        middle[at] = static_cast<uint8_t>(sum >> 4);
      }
    }
    if (h < 1) continue;
    smooth_row_121(picture.row(0) + c, w, s);
    smooth_row_121(picture.row(h - 1) + c, w, s);
  }
}

// `passes` binomial passes one call at a time: a single pass cannot stop early.
Picture binomial_one_by_one(Picture picture, int passes) {
  for (int i = 0; i < passes; ++i) binomial_filter(picture, 1);
  return picture;
}

// Single passes until one changes nothing; the number of passes that changed.
int passes_until_settled(Picture picture) {
  for (int count = 0;; ++count) {
    const Picture before = picture;
    binomial_filter(picture, 1);
    if (same_bytes(before, picture)) return count;
  }
}

// The mean filter with every pass and every border smoothing run, n * n of
// them, as the header describes it without the early stops.
Picture mean_every_pass(Picture picture, int n) {
  const int w = picture.width(), h = picture.height(), s = picture.bytes_per_pixel();
  for (int pass = 0; pass < n; ++pass)
    for (int c = 0; c < s; ++c) {
      for (int j = 1; j < h - 1; ++j) {
        const uint8_t* up = picture.row(j - 1) + c;
        uint8_t* middle = picture.row(j) + c;
        const uint8_t* down = picture.row(j + 1) + c;
        for (int k = 0; k < w; ++k) {
          const int at = k * s;
          if (k == 0 || k == w - 1) {
            middle[at] = smooth_vertical_121(up[at], middle[at], down[at]);
            continue;
          }
          int sum = 0;
          for (int d = -s; d <= s; d += s) sum += up[at + d] + middle[at + d] + down[at + d];
          middle[at] = static_cast<uint8_t>(sum / 9);
        }
      }
      for (int i = 0; i < n; ++i) {
        smooth_row_121(picture.row(0) + c, w, s);
        smooth_row_121(picture.row(h - 1) + c, w, s);
      }
    }
  return picture;
}

TEST(BinomialFilterPasses, VectorsOfPixelsMatchThePlainPassAtEveryTarget) {
  for_every_target([] {
    unsigned seed = 10;
    for (const PixelFormat format : {PixelFormat::indexed8, PixelFormat::bgr24}) {
      for (int width = 1; width <= 80; ++width) {
        for (const int height : {1, 2, 3, 5}) {
          Picture fast = random_picture(width, height, format, ++seed);
          Picture plain = fast;
          binomial_filter(fast, 2);
          plain_binomial_pass(plain);
          plain_binomial_pass(plain);
          ASSERT_TRUE(same_bytes(fast, plain)) << width << " x " << height;
        }
      }
    }
  });
  // All 255 is the largest sum; a camera-wide picture with ramps and noise.
  Picture white(37, 4, PixelFormat::indexed8);
  for (int y = 0; y < 4; ++y) std::fill(white.row(y), white.row(y) + 37, uint8_t{255});
  const Picture all_white = white;
  binomial_filter(white, 3);
  EXPECT_TRUE(same_bytes(white, all_white));
  Picture fast = random_picture(1280, 6, PixelFormat::indexed8, 99);
  for (int x = 0; x < 600; ++x) fast.row(2)[x] = static_cast<uint8_t>(x);
  Picture plain = fast;
  binomial_filter(fast, 4);
  for (int i = 0; i < 4; ++i) plain_binomial_pass(plain);
  EXPECT_TRUE(same_bytes(fast, plain));
}

// Passes run in groups side by side, each two rows behind the one before:
// a camera picture and odd sizes, pass counts that fill groups and that
// leave a part group.
TEST(BinomialFilterPasses, PassesSideBySideMatchThePlainPasses) {
  struct Case {
    int width;
    int height;
    PixelFormat format;
    int passes;
  };
  for (const Case& c : {Case{1280, 1024, PixelFormat::indexed8, 3}, Case{333, 251, PixelFormat::bgr24, 5},
                        Case{17, 4, PixelFormat::indexed8, 7}, Case{3, 9, PixelFormat::bgr24, 2},
                        Case{640, 5, PixelFormat::indexed8, 4}}) {
    Picture fast = random_picture(c.width, c.height, c.format, static_cast<unsigned>(c.width + c.passes));
    // A smooth ramp over part of it, so that passes settle unevenly, and
    // saturated stretches from the left border, where a row's chain holds
    // the top level.
    for (int y = 0; y < c.height / 2; ++y)
      for (int x = 0; x < fast.bytes_per_line(); ++x) fast.row(y)[x] = static_cast<uint8_t>(x + y);
    for (int y = c.height / 2; y < c.height * 3 / 4; ++y)
      std::fill(fast.row(y), fast.row(y) + fast.bytes_per_line() * 2 / 3, uint8_t{255});
    Picture plain = fast;
    for (int i = 0; i < c.passes; ++i) plain_binomial_pass(plain);
    // 8-bit rows are summed and chained a vector of pixels at a time.
    for_every_target([&] {
      Picture smoothed = fast;
      binomial_filter(smoothed, c.passes);
      EXPECT_TRUE(same_bytes(smoothed, plain)) << c.width << " x " << c.height << ", " << c.passes << " passes";
    });
  }
}

TEST(BinomialFilterPasses, StoppingOnceAPassChangesNothingGivesTheFullRunsBytes) {
  for (const auto& [picture, what] :
       {std::pair{random_picture(11, 7, PixelFormat::indexed8, 1), "8-bit 11 x 7"},
        std::pair{random_picture(6, 5, PixelFormat::bgr24, 2), "24-bit 6 x 5"},
        std::pair{random_picture(9, 1, PixelFormat::indexed8, 3), "one row"}}) {
    const int settled = passes_until_settled(picture);
    ASSERT_GT(settled, 3) << what << ": the picture must take a few passes to settle";
    ASSERT_LT(settled, 400) << what;
    const Picture full = binomial_one_by_one(picture, settled + 100);
    EXPECT_TRUE(same_bytes(full, binomial_one_by_one(picture, settled))) << what;
    for (const int passes : {settled, settled + 1, settled + 100, kMaxBinomialPasses, 1000000000, INT_MAX}) {
      Picture stopped = picture;
      binomial_filter(stopped, passes);
      EXPECT_TRUE(same_bytes(stopped, full)) << what << ", " << passes << " passes";
    }
    // Before it settles every pass counts.
    Picture part = picture;
    binomial_filter(part, settled - 1);
    EXPECT_TRUE(same_bytes(part, binomial_one_by_one(picture, settled - 1))) << what;
    EXPECT_FALSE(same_bytes(part, full)) << what;
  }
}

TEST(BinomialFilterPasses, HugeCountsRunAtMostTheCap) {
  // A bright picture with a dark right edge column. A pass runs left to
  // right, so the dark creeps one column to the left per pass: it takes
  // about 1500 passes to settle, more than the cap.
  Picture slow(1500, 3, PixelFormat::indexed8);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 1499; ++x) slow.row(y)[x] = 255;
  const Picture capped = binomial_one_by_one(slow, kMaxBinomialPasses);
  EXPECT_FALSE(same_bytes(capped, binomial_one_by_one(slow, kMaxBinomialPasses - 1)))
      << "still changing at the cap";
  for (const int passes : {kMaxBinomialPasses + 1, 1000000000, INT_MAX}) {
    Picture picture = slow;
    binomial_filter(picture, passes);
    EXPECT_TRUE(same_bytes(picture, capped)) << passes << " passes";
  }

  // A full-size camera picture, flat grey with noise of +-2 levels: it
  // settles after a few dozen passes, and 10^9 passes cost only those. (A
  // synthesised fringe image needs more passes than the cap; the window's
  // bad input tests run "apply" with 10^9 passes on one.)
  Picture camera(1280, 1024, PixelFormat::indexed8);
  std::mt19937 draw(5);
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1280; ++x) camera.row(y)[x] = static_cast<uint8_t>(126 + draw() % 5);
  binomial_filter(camera, 1000000000);
  const Picture settled = camera;
  binomial_filter(camera, 1);
  EXPECT_TRUE(same_bytes(camera, settled)) << "ran until a pass changed nothing";
}

TEST(MeanFilterPasses, EarlyStopsGiveTheFullRunsBytesAndHugeCountsEnd) {
  for (const auto& [picture, what] :
       {std::pair{random_picture(10, 8, PixelFormat::indexed8, 4), "8-bit 10 x 8"},
        std::pair{random_picture(5, 6, PixelFormat::bgr24, 5), "24-bit 5 x 6"},
        std::pair{random_picture(7, 1, PixelFormat::indexed8, 6), "one row"}}) {
    for (const int n : {1, 2, 3, 7, 20, 61}) {
      Picture stopped = picture;
      mean_filter(stopped, n);
      EXPECT_TRUE(same_bytes(stopped, mean_every_pass(picture, n))) << what << ", n = " << n;
    }
  }

  // Counts beyond the cap act as the cap; the border rows settle long before
  // their 1024 smoothings a pass.
  const Picture picture = random_picture(40, 30, PixelFormat::indexed8, 7);
  Picture capped = picture;
  mean_filter(capped, kMaxMeanPasses);
  for (const int n : {kMaxMeanPasses + 1, 1000000000, INT_MAX}) {
    Picture huge = picture;
    mean_filter(huge, n);
    EXPECT_TRUE(same_bytes(huge, capped)) << "n = " << n;
  }
}

}  // namespace
