// Hostile input to the engine: bitmap headers of other kinds, images too
// small for the filter window, and parameter files with every value the
// engine divides by or sizes buffers from set to something unusable. The
// engine must end every run with its return codes and a well-formed profile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fringe_image.h"
#include "grey_image.h"
#include "image_processing.h"
#include "run_scan.h"
#include "scan.h"
#include "scan/default_par.h"
#include "temp_dir.h"

namespace {

struct ImageDeleter {
  void operator()(GreyImage* image) const { img_destroy(image); }
};
using ImagePtr = std::unique_ptr<GreyImage, ImageDeleter>;

void append_u16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void append_u32(std::string& out, uint32_t value) {
  append_u16(out, value & 0xFFFF);
  append_u16(out, value >> 16);
}

// "BM", file size 0, reserved 0, pixel offset.
std::string file_header(uint32_t pixel_offset) {
  std::string out = "BM";
  append_u32(out, 0);
  append_u32(out, 0);
  append_u32(out, pixel_offset);
  return out;
}

// An information header of `size` bytes (40 or more) for an uncompressed
// one-plane bitmap; fields past the first 16 bytes are zero.
std::string info_header(uint32_t size, int32_t width, int32_t height, uint16_t bits) {
  std::string out;
  append_u32(out, size);
  append_u32(out, static_cast<uint32_t>(width));
  append_u32(out, static_cast<uint32_t>(height));
  append_u16(out, 1);
  append_u16(out, bits);
  out.append(size - 16, '\0');
  return out;
}

std::string grey_table() {
  std::string table;
  for (int i = 0; i < 256; ++i) table += {static_cast<char>(i), static_cast<char>(i), static_cast<char>(i), '\0'};
  return table;
}

int load(const std::string& bytes, ImagePtr& image) {
  write_file_bytes("input.bmp", bytes);
  GreyImage* loaded = nullptr;
  const int code = img_load_bmp(&loaded, "input.bmp");
  image.reset(loaded);
  return code;
}

std::vector<std::string> lines_of(const std::string& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// True when the whole text is one finite number.
bool is_finite_number(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(value);
}

// A profile file as the engine writes it for a cols x rows grid: the counts,
// two finite spacings, then cols * rows finite heights, one per line.
::testing::AssertionResult is_profile(const std::string& file, int cols, int rows) {
  const std::vector<std::string> lines = lines_of(file);
  if (lines.size() != 2u + static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows))
    return ::testing::AssertionFailure() << lines.size() << " lines";
  if (lines[0] != std::to_string(cols) + " " + std::to_string(rows))
    return ::testing::AssertionFailure() << "counts '" << lines[0] << "'";
  const std::size_t blank = lines[1].find(' ');
  if (blank == std::string::npos || !is_finite_number(lines[1].substr(0, blank)) ||
      !is_finite_number(lines[1].substr(blank + 1)))
    return ::testing::AssertionFailure() << "spacing '" << lines[1].substr(0, 40) << "'";
  for (std::size_t i = 2; i < lines.size(); ++i)
    if (!is_finite_number(lines[i])) return ::testing::AssertionFailure() << "height '" << lines[i] << "'";
  return ::testing::AssertionSuccess();
}

void run_with(const std::vector<std::string>& parameter_lines, const char* image) {
  std::string ini = "[ScanParameter]\r\n";
  for (const std::string& line : parameter_lines) ini += line + "\r\n";
  write_file_bytes("scan.ini", ini);
  run_scan(image, nullptr, "scan.ini", "ScanParameter", "profile.txt");
}

TEST(BadBitmap, OtherHeaderKindsAndOffsets) {
  TempDir dir;
  ImagePtr image;
  const std::string pixels = "abc-def-";  // 3 x 2, rows padded to 4

  // A 12-byte core header: its 16-bit sizes and 3-byte colour entries read
  // as a 40-byte header give no plane (the first table bytes are 0).
  std::string core = file_header(14 + 12 + 768);
  append_u32(core, 12);
  append_u16(core, 3);
  append_u16(core, 2);
  append_u16(core, 1);
  append_u16(core, 8);
  for (int i = 0; i < 256; ++i) core += {static_cast<char>(i), static_cast<char>(i), static_cast<char>(i)};
  EXPECT_EQ(load(core + pixels, image), BMP_UNSUPPORTED);
  EXPECT_EQ(image, nullptr);

  // A 124-byte header: the pixels still come from the pixel offset; the
  // table is taken from behind the first 40 bytes, whatever they hold.
  const std::string v5 = file_header(14 + 124 + 1024) + info_header(124, 3, 2, 8) + grey_table();
  ASSERT_EQ(load(v5 + pixels, image), BMP_OK);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->pixels), 8), pixels);

  // A pixel offset inside the headers: the rows are read from there, within
  // the file.
  const std::string inside = file_header(0) + info_header(40, 3, 2, 8) + grey_table();
  ASSERT_EQ(load(inside, image), BMP_OK);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->pixels), 8), inside.substr(0, 8));

  // The largest size with no pixels behind it: the buffer is made, the first
  // row read fails, and the caller gets the image to release.
  EXPECT_EQ(load(file_header(54) + info_header(40, 4096, 4096, 32), image), BMP_IO_ERROR);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size, 4096 * 4096 * 4);
}

TEST(BadBitmap, FailedLoadsKeepTheEnginesPlanes) {
  TempDir dir;
  ScnHandle handle = scn_Init();
  GreyImage* ramp = img_create(1, 40, 30);
  ASSERT_EQ(img_save_bmp(ramp, "small.bmp"), BMP_OK);
  ASSERT_EQ(scn_LoadImage(handle, "small.bmp"), SCN_OK);

  // Other sizes that fail part way, or are not 8-bit, or are no file at all.
  const std::string whole = file_header(54 + 1024) + info_header(40, 64, 64, 8) + grey_table() +
                            std::string(64 * 64, 'x');
  write_file_bytes("cut.bmp", whole.substr(0, whole.size() - 1));
  GreyImage* words = img_create(2, 64, 64);
  ASSERT_EQ(img_save_bmp(words, "words.bmp"), BMP_OK);
  write_file_bytes("wide.bmp", file_header(54 + 1024) + info_header(40, 4097, 1, 8) + grey_table());
  std::filesystem::create_directory("folder.bmp");
  for (const char* file : {"cut.bmp", "words.bmp", "wide.bmp", "folder.bmp"}) {
    EXPECT_EQ(scn_LoadImage(handle, file), SCN_FAILED) << file;
    int32_t width = 0, height = 0;
    scn_GetImageSize(handle, &width, &height);
    EXPECT_EQ(width, 40) << file;
    EXPECT_EQ(height, 30) << file;
  }
  img_destroy(ramp);
  img_destroy(words);
  scn_Exit(handle);
}

TEST(HostileParameters, EveryRunEndsWithAWellFormedProfile) {
  TempDir dir;
  SphereFringes fringes;
  fringes.width = 96;
  fringes.height = 64;
  fringes.pixel_size = 0.05;
  ASSERT_TRUE(write_sphere_fringes(fringes, "sphere.bmp"));

  // Values the engine divides by, sizes windows and masks from, or feeds to
  // tan: zero, negative, tiny, huge, and text the formatted scan half reads.
  const std::vector<std::string> hostile = {
      "LambdaF=0",          "LambdaF=-10",        "LambdaF=1e-300",   "LambdaF=1e300",
      "CamResX=0",          "CamResX=-0.01",      "CamResX=1e-300",   "CamResX=1e300",
      "CamResY=0",          "CamResY=1e300",      "Alpha=0",          "Alpha=90",
      "Alpha=-90",          "Alpha=180",          "Alpha=1e300",      "MaskRadius=0",
      "MaskRadius=-3.5",    "MaskRadius=1e300",   "MaskXOfs=1e300",   "MaskYOfs=-1e300",
      "NFilt=-2147483648",  "FlawThr=-2147483648", "FlawThr=2147483647", "DepthLimit=1e300",
      "DepthLimit=-1e-300", "LambdaF=nan",        "CamResX=inf",      "NFilt=1e9",
  };
  for (const std::string& line : hostile) {
    std::filesystem::remove("profile.txt");
    run_with({line}, "./sphere.bmp");
    EXPECT_TRUE(is_profile("profile.txt", 24, 16)) << line;
  }
  // Everything unusable at once, and a parameter file of binary noise.
  run_with({"LambdaF=0", "CamResX=0", "CamResY=0", "Alpha=0", "MaskRadius=0", "NFilt=-1"}, "./sphere.bmp");
  EXPECT_TRUE(is_profile("profile.txt", 24, 16));
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise += static_cast<char>((i * 7919) % 251);
  write_file_bytes("noise.ini", noise);
  run_scan("./sphere.bmp", nullptr, "noise.ini", "ScanParameter", "profile.txt");
  EXPECT_TRUE(is_profile("profile.txt", 24, 16));
}

// The work plane (smoothed, then the wrapped phase) after processing `image`
// with the parameters of a file holding `lines`.
std::vector<uint8_t> work_plane_with(const std::vector<std::string>& lines, const char* image) {
  std::string ini = "[ScanParameter]\r\n";
  for (const std::string& line : lines) ini += line + "\r\n";
  write_file_bytes("scan.ini", ini);
  ScnPar par = kDefaultScnPar;
  scn_LoadPar(&par, "scan.ini", "ScanParameter");
  ScnHandle handle = scn_Init();
  scn_SetPar(handle, &par);
  EXPECT_EQ(scn_LoadImage(handle, image), SCN_OK);
  scn_ImageProcessing(handle);
  int32_t width = 0, height = 0;
  scn_GetImageSize(handle, &width, &height);
  std::vector<uint8_t> plane(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int32_t y = 0; y < height; ++y)
    scn_ReadImageLine(handle, SCN_PLANE_WORK, y, plane.data() + static_cast<std::size_t>(y) * width);
  scn_Exit(handle);
  return plane;
}

TEST(HostileParameters, HugePassCountsRunTheCappedNumberOfPasses) {
  TempDir dir;
  // A bright picture with a dark right edge: each smoothing pass carries the
  // dark one column further left, so it is still changing after the cap.
  ImagePtr slow(img_create(1, 1500, 8));
  for (int32_t y = 0; y < 8; ++y) std::fill(img_line(slow.get(), y), img_line(slow.get(), y) + 1499, uint8_t{200});
  ASSERT_EQ(img_save_bmp(slow.get(), "slow.bmp"), BMP_OK);
  const std::string cap = "NFilt=" + std::to_string(kMaxSmoothingPasses);
  const std::vector<uint8_t> capped = work_plane_with({cap}, "slow.bmp");
  EXPECT_NE(work_plane_with({"NFilt=" + std::to_string(kMaxSmoothingPasses - 1)}, "slow.bmp"), capped);
  for (const char* count : {"NFilt=1000000000", "NFilt=2147483647"})
    EXPECT_EQ(work_plane_with({count}, "slow.bmp"), capped) << count;

  // The formatted scan reads "1e9" as 1: one pass.
  EXPECT_EQ(work_plane_with({"NFilt=1e9"}, "slow.bmp"), work_plane_with({"NFilt=1"}, "slow.bmp"));
}

TEST(TinyImages, TheDriverWritesTheProfileOfTheWholeBlocks) {
  TempDir dir;
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {3, 3}, {4, 4}, {7, 5},    {28, 8},
                                               {29, 9}, {4096, 4}, {1, 4096}, {5, 4096}};
  for (auto [width, height] : sizes) {
    SphereFringes fringes;
    fringes.width = width;
    fringes.height = height;
    ImagePtr image(make_sphere_fringes(fringes));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(img_save_bmp(image.get(), "tiny.bmp"), BMP_OK);
    run_with({"MaskRadius=100"}, "./tiny.bmp");
    EXPECT_TRUE(is_profile("profile.txt", width / 4, height / 4)) << width << " x " << height;
  }
}

}  // namespace
