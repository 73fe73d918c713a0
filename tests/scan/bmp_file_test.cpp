#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "grey_image.h"
#include "file_size_limit.h"
#include "temp_dir.h"

namespace {

struct ImageDeleter {
  void operator()(GreyImage* image) const { img_destroy(image); }
};
using ImagePtr = std::unique_ptr<GreyImage, ImageDeleter>;

void append_u16(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

void append_u32(std::string* out, uint32_t value) {
  append_u16(out, value & 0xFFFF);
  append_u16(out, value >> 16);
}

// The headers of a bitmap file, written out field by field.
struct BmpHeaders {
  uint16_t magic = 0x4D42;
  uint32_t pixel_offset = 54 + 1024;
  int32_t width = 3;
  int32_t height = 2;
  uint16_t planes = 1;
  uint16_t bits = 8;
  uint32_t compression = 0;
};

std::string header_bytes(const BmpHeaders& h) {
  std::string out;
  append_u16(&out, h.magic);
  append_u32(&out, 0);  // file size: not looked at when reading
  append_u32(&out, 0);
  append_u32(&out, h.pixel_offset);
  append_u32(&out, 40);
  append_u32(&out, static_cast<uint32_t>(h.width));
  append_u32(&out, static_cast<uint32_t>(h.height));
  append_u16(&out, h.planes);
  append_u16(&out, h.bits);
  append_u32(&out, h.compression);
  out.append(20, '\0');
  return out;
}

// A colour table that is not the grey ramp: entry i is (i, 255 - i, i / 2, 7).
std::string odd_table(int entries) {
  std::string table;
  for (int i = 0; i < entries; ++i) {
    table.push_back(static_cast<char>(i));
    table.push_back(static_cast<char>(255 - i));
    table.push_back(static_cast<char>(i / 2));
    table.push_back(7);
  }
  return table;
}

// Loads `bytes` as a file and returns the code; the image goes to *image.
int load_bytes(const std::string& bytes, ImagePtr* image) {
  write_file_bytes("in.bmp", bytes);
  static GreyImage stale{};
  GreyImage* loaded = &stale;  // every outcome must overwrite it
  const int code = img_load_bmp(&loaded, "in.bmp");
  if (loaded == &stale) {
    ADD_FAILURE() << "result left as it was";
    loaded = nullptr;
  }
  image->reset(loaded);
  return code;
}

TEST(BmpFile, SavedEightBitFileHasExactBytes) {
  TempDir dir;
  ImagePtr image(img_create(1, 10, 3));
  ASSERT_NE(image, nullptr);
  for (int32_t row = 0; row < 3; ++row)
    for (int32_t x = 0; x < 10; ++x) img_line(image.get(), row)[x] = static_cast<uint8_t>(16 * row + x);
  const std::string table = odd_table(256);
  img_set_color_table(image.get(), reinterpret_cast<const uint8_t*>(table.data()));

  ASSERT_EQ(img_save_bmp(image.get(), "out.bmp"), BMP_OK);
  const std::string file = read_file_bytes("out.bmp");
  ASSERT_EQ(file.size(), 54u + 1024u + 12u * 3u);  // a 10-pixel row takes 12 bytes

  const unsigned char expected_headers[54] = {
      'B', 'M', 0x5A, 0x04, 0, 0,  0, 0, 0, 0,  0x36, 0x04, 0, 0,  // size 1114, offset 1078
      40, 0, 0, 0,  10, 0, 0, 0,  3, 0, 0, 0,  1, 0,  8, 0,         // 10 x 3, 1 plane, 8 bits
      0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0};
  EXPECT_EQ(file.substr(0, 54), std::string(reinterpret_cast<const char*>(expected_headers), 54));
  EXPECT_EQ(file.substr(54, 1024), table);
  // Row 0 comes first; the two padding bytes of each row are zero.
  EXPECT_EQ(file.substr(1078, 12), std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x00\x00", 12));
  EXPECT_EQ(static_cast<uint8_t>(file[1078 + 24 + 9]), 32 + 9);
}

TEST(BmpFile, SaveAndLoadRoundTripEveryKind) {
  TempDir dir;
  for (int32_t type = 1; type <= 4; ++type) {
    ImagePtr image(img_create(type, 7, 5));
    ASSERT_NE(image, nullptr);
    for (int32_t i = 0; i < image->size; ++i) image->pixels[i] = static_cast<uint8_t>(i * 37 + type);
    const std::string table = odd_table(256);
    img_set_color_table(image.get(), reinterpret_cast<const uint8_t*>(table.data()));
    ASSERT_EQ(img_save_bmp(image.get(), "round.bmp"), BMP_OK);
    // Only the 8-bit kind carries a colour table: 7 pixels of 2, 3, 4 bytes
    // take rows of 16, 24 and 28 bytes.
    const std::string file = read_file_bytes("round.bmp");
    const size_t offset = type == 1 ? 1078 : 54;
    EXPECT_EQ(file.size(), offset + 5u * static_cast<size_t>(image->stride)) << "type " << type;
    EXPECT_EQ(static_cast<size_t>(static_cast<uint8_t>(file[10]) + 256 * static_cast<uint8_t>(file[11])),
              offset);
    EXPECT_EQ(static_cast<uint8_t>(file[28]), 8 * type);

    GreyImage* raw = nullptr;
    ASSERT_EQ(img_load_bmp(&raw, "round.bmp"), BMP_OK) << "type " << type;
    ImagePtr back(raw);
    EXPECT_EQ(back->type, type);
    EXPECT_EQ(back->width, 7);
    EXPECT_EQ(back->height, 5);
    ASSERT_EQ(back->size, image->size);
    EXPECT_EQ(std::memcmp(back->pixels, image->pixels, static_cast<size_t>(image->size)), 0)
        << "type " << type;
    EXPECT_EQ(back->colours, type == 1 ? image->colours : grey_ramp()) << "type " << type;
  }
}

TEST(BmpFile, LoadsHandMadeBitmaps) {
  TempDir dir;
  ImagePtr image;

  // 24-bit: 2 x 2, rows of 6 bytes padded to 8, pixels straight after the headers.
  BmpHeaders colour;
  colour.width = 2;
  colour.bits = 24;
  colour.pixel_offset = 54;
  const std::string rows("\x01\x02\x03\x04\x05\x06\x00\x00\x11\x12\x13\x14\x15\x16\x00\x00", 16);
  ASSERT_EQ(load_bytes(header_bytes(colour) + rows, &image), BMP_OK);
  EXPECT_EQ(image->type, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image->pixels), 16), rows);

  // 8-bit with a gap before the pixels: they are read from the pixel offset.
  BmpHeaders gap;
  gap.pixel_offset = 54 + 1024 + 5;
  ASSERT_EQ(load_bytes(header_bytes(gap) + odd_table(256) + "GAP!!" + "abc?def?", &image), BMP_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image->pixels), 8), "abc?def?");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image->colours.data()), 1024), odd_table(256));

  // 8-bit with a 4-entry table: pixels still come from the pixel offset, the
  // table takes the 1024 bytes after the header, pixels and padding included.
  BmpHeaders short_table;
  short_table.pixel_offset = 54 + 16;
  std::string tail = "uvw-xyz-";
  tail += std::string(1024, 'p');
  ASSERT_EQ(load_bytes(header_bytes(short_table) + odd_table(4) + tail, &image), BMP_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image->pixels), 8), "uvw-xyz-");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image->colours.data()), 24), odd_table(4) + "uvw-xyz-");

  // The same file ending right after its pixels: the table read comes up
  // short. The image was already made and is handed over all the same.
  ASSERT_EQ(load_bytes(header_bytes(short_table) + odd_table(4) + "uvw-xyz-", &image), BMP_IO_ERROR);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 3);
}

TEST(BmpFile, RefusesUnsupportedHeaders) {
  TempDir dir;
  const std::string body = odd_table(256) + std::string(64, 'x');
  struct Case {
    const char* what;
    BmpHeaders headers;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, auto change) {
    BmpHeaders h;
    change(h);
    cases.push_back({what, h});
  };
  add("magic BA", [](BmpHeaders& h) { h.magic = 0x4142; });
  add("magic byte-swapped", [](BmpHeaders& h) { h.magic = 0x424D; });
  add("no plane", [](BmpHeaders& h) { h.planes = 0; });
  add("two planes", [](BmpHeaders& h) { h.planes = 2; });
  add("run-length", [](BmpHeaders& h) { h.compression = 1; });
  add("bit fields", [](BmpHeaders& h) { h.compression = 3; });
  for (uint16_t bits : {0, 1, 4, 7, 12, 15, 40, 64}) {
    BmpHeaders h;
    h.bits = bits;
    cases.push_back({"bit count", h});
  }
  for (const Case& c : cases) {
    ImagePtr image;
    EXPECT_EQ(load_bytes(header_bytes(c.headers) + body, &image), BMP_UNSUPPORTED)
        << c.what << " " << c.headers.bits;
    EXPECT_EQ(image, nullptr) << c.what;
  }
}

TEST(BmpFile, RefusesSizesNoBufferCanHold) {
  TempDir dir;
  const int32_t bad_sides[] = {0, -1, -2, 4097, INT32_MAX, INT32_MIN};
  for (int32_t side : bad_sides) {
    for (bool is_width : {true, false}) {
      BmpHeaders h;
      (is_width ? h.width : h.height) = side;
      ImagePtr image;
      EXPECT_EQ(load_bytes(header_bytes(h) + odd_table(256), &image), BMP_NO_BUFFER)
          << (is_width ? "width " : "height ") << side;
      EXPECT_EQ(image, nullptr);
    }
  }
}

TEST(BmpFile, ShortFilesReportFailedReads) {
  TempDir dir;
  const std::string good = header_bytes(BmpHeaders{}) + odd_table(256) + std::string(8, 'r');
  ImagePtr image;
  ASSERT_EQ(load_bytes(good, &image), BMP_OK);

  // Cut inside the file header, inside the information header, right after it.
  for (size_t length : {0, 1, 13, 14, 30, 53}) {
    EXPECT_EQ(load_bytes(good.substr(0, length), &image), BMP_IO_ERROR) << length << " bytes";
    EXPECT_EQ(image, nullptr) << length << " bytes";
  }
  // Inside the colour table, then inside the last row: the image exists,
  // with the pixels read so far and zeros after them, also in memory that
  // held another picture before (pictures of 64 KiB and more reuse blocks).
  BmpHeaders large;
  large.width = 256;
  large.height = 256;
  const std::string large_file = header_bytes(large) + odd_table(256) + std::string(65536, 'r');
  for (size_t length : {size_t{54}, size_t{600}, large_file.size() - 1}) {
    img_release_kept_blocks();  // room to keep the block below
    ImagePtr spoiled(img_create(1, 256, 256));
    std::memset(spoiled->pixels, 0xEE, 65536);
    spoiled.reset();  // given back dirty
    EXPECT_EQ(load_bytes(large_file.substr(0, length), &image), BMP_IO_ERROR) << length << " bytes";
    ASSERT_NE(image, nullptr) << length << " bytes";
    const std::string pixels(reinterpret_cast<const char*>(image->pixels), 65536);
    EXPECT_EQ(pixels, length == large_file.size() - 1 ? std::string(65535, 'r') + '\0' : std::string(65536, '\0'))
        << length << " bytes";
  }
  // A pixel offset past the end of the file.
  for (uint32_t offset : {static_cast<uint32_t>(good.size()), 1u << 20, 0xFFFFFFFFu}) {
    BmpHeaders far;
    far.pixel_offset = offset;
    EXPECT_EQ(load_bytes(header_bytes(far) + odd_table(256) + std::string(8, 'r'), &image),
              BMP_IO_ERROR)
        << "offset " << offset;
    EXPECT_NE(image, nullptr);
  }
}

TEST(BmpFile, NullArgumentsAndUnreachableFiles) {
  TempDir dir;
  GreyImage stale{};
  GreyImage* result = &stale;
  EXPECT_EQ(img_load_bmp(nullptr, "x.bmp"), BMP_NULL_ARGUMENT);
  EXPECT_EQ(img_load_bmp(&result, nullptr), BMP_NULL_ARGUMENT);
  EXPECT_EQ(img_load_bmp(&result, "missing.bmp"), BMP_CANNOT_OPEN);
  EXPECT_EQ(result, nullptr);
  std::filesystem::create_directory("folder.bmp");
  EXPECT_EQ(img_load_bmp(&result, "folder.bmp"), BMP_IO_ERROR);
  EXPECT_EQ(result, nullptr);

  ImagePtr image(img_create(1, 4, 4));
  EXPECT_EQ(img_save_bmp(nullptr, "x.bmp"), BMP_NULL_ARGUMENT);
  EXPECT_EQ(img_save_bmp(image.get(), nullptr), BMP_NULL_ARGUMENT);
  EXPECT_EQ(img_save_bmp(image.get(), "no/such/folder/x.bmp"), BMP_CANNOT_OPEN);
  EXPECT_EQ(img_save_bmp(image.get(), "folder.bmp"), BMP_CANNOT_OPEN);

  // A record img_create could not have made is not written at all.
  GreyImage broken = *image;
  broken.stride = 2;
  EXPECT_EQ(img_save_bmp(&broken, "broken.bmp"), BMP_NULL_ARGUMENT);
  broken = *image;
  broken.pixels = nullptr;
  EXPECT_EQ(img_save_bmp(&broken, "broken.bmp"), BMP_NULL_ARGUMENT);
  EXPECT_FALSE(std::filesystem::exists("broken.bmp"));

  // A full disk: the small file sits in the write buffer until the end, and
  // that failure is reported instead of success.
  {
    FileSizeLimit full(100);
    EXPECT_EQ(img_save_bmp(image.get(), "small.bmp"), BMP_IO_ERROR);
  }
  EXPECT_FALSE(std::filesystem::exists("small.bmp"));
}

}  // namespace
