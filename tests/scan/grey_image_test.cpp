#include "grey_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

struct ImageDeleter {
  void operator()(GreyImage* image) const { img_destroy(image); }
};
using ImagePtr = std::unique_ptr<GreyImage, ImageDeleter>;

TEST(GreyImage, RowsArePaddedToFourBytes) {
  struct Case {
    int32_t type, width, stride;
  } const cases[] = {{1, 10, 12}, {1, 12, 12}, {1, 1, 4},   {2, 5, 12},
                     {3, 5, 16},  {3, 4, 12},  {4, 3, 12}, {1, 4096, 4096}};
  for (const Case& c : cases) {
    ImagePtr image(img_create(c.type, c.width, 7));
    ASSERT_NE(image, nullptr) << "type " << c.type << " width " << c.width;
    EXPECT_EQ(image->type, c.type);
    EXPECT_EQ(image->bytesPerPixel, c.type);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, 7);
    EXPECT_EQ(image->stride, c.stride) << "type " << c.type << " width " << c.width;
    EXPECT_EQ(image->size, c.stride * 7);
    EXPECT_EQ(img_line(image.get(), 3), image->pixels + 3 * c.stride);
    // A new buffer is all zero, and every kind carries the grey ramp.
    for (int32_t i = 0; i < image->size; ++i) ASSERT_EQ(image->pixels[i], 0);
    EXPECT_EQ(image->colours, grey_ramp());
  }
  const ColourTable ramp = grey_ramp();
  EXPECT_EQ(ramp[4 * 200 + 0], 200);
  EXPECT_EQ(ramp[4 * 200 + 1], 200);
  EXPECT_EQ(ramp[4 * 200 + 2], 200);
  EXPECT_EQ(ramp[4 * 200 + 3], 0);
}

// Images for callers that write every row leave the pixels as a reused
// block held them, but the padding at the row ends is zero (a bitmap file
// holds it); without padding nothing is written.
TEST(GreyImage, RowsUnfilledStillHaveZeroPadding) {
  struct Case {
    int32_t type, width, height;
  } const cases[] = {{1, 333, 251}, {3, 257, 100}, {1, 1280, 64}, {2, 1001, 70}};
  for (const Case& c : cases) {
    img_release_kept_blocks();  // room to keep the block below
    {
      ImagePtr spoiled(img_create(c.type, c.width, c.height));
      ASSERT_NE(spoiled, nullptr);
      std::memset(spoiled->pixels, 0xEE, static_cast<std::size_t>(spoiled->size));
    }  // given back dirty, kept for reuse
    ImagePtr image(img_create_rows_unfilled(c.type, c.width, c.height));
    ASSERT_NE(image, nullptr);
    const int32_t used = c.width * c.type;
    bool reused = false;
    for (int32_t row = 0; row < c.height; ++row) {
      const uint8_t* line = img_line(image.get(), row);
      reused |= line[0] == 0xEE;
      for (int32_t x = used; x < image->stride; ++x)
        ASSERT_EQ(line[x], 0) << "type " << c.type << " width " << c.width << " row " << row;
    }
    EXPECT_TRUE(reused) << "type " << c.type << " width " << c.width;
  }
  EXPECT_EQ(img_create_rows_unfilled(1, 0, 5), nullptr);
}

TEST(GreyImage, CreationRefusesBadTypesAndSizes) {
  const int32_t bad_sides[] = {0, -1, 4097, INT32_MAX, INT32_MIN};
  for (int32_t side : bad_sides) {
    EXPECT_EQ(img_create(1, side, 10), nullptr) << "width " << side;
    EXPECT_EQ(img_create(1, 10, side), nullptr) << "height " << side;
  }
  EXPECT_EQ(img_create(0, 10, 10), nullptr);
  EXPECT_EQ(img_create(5, 10, 10), nullptr);
  EXPECT_EQ(img_create(-1, 10, 10), nullptr);
  ImagePtr largest(img_create(4, 4096, 4096));
  ASSERT_NE(largest, nullptr);
  EXPECT_EQ(largest->size, 4 * 4096 * 4096);
  img_destroy(nullptr);  // harmless
}

TEST(GreyImage, CopyAndColourTableNeedMatchingImages) {
  ImagePtr source(img_create(1, 10, 4));
  ImagePtr same(img_create(1, 10, 4));
  ImagePtr other_width(img_create(1, 11, 4));  // same stride and size
  ImagePtr other_type(img_create(2, 5, 4));    // same stride and size
  ASSERT_TRUE(source && same && other_width && other_type);
  for (int32_t i = 0; i < source->size; ++i) source->pixels[i] = static_cast<uint8_t>(i + 1);
  img_copy(same.get(), source.get());
  img_copy(other_width.get(), source.get());
  img_copy(other_type.get(), source.get());
  img_copy(nullptr, source.get());
  EXPECT_EQ(std::memcmp(same->pixels, source->pixels, static_cast<size_t>(source->size)), 0);
  EXPECT_EQ(other_width->pixels[0], 0);
  EXPECT_EQ(other_type->pixels[0], 0);

  // Only 8-bit images have a table to set or read.
  uint8_t table[1024];
  for (int i = 0; i < 1024; ++i) table[i] = static_cast<uint8_t>(255 - i % 256);
  img_set_color_table(source.get(), table);
  img_set_color_table(other_type.get(), table);
  uint8_t back[1024] = {};
  img_get_color_table(source.get(), back);
  EXPECT_EQ(std::memcmp(back, table, sizeof table), 0);
  EXPECT_EQ(other_type->colours, grey_ramp());
  uint8_t untouched[1024] = {};
  img_get_color_table(other_type.get(), untouched);
  EXPECT_EQ(untouched[4 * 9], 0);
}

}  // namespace
