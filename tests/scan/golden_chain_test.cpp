// The engine on full-size camera pictures, byte for byte: the phase bytes,
// the orders, the unwrapped phase, the profile heights and the profile file
// of each case must keep the digests the straightforward implementation of
// every step gave them (one row and one window at a time, atan2 for every
// phase, one pixel at a time for the masks, a whole height grid before the
// fits, printf for the text). The fast paths are exact: any byte that moves
// changes a digest.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "every_target.h"
#include "fringe_image.h"
#include "scan.h"
#include "scan/default_par.h"
#include "scan/scn_context.h"
#include "temp_dir.h"

namespace {

// 64-bit FNV-1a.
uint64_t digest(const void* bytes, std::size_t count, uint64_t hash = 0xcbf29ce484222325ULL) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  for (std::size_t i = 0; i < count; ++i) hash = (hash ^ p[i]) * 0x100000001b3ULL;
  return hash;
}

uint64_t plane_digest(const GreyImage* plane) {
  uint64_t hash = digest(nullptr, 0);
  for (int32_t y = 0; y < plane->height; ++y)
    hash = digest(img_line(plane, y), static_cast<std::size_t>(plane->width * plane->bytesPerPixel), hash);
  return hash;
}

struct Digests {
  uint64_t phase_bytes;  // the work plane after the filter
  uint64_t orders;       // the mask plane after the fill
  uint64_t phase;        // the 16-bit unwrapped phase
  uint64_t heights;      // the profile as floats
  uint64_t file;         // the profile file
  bool operator==(const Digests&) const = default;
};

std::string hex(const Digests& d) {
  char text[160];
  std::snprintf(text, sizeof text, "{0x%016llxULL, 0x%016llxULL, 0x%016llxULL, 0x%016llxULL, 0x%016llxULL}",
                static_cast<unsigned long long>(d.phase_bytes), static_cast<unsigned long long>(d.orders),
                static_cast<unsigned long long>(d.phase), static_cast<unsigned long long>(d.heights),
                static_cast<unsigned long long>(d.file));
  return text;
}

struct Case {
  const char* name;
  SphereFringes picture;
  int noise;                  // +- grey levels of seeded noise, 0 for none
  double reference_radius;    // 0: no reference
  ScnPar par;
  Digests expected;
};

ScnPar with(ScnPar par, double lambda, int32_t flaw, double mask, double x_offset, int32_t passes) {
  par.LambdaF = lambda;
  par.FlawThr = flaw;
  par.MaskRadius = mask;
  par.MaskXOfs = x_offset;
  par.NFilt = passes;
  return par;
}

void write_picture(const SphereFringes& s, int noise, const char* file) {
  GreyImage* image = make_sphere_fringes(s);
  std::mt19937 random(4);
  if (noise > 0)
    for (int32_t y = 0; y < image->height; ++y)
      for (int32_t x = 0; x < image->width; ++x) {
        const int level = img_line(image, y)[x] + static_cast<int>(random() % (2 * noise + 1)) - noise;
        img_line(image, y)[x] = static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
      }
  ASSERT_EQ(img_save_bmp(image, file), BMP_OK);
  img_destroy(image);
}

// Every plane but the loaded picture filled with a pattern, as planes the
// engine's own runs do not clear may hold anything.
void spoil_planes(ScnHandle handle) {
  for (int plane = PLANE_WORK; plane < kPlaneCount; ++plane) {
    GreyImage* image = handle->planes[plane];
    for (int32_t y = 0; y < image->height; ++y)
      std::memset(img_line(image, y), 0xA5, static_cast<std::size_t>(image->width * image->bytesPerPixel));
  }
}

// `spoiled`: the planes hold a pattern instead of zeros before each
// processing (the reference plane before it is set as well).
Digests run(const Case& c, bool spoiled = false) {
  write_picture(c.picture, c.noise, "picture.bmp");
  ScnHandle handle = scn_Init();
  scn_SetPar(handle, &c.par);
  if (c.reference_radius > 0.0) {
    SphereFringes flat = c.picture;
    flat.radius = c.reference_radius;
    write_picture(flat, 0, "reference.bmp");
    scn_LoadImage(handle, "reference.bmp");
    if (spoiled) spoil_planes(handle);
    scn_ImageProcessing(handle);
    scn_SetReference(handle);
  }
  scn_LoadImage(handle, "picture.bmp");
  if (spoiled) {
    // The reference plane holds what scn_SetReference gave it.
    GreyImage* reference = handle->planes[PLANE_REFERENCE];
    GreyImage* kept = img_create(2, reference->width, reference->height);
    img_copy(kept, reference);
    spoil_planes(handle);
    img_copy(reference, kept);
    img_destroy(kept);
  }
  scn_ImageProcessing(handle);
  scn_ProfileCalculation(handle, c.reference_radius > 0.0 ? 1 : 0);
  scn_SaveProfile(handle, "profile.txt");
  Digests d{};
  d.phase_bytes = plane_digest(handle->planes[PLANE_WORK]);
  d.orders = plane_digest(handle->planes[PLANE_MASK]);
  d.phase = plane_digest(handle->planes[PLANE_PHASE]);
  d.heights = digest(nullptr, 0);
  const ScnMatrix& profile = handle->profile;
  for (int32_t r = 0; r < profile.rows; ++r)
    d.heights = digest(profile.values[r], sizeof(float) * static_cast<std::size_t>(profile.cols), d.heights);
  const std::string text = read_file_bytes("profile.txt");
  d.file = digest(text.data(), text.size());
  scn_Exit(handle);
  return d;
}

const ScnPar kDefaults = kDefaultScnPar;

const Case kCases[] = {
    {"default sphere", SphereFringes{}, 0, 0.0, kDefaults,
     {0x1acdc308f26d6c91ULL, 0xf516123608097af1ULL, 0x294a14c70faf60f3ULL, 0x819f6890bf7f70c5ULL,
      0x9a79d550af1cd1ddULL}},
    {"noisy, flaws", SphereFringes{}, 40, 0.0, with(kDefaults, 10.0, 12, 4.5, 0.3, 1),
     {0x27404af0a0484560ULL, 0x551d92b603926a86ULL, 0xf769f66ef512fba5ULL, 0x189d3c0ae3f29a22ULL,
      0xb657a974ce6dbc0fULL}},
    {"noisy without flaw test: the fill order decides", SphereFringes{}, 90, 0.0,
     with(kDefaults, 10.0, 128, 4.5, 0.0, 0),
     {0xff83fbcec7d7afe3ULL, 0x99154a1f4bf2b529ULL, 0x6e9e227e4e1758e5ULL, 0xe2b405605e7485e4ULL,
      0xcbfb95b929334e22ULL}},
    {"against a reference", SphereFringes{}, 6, 8.0, kDefaults,
     {0xbf1d353777f37004ULL, 0xaf514626b15d1b96ULL, 0xcd8bc6fc588bd070ULL, 0xa560f5e7604cdf21ULL,
      0xa2023cec1bf46877ULL}},
    // Width and height no multiple of 8 or 16: the last group of rows and
    // columns is partial.
    {"odd size and period", SphereFringes{1283, 1021, 0.012, 12.5, 25.0, 9.0}, 3, 0.0,
     with(kDefaults, 12.5, 20, 4.0, -0.2, 3),
     {0x1507d77cfcd3a094ULL, 0xbc398de8e2cf4327ULL, 0x9764da911e55cf2bULL, 0x7bdefbea428fe4d8ULL,
      0xaec98f5c006d0804ULL}},
    {"short period, wide window range", SphereFringes{700, 517, 0.01, 6.0, 30.0, 7.0}, 0, 0.0,
     with(kDefaults, 6.0, 16, 2.4, 0.0, 0),
     {0xc619edfe7f98ed1dULL, 0xa6bbff2421aa5186ULL, 0x7c17015b107f42d6ULL, 0x5c69a23e83399a09ULL,
      0x55a6e5723a57fcb1ULL}},
};

TEST(GoldenChain, FullSizePicturesKeepEveryByte) {
  TempDir dir;
  for_every_target([&] {
    for (const Case& c : kCases) {
      const Digests d = run(c);
      EXPECT_TRUE(d == c.expected) << c.name << ": " << hex(d);
    }
  });
}

// The engine's own runs start from planes nobody cleared: processing must
// write every pixel of the planes it uses, whatever they held.
TEST(GoldenChain, ProcessingWritesEveryPixelOfThePlanesItUses) {
  TempDir dir;
  for (const Case& c : kCases) {
    const Digests d = run(c, true);
    EXPECT_TRUE(d == c.expected) << c.name << ": " << hex(d);
  }
}

}  // namespace
