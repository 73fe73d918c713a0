// Saving a bitmap over an earlier one: the new file replaces the old only
// once it is complete, and the name keeps what it was (a link stays a link,
// permission bits stay, a device is written in place).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "file_size_limit.h"
#include "grey_image.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct ImageDeleter {
  void operator()(GreyImage* image) const { img_destroy(image); }
};
using ImagePtr = std::unique_ptr<GreyImage, ImageDeleter>;

ImagePtr filled(int32_t width, int32_t height, uint8_t level) {
  ImagePtr image(img_create(1, width, height));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) img_line(image.get(), y)[x] = level;
  return image;
}

int entries_in(const fs::path& dir) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(BmpReplace, AFailedWriteLeavesTheEarlierFileAndNoTemporary) {
  TempDir dir;
  const ImagePtr first = filled(40, 30, 10);
  const ImagePtr second = filled(40, 30, 20);
  ASSERT_EQ(img_save_bmp(first.get(), "image.bmp"), BMP_OK);
  const std::string earlier = read_file_bytes("image.bmp");
  int code = 0;
  {
    FileSizeLimit full(1500);  // headers and table fit, the rows do not
    code = img_save_bmp(second.get(), "image.bmp");
  }
  EXPECT_EQ(code, BMP_IO_ERROR);
  EXPECT_EQ(read_file_bytes("image.bmp"), earlier);
  EXPECT_EQ(entries_in(dir.path()), 1);

  // The same write with room for it replaces the file whole.
  ASSERT_EQ(img_save_bmp(second.get(), "image.bmp"), BMP_OK);
  GreyImage* back = nullptr;
  ASSERT_EQ(img_load_bmp(&back, "image.bmp"), BMP_OK);
  EXPECT_EQ(img_line(back, 29)[39], 20);
  img_destroy(back);
  EXPECT_EQ(entries_in(dir.path()), 1);
}

TEST(BmpReplace, LinksPermissionsAndDevicesKeepWhatTheyAre) {
  TempDir dir;
  const ImagePtr image = filled(8, 4, 77);

  // Through a link the file it points to is replaced; the link stays. A link
  // to a file not yet there creates that file.
  fs::create_directory("store");
  write_file_bytes("store/real.bmp", "old");
  fs::create_symlink("store/real.bmp", "link.bmp");
  fs::create_symlink("store/new.bmp", "dangling.bmp");
  ASSERT_EQ(img_save_bmp(image.get(), "link.bmp"), BMP_OK);
  ASSERT_EQ(img_save_bmp(image.get(), "dangling.bmp"), BMP_OK);
  EXPECT_TRUE(fs::is_symlink("link.bmp"));
  EXPECT_TRUE(fs::is_symlink("dangling.bmp"));
  const std::string written = read_file_bytes("store/real.bmp");
  EXPECT_EQ(written.size(), 54u + 1024u + 4u * 8u);
  EXPECT_EQ(read_file_bytes("store/new.bmp"), written);
  EXPECT_EQ(entries_in("store"), 2);

  // A replaced file keeps its permission bits; a new one gets the usual ones.
  write_file_bytes("shared.bmp", "old");
  fs::permissions("shared.bmp", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                    fs::perms::group_write | fs::perms::others_read);
  const fs::perms before = fs::status("shared.bmp").permissions();
  ASSERT_EQ(img_save_bmp(image.get(), "shared.bmp"), BMP_OK);
  EXPECT_EQ(fs::status("shared.bmp").permissions(), before);
  EXPECT_EQ(read_file_bytes("shared.bmp"), written);

  // A device is written in place (renaming over it would replace the node):
  // the null device takes the bytes, a full one reports the failed write.
  EXPECT_EQ(img_save_bmp(image.get(), "/dev/null"), BMP_OK);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  if (fs::exists("/dev/full")) {
    EXPECT_EQ(img_save_bmp(image.get(), "/dev/full"), BMP_IO_ERROR);
  }

  // An empty name is no file; links in a loop lead to none.
  EXPECT_EQ(img_save_bmp(image.get(), ""), BMP_CANNOT_OPEN);
  fs::create_symlink("loop_b.bmp", "loop_a.bmp");
  fs::create_symlink("loop_a.bmp", "loop_b.bmp");
  EXPECT_EQ(img_save_bmp(image.get(), "loop_a.bmp"), BMP_CANNOT_OPEN);
  EXPECT_EQ(entries_in(dir.path()), 6);  // store, shared.bmp and the four links
}

}  // namespace
