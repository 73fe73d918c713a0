// The processing chain on the context's planes: smoothing, the evaluation
// mask and its parameters, and the chain as a whole with good and bad input.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "fringe_image.h"
#include "every_target.h"
#include "scan/default_par.h"
#include "scan/image_processing.h"
#include "scan/round_clamped.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

using Image = std::unique_ptr<GreyImage, decltype(&img_destroy)>;
Image make_image(int32_t width, int32_t height) { return Image(img_create(1, width, height), &img_destroy); }

std::vector<uint8_t> pixels_of(const GreyImage* image) {
  std::vector<uint8_t> pixels;
  for (int32_t y = 0; y < image->height; ++y)
    pixels.insert(pixels.end(), img_line(image, y), img_line(image, y) + image->width * image->bytesPerPixel);
  return pixels;
}

uint16_t word_at(const GreyImage* image, int32_t x, int32_t y) {
  uint16_t value;
  std::memcpy(&value, img_line(image, y) + 2 * x, sizeof value);
  return value;
}

// A context with six planes of the given size; the source holds `image`
// (or stays black).
struct Chain {
  ScnContext context{};
  explicit Chain(const GreyImage* image, int32_t width = 1280, int32_t height = 1024) {
    context.par = kDefaultScnPar;
    for (int i = 0; i < kPlaneCount; ++i) context.planes[i] = img_create(i < 4 ? 1 : 2, width, height);
    if (image != nullptr) img_copy(context.planes[PLANE_SOURCE], image);
  }
  ~Chain() {
    for (GreyImage* plane : context.planes) img_destroy(plane);
  }
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;
  GreyImage* plane(int index) const { return context.planes[index]; }
  uint8_t mask(int32_t x, int32_t y) const { return img_line(plane(PLANE_MASK), y)[x]; }
  bool phase_all_zero() const {
    for (int32_t y = 0; y < plane(PLANE_PHASE)->height; ++y)
      for (int32_t x = 0; x < plane(PLANE_PHASE)->width; ++x)
        if (word_at(plane(PLANE_PHASE), x, y) != 0) return false;
    return true;
  }
};

// Straight vertical fringes of period 10 pixels.
Image plain_fringes(int32_t width, int32_t height) {
  Image image = make_image(width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      img_line(image.get(), y)[x] = static_cast<uint8_t>(std::lrint(127 + 100 * std::cos(2 * std::numbers::pi * x / 10)));
  return image;
}

// The binomial pass written out: rows from row copies, then columns from
// column copies.
void plain_smoothing(GreyImage* image) {
  const int32_t w = image->width, h = image->height;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = img_line(image, y);
    const std::vector<uint8_t> c(row, row + w);
    for (int32_t x = 1; x < w - 1; ++x) row[x] = static_cast<uint8_t>((c[x - 1] + 2 * c[x] + c[x + 1]) / 4);
  }
  for (int32_t x = 0; x < w; ++x) {
    std::vector<uint8_t> c;
    for (int32_t y = 0; y < h; ++y) c.push_back(img_line(image, y)[x]);
    for (int32_t y = 1; y < h - 1; ++y) img_line(image, y)[x] = static_cast<uint8_t>((c[y - 1] + 2 * c[y] + c[y + 1]) / 4);
  }
}

TEST(RoundClamped, HalvesToEvenAndSafeForAnyDouble) {
  EXPECT_EQ(round_clamped(2.5, -10, 10), 2);
  EXPECT_EQ(round_clamped(3.5, -10, 10), 4);
  EXPECT_EQ(round_clamped(-2.5, -10, 10), -2);
  EXPECT_EQ(round_clamped(kNaN, -10, 10), 0);
  EXPECT_EQ(round_clamped(kNaN, 1, 10), 1);
  EXPECT_EQ(round_clamped(kInf, -10, 10), 10);
  EXPECT_EQ(round_clamped(-kInf, -10, 10), -10);
  EXPECT_EQ(round_clamped(1e300, INT_MIN, INT_MAX), INT_MAX);
  EXPECT_EQ(round_clamped(-1e300, INT_MIN, INT_MAX), INT_MIN);
}

TEST(SmoothBinomial, WorkedExampleAndEdges) {
  // Rows bottom-up: 0 4 8 12 / 100 0 0 100 / 255 255 255 255.
  Image image = make_image(4, 3);
  const uint8_t rows[3][4] = {{0, 4, 8, 12}, {100, 0, 0, 100}, {255, 255, 255, 255}};
  for (int32_t y = 0; y < 3; ++y) std::memcpy(img_line(image.get(), y), rows[y], 4);
  // Rows: (100 + 0 + 0) div 4 = 25 twice in the middle row. Columns, middle
  // row only: (0 + 200 + 255) div 4 = 113, (4 + 50 + 255) div 4 = 77, ...
  EXPECT_TRUE(smooth_binomial(image.get()));
  EXPECT_EQ(pixels_of(image.get()),
            (std::vector<uint8_t>{0, 4, 8, 12, 113, 77, 78, 116, 255, 255, 255, 255}));

  // A flat image does not change, nor does one of 2 x 2 pixels (all edge).
  for (const auto& [w, h] : {std::pair{9, 7}, std::pair{2, 2}}) {
    Image flat = make_image(w, h);
    std::mt19937 random(static_cast<unsigned>(w));
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) img_line(flat.get(), y)[x] = w == 9 ? 77 : static_cast<uint8_t>(random());
    const std::vector<uint8_t> before = pixels_of(flat.get());
    EXPECT_FALSE(smooth_binomial(flat.get())) << w << " x " << h;
    EXPECT_EQ(pixels_of(flat.get()), before) << w << " x " << h;
  }
}

// Every width, and a pass from another image (copy and pass in one sweep:
// the same pixels, padding included, and the same answer); an image of
// another shape is refused with the plane untouched.
TEST(SmoothBinomial, MatchesThePlainPassUpToTheWidestRowAtEveryWidth) {
  std::mt19937 random(9);
  for_every_target([&] {
    for (const auto& [w, h] : {std::pair{37, 5}, std::pair{4096, 3}, std::pair{4095, 4}, std::pair{3, 40},
                               std::pair{1, 5}, std::pair{6, 1}, std::pair{66, 66}, std::pair{2, 5}}) {
      Image image = make_image(w, h), expected = make_image(w, h), taken = make_image(w, h);
      for (int32_t i = 0; i < image->size; ++i) image->pixels[i] = static_cast<uint8_t>(random());
      for (int32_t i = 0; i < taken->size; ++i) taken->pixels[i] = static_cast<uint8_t>(random());
      img_copy(expected.get(), image.get());
      const bool taken_changed = smooth_binomial(taken.get(), image.get());
      EXPECT_EQ(taken_changed, smooth_binomial(image.get()));
      plain_smoothing(expected.get());
      EXPECT_EQ(pixels_of(image.get()), pixels_of(expected.get())) << w << " x " << h;
      EXPECT_EQ(std::vector<uint8_t>(taken->pixels, taken->pixels + taken->size),
                std::vector<uint8_t>(image->pixels, image->pixels + image->size))
          << w << " x " << h;
    }
  });
  Image plane = make_image(8, 8), narrower = make_image(7, 8);
  Image words = Image(img_create(2, 8, 8), &img_destroy);
  std::memset(plane->pixels, 33, static_cast<std::size_t>(plane->size));
  EXPECT_FALSE(smooth_binomial(plane.get(), narrower.get()));
  EXPECT_FALSE(smooth_binomial(plane.get(), words.get()));
  EXPECT_EQ(plane->pixels[0], 33);
}

// The answer of a pass whose only change lies in the last pixels of the
// rows, where the vectors end: the row pass changes two pixels next to a
// brighter one in the last columns of the edge row; the column pass alone
// changes the last column (alternating 50 and 53 leaves the rows as they are).
TEST(SmoothBinomial, ChangesInTheLastPixelsOfARowAreNoticed) {
  for_every_target([&] {
    for (const auto& [w, h] : {std::pair{37, 5}, std::pair{4095, 4}, std::pair{66, 6}, std::pair{6, 3}})
      for (int kind = 0; kind < 2; ++kind) {
        Image image = make_image(w, h), taken = make_image(w, h), source = make_image(w, h);
        std::memset(image->pixels, 50, static_cast<std::size_t>(image->size));
        if (kind == 0) img_line(image.get(), 0)[w - 2] = 54;
        for (int32_t y = 0; kind == 1 && y < h; ++y) img_line(image.get(), y)[w - 1] = y % 2 ? 53 : 50;
        img_copy(source.get(), image.get());
        const std::vector<uint8_t> before = pixels_of(image.get());
        Image expected = make_image(w, h);
        img_copy(expected.get(), image.get());
        plain_smoothing(expected.get());
        const bool changed = smooth_binomial(image.get());
        EXPECT_TRUE(changed) << w << " x " << h << " kind " << kind;
        EXPECT_EQ(changed, pixels_of(expected.get()) != before);
        EXPECT_EQ(pixels_of(image.get()), pixels_of(expected.get())) << w << " x " << h << " kind " << kind;
        EXPECT_EQ(smooth_binomial(taken.get(), source.get()), changed) << w << " x " << h << " kind " << kind;
      }
  });
}

TEST(EllipseMask, BoundaryExcludedZeroAxisEmptyFarCentreSafe) {
  Image mask = make_image(9, 7);
  ellipse_mask(mask.get(), 4, 3, 3, 2);
  // (7, 3) and (4, 5) lie on the boundary, q = 0: excluded.
  EXPECT_EQ(img_line(mask.get(), 3)[6], 255);
  EXPECT_EQ(img_line(mask.get(), 3)[7], 0);
  EXPECT_EQ(img_line(mask.get(), 4)[4], 255);
  EXPECT_EQ(img_line(mask.get(), 5)[4], 0);
  EXPECT_EQ(img_line(mask.get(), 4)[6], 255);  // 4/9 + 1/4 < 1
  EXPECT_EQ(img_line(mask.get(), 5)[5], 0);    // 1/9 + 1 > 1
  ellipse_mask(mask.get(), 4, 3, 0, 2);
  EXPECT_EQ(pixels_of(mask.get()), std::vector<uint8_t>(63, 0));
  ellipse_mask(mask.get(), INT_MAX, INT_MIN, INT_MAX, 1);
  EXPECT_EQ(pixels_of(mask.get()), std::vector<uint8_t>(63, 0));
  ellipse_mask(mask.get(), 4, 3, -1000, 1000);  // the sign of a semi-axis does not matter
  EXPECT_EQ(pixels_of(mask.get()), std::vector<uint8_t>(63, 255));
  clear_border_columns(mask.get(), 2);
  EXPECT_EQ(img_line(mask.get(), 6)[1], 0);
  EXPECT_EQ(img_line(mask.get(), 6)[2], 255);
  EXPECT_EQ(img_line(mask.get(), 6)[6], 255);
  EXPECT_EQ(img_line(mask.get(), 6)[7], 0);
  clear_border_columns(mask.get(), 100);
  EXPECT_EQ(pixels_of(mask.get()), std::vector<uint8_t>(63, 0));
}

// The mask made run by run against the test at every pixel: centres on and
// off the image, semi-axes of either sign, tiny and huge, on the full camera
// size and on odd small sizes.
TEST(EllipseMask, EveryPixelAsThePlainTestGivesIt) {
  struct Case {
    int32_t width, height, cx, cy, rx, ry;
  };
  const Case cases[] = {{1280, 1024, 640, 512, 330, 330}, {1280, 1024, 640, 512, 350, 351},
                        {1280, 1024, -20, 512, 100, 600},  {1280, 1024, 1400, -30, 300, 200},
                        {1280, 1024, 640, 512, -330, 330}, {1280, 1024, 0, 0, 1, 1},
                        {1280, 1024, 640, 512, 5000, 5000}, {9, 7, 4, 3, 3, 2},
                        {1, 1, 0, 0, 1, 1},                {17, 3, 16, 1, 2, 7},
                        {333, 50, 100, -40, 120, 60},      {64, 64, 1 << 30, 32, 1 << 30, 1 << 29}};
  for (const Case& c : cases) {
    Image mask = make_image(c.width, c.height);
    ellipse_mask(mask.get(), c.cx, c.cy, c.rx, c.ry);
    int wrong = 0;
    for (int32_t y = 0; y < c.height; ++y) {
      const double dy = static_cast<double>(int64_t{y} - c.cy) / c.ry;
      for (int32_t x = 0; x < c.width; ++x) {
        const double dx = static_cast<double>(int64_t{x} - c.cx) / c.rx;
        const uint8_t expected = dx * dx + dy * dy - 1.0 >= 0.0 ? 0 : 255;
        wrong += img_line(mask.get(), y)[x] != expected;
      }
    }
    EXPECT_EQ(wrong, 0) << c.width << " x " << c.height << " around " << c.cx << ", " << c.cy;
  }
}

TEST(ProcessImage, RunsTheStepsInOrderWithTheDefaultWindow) {
  Image fringes(make_sphere_fringes(SphereFringes{}), &img_destroy);
  for (int32_t passes : {2, 0}) {
    Chain chain(fringes.get());
    chain.context.par.NFilt = passes;
    process_image(chain.context);
    Image expected = make_image(1280, 1024);
    img_copy(expected.get(), fringes.get());
    for (int32_t pass = 0; pass < passes; ++pass) smooth_binomial(expected.get());
    fringe_phase(expected.get(), 29, 10.0);
    EXPECT_EQ(pixels_of(chain.plane(PLANE_WORK)), pixels_of(expected.get())) << passes;
    EXPECT_EQ(pixels_of(chain.plane(PLANE_SOURCE)), pixels_of(fringes.get()));
  }
}

TEST(ProcessImage, DefaultMaskIsTheCircleOfRadius350AroundTheCentre) {
  // Without the flaw test every pixel strictly inside the circle is reached.
  Image fringes(make_sphere_fringes(SphereFringes{}), &img_destroy);
  Chain chain(fringes.get());
  chain.context.par.FlawThr = 128;
  process_image(chain.context);
  int wrong = 0;
  for (int32_t y = 0; y < 1024; ++y)
    for (int32_t x = 0; x < 1280; ++x) {
      const double dx = (x - 640) / 350.0, dy = (y - 512) / 350.0;
      const bool inside = dx * dx + dy * dy - 1 < 0;
      const uint8_t order = chain.mask(x, y);
      const bool has_phase = word_at(chain.plane(PLANE_PHASE), x, y) != 0;
      wrong += inside != (order != 0 && order != 255) || inside != has_phase;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_NE(chain.mask(989, 512), 0);
  EXPECT_EQ(chain.mask(990, 512), 0);
  EXPECT_NE(chain.mask(640, 163), 0);
  EXPECT_EQ(chain.mask(640, 162), 0);
  EXPECT_EQ(chain.mask(640, 512), 128);

  // With the default flaw test, too, every 4 x 4 block of the profile grid
  // well inside the circle keeps at least 6 of its 16 pixels (the least a
  // block's fit takes): no column of grey levels walls a block off.
  Chain flawed(fringes.get());
  process_image(flawed.context);
  int thin_blocks = 0;
  for (int32_t by = 0; by < 256; ++by)
    for (int32_t bx = 0; bx < 320; ++bx) {
      const double dx = (4 * bx + 2 - 640) / 350.0, dy = (4 * by + 2 - 512) / 350.0;
      if (dx * dx + dy * dy >= 0.9) continue;
      int with_phase = 0;
      for (int32_t y = 4 * by; y < 4 * by + 4; ++y)
        for (int32_t x = 4 * bx; x < 4 * bx + 4; ++x) with_phase += word_at(flawed.plane(PLANE_PHASE), x, y) != 0;
      thin_blocks += with_phase < 6;
    }
  EXPECT_EQ(thin_blocks, 0);
}

TEST(ProcessImage, ClearsHalfTheWindowAtBothSidesAndFlawThr128SkipsTheTest) {
  Image fringes = plain_fringes(1280, 64);
  Chain chain(fringes.get(), 1280, 64);
  chain.context.par.MaskRadius = 100.0;  // the ellipse covers the image
  chain.context.par.FlawThr = 128;
  process_image(chain.context);
  EXPECT_EQ(chain.mask(13, 32), 0);
  EXPECT_NE(chain.mask(14, 32), 0);
  EXPECT_NE(chain.mask(1265, 32), 0);
  EXPECT_EQ(chain.mask(1266, 32), 0);
  EXPECT_NE(chain.mask(640, 0), 0);  // rows 0 and 63 keep their orders
  EXPECT_NE(chain.mask(640, 63), 0);

  for (int32_t threshold : {127, -16, INT_MIN}) {
    chain.context.par.FlawThr = threshold;
    process_image(chain.context);
    EXPECT_EQ(chain.mask(640, 0), 0) << threshold;
    EXPECT_EQ(chain.mask(640, 63), 0) << threshold;
  }
}

TEST(ProcessImage, BlackImageGivesPhaseZeroAndOrder128InTheMask) {
  Chain chain(nullptr, 200, 100);
  chain.context.par.MaskRadius = 0.3;  // 30 pixels
  process_image(chain.context);
  EXPECT_EQ(pixels_of(chain.plane(PLANE_WORK)), std::vector<uint8_t>(200 * 100, 0));
  EXPECT_EQ(word_at(chain.plane(PLANE_PHASE), 100, 50), 128 * 256);
  EXPECT_EQ(word_at(chain.plane(PLANE_PHASE), 129, 50), 128 * 256);
  EXPECT_EQ(word_at(chain.plane(PLANE_PHASE), 130, 50), 0);
}

TEST(ProcessImage, NoPhaseWhenTheMaskMissesTheCentreOrIsEmpty) {
  Image fringes = plain_fringes(320, 200);
  Chain chain(fringes.get(), 320, 200);
  chain.context.par.MaskXOfs = 1.0;  // centre 100 pixels right, radius 35 pixels
  chain.context.par.MaskRadius = 0.35;
  process_image(chain.context);
  EXPECT_TRUE(chain.phase_all_zero());
  EXPECT_EQ(chain.mask(260, 100), 255);  // valid but never reached

  for (double radius : {0.004, 0.0, kNaN}) {  // semi-axis 0: an empty mask
    chain.context.par.MaskXOfs = 0.0;
    chain.context.par.MaskRadius = radius;
    process_image(chain.context);
    EXPECT_TRUE(chain.phase_all_zero()) << radius;
  }
}

TEST(ProcessImage, SurvivesBadParametersAndMissingPlanes) {
  Image fringes = plain_fringes(160, 90);
  Chain chain(fringes.get(), 160, 90);
  const ScnPar good = chain.context.par;
  const auto run = [&](auto change) {
    chain.context.par = good;
    change(chain.context.par);
    process_image(chain.context);
  };
  for (double value : {kNaN, kInf, -kInf, 0.0, -1.0, 1e300}) {
    run([&](ScnPar& p) { p.LambdaF = value; });
    run([&](ScnPar& p) { p.CamResX = value; });
    run([&](ScnPar& p) { p.CamResY = value; p.MaskYOfs = value; });
    run([&](ScnPar& p) { p.MaskXOfs = value; });
    run([&](ScnPar& p) { p.MaskRadius = value; });
  }
  run([](ScnPar& p) { p.NFilt = INT_MAX; });  // stops once a pass changes nothing
  Image settled = make_image(160, 90);
  img_copy(settled.get(), fringes.get());
  for (int32_t pass = 0; pass < kMaxSmoothingPasses && smooth_binomial(settled.get()); ++pass) {
  }
  fringe_phase(settled.get(), 29, 10.0);
  EXPECT_EQ(pixels_of(chain.plane(PLANE_WORK)), pixels_of(settled.get()));

  // Zero pixel sizes: MaskRadius / 0 is infinite, the mask covers the image.
  run([](ScnPar& p) { p.CamResX = p.CamResY = 0.0; p.FlawThr = 128; });
  EXPECT_NE(chain.mask(80, 1), 0);

  // A missing plane or planes of different sizes: nothing is written.
  std::memset(img_line(chain.plane(PLANE_WORK), 5), 7, 160);
  const std::vector<uint8_t> work = pixels_of(chain.plane(PLANE_WORK));
  GreyImage* phase = chain.context.planes[PLANE_PHASE];
  chain.context.planes[PLANE_PHASE] = nullptr;
  run([](ScnPar&) {});
  chain.context.planes[PLANE_PHASE] = img_create(2, 160, 89);
  run([](ScnPar&) {});
  img_destroy(chain.context.planes[PLANE_PHASE]);
  chain.context.planes[PLANE_PHASE] = phase;
  EXPECT_EQ(pixels_of(chain.plane(PLANE_WORK)), work);
}

}  // namespace
