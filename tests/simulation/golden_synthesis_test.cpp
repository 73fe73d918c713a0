// The synthesis byte for byte: the bitmap file and the generator's state
// after it keep the digests the pixel-by-pixel implementation gave them (the
// C library's sqrt and cos for every level, one draw after another), for
// full-size pictures with and without noise and for parameters that strain
// the fast paths: contrast 0 (every level an integer), steep angles, large
// noise amplitudes, no proportional or no additive noise, odd sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "every_target.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"
#include "temp_dir.h"

namespace {

uint64_t digest(const std::string& bytes) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3ULL;
  return hash;
}

struct Case {
  const char* name;
  SimParams params;
  int32_t max_noise;
  int32_t additive_range;
  uint32_t seed;
  uint64_t file;   // digest of the bitmap file
  uint64_t state;  // the generator's state afterwards
};

SimParams params(double noise, double dynamic, double alpha = 30.0, double radius = 7.5,
                 int32_t width = 1280, int32_t height = 1024, double offset_x = 0.0, double offset_y = 0.0) {
  SimParams p;
  p.noise = noise;
  p.dynamic = dynamic;
  p.alpha_deg = alpha;
  p.radius = radius;
  p.x_pixels = width;
  p.y_pixels = height;
  p.offset_x = offset_x;
  p.offset_y = offset_y;
  return p;
}

const Case kCases[] = {
    {"default, noise 0", params(0.0, 1.0), 64, 5, 1,
     0x77364851760d8712ULL, 0x5c76aca28ffc0001ULL},
    {"default, noise 1", params(1.0, 1.0), 64, 5, 1,
     0xf87eb23aa7087637ULL, 0x5f4a40a7aff40001ULL},
    {"noise 0.5, low contrast, offsets", params(0.5, 0.3, 30.0, 7.5, 1280, 1024, 0.7, -1.1), 64, 5, 77,
     0x271fb7ab68728af8ULL, 0xa7ea5b7853b4004dULL},
    {"contrast 0: every level an integer", params(0.8, 0.0), 64, 5, 3,
     0xe8714a067ffaf3eaULL, 0x9dd533e312940003ULL},
    {"steep angle, small sphere", params(0.2, 0.9, 80.0, 4.0), 64, 5, 5,
     0x7d953178db1ca9b3ULL, 0xdc60271e75340005ULL},
    {"large amplitude, negative additive bound", params(1.0, 1.0), 3000, -7, 11,
     0x52fe4adeac6d1002ULL, 0x980100d09d14000bULL},
    {"no proportional noise", params(1.0, 0.6), 0, 5, 13,
     0x250b909e2f85faULL, 0xee7b9872aa78000dULL},
    {"no additive noise", params(0.7, 1.0), 64, 0, 17,
     0x95ae5a06a4dc1a05ULL, 0x70916e172df80011ULL},
    {"odd size", params(0.4, 0.8, 25.0, 6.0, 333, 251, 0.05, 0.2), 64, 5, 19,
     0xd25c4d0e2449fa9ULL, 0x6f9b3d8162ed3bf4ULL},
};

TEST(GoldenSynthesis, PicturesAndDrawsKeepEveryByte) {
  TempDir dir;
  for_every_target([] {
    for (const Case& c : kCases) {
      seed_random(c.seed);
      ASSERT_EQ(synthesize_fringe_image(c.params, "sim.bmp", c.max_noise, c.additive_range), 0) << c.name;
      const uint64_t file = digest(read_file_bytes("sim.bmp"));
      EXPECT_TRUE(file == c.file && random_state == c.state)
          << c.name << ": 0x" << std::hex << file << "ULL, 0x" << random_state << "ULL";
    }
  });
}

}  // namespace
