// File formats: reading a 1280 x 1024 16-bit camera picture (PNG, and TIFF
// uncompressed, LZW and Deflate) into the engine's image, target under 15 ms;
// writing each export format of the 256 x 256 residual map, target under
// 5 ms. Writing is measured twice: the bytes alone, and the whole-file write
// through common/replace_file.h, whose fsync costs what the disk makes it.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "common/replace_file.h"
#include "formats/camera_picture.h"
#include "formats/height_field_files.h"
#include "formats/picture_writers.h"
#include "render/colour_map.h"

namespace {


// A directory for the benchmark's files, removed at exit. Its name lives
// until then: it is never destroyed.
const std::string& bench_dir() {
  static const std::string* const dir = [] {
    auto* name = new std::string((std::filesystem::temp_directory_path() / "fringe-bench-XXXXXX").string());
    if (::mkdtemp(name->data()) == nullptr) std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(bench_dir(), ignored);
    });
    return name;
  }();
  return *dir;
}

// A camera picture of bent fringes with 16-bit samples. A 12-bit sensor's
// picture as machine-vision cameras store it: levels 0..4095 in the high bits,
// about two levels of noise. The "full noise" one has nine noisy bits per
// sample, close to incompressible: the worst case for the decoders.
SampleImage camera_picture(bool full_noise) {
  SampleImage image;
  image.width = 1280;
  image.height = 1024;
  image.bits = 16;
  image.samples.resize(1280 * 1024);
  unsigned noise = 12345;
  for (int y = 0; y < 1024; ++y) {
    for (int x = 0; x < 1280; ++x) {
      noise = noise * 1103515245u + 12345u;
      const double r2 = (x - 640.0) * (x - 640.0) + (y - 512.0) * (y - 512.0);
      const double fringe = std::cos(2.0 * std::numbers::pi * (x + 0.0004 * r2) / 10.0);
      const unsigned random = noise >> 16;
      image.at(x, y, 0) =
          full_noise ? static_cast<uint16_t>(32768.0 + 30000.0 * fringe + static_cast<double>(random % 512))
                     : static_cast<uint16_t>(std::lrint(2048.0 + 1800.0 * fringe + (random % 5) - 2.0) << 4);
    }
  }
  return image;
}

enum PictureKind { kPng, kPngFullNoise, kTiffUncompressed, kTiffLzw, kTiffDeflate, kKinds };
const char* const kKindNames[] = {"PNG", "PNG, full noise", "TIFF uncompressed", "TIFF LZW",
                                  "TIFF Deflate"};

std::string camera_file(int kind) {
  static const SampleImage camera = camera_picture(false);
  static const SampleImage noisy = camera_picture(true);
  const std::string file = bench_dir() + "/camera" + std::to_string(kind);
  if (!std::filesystem::exists(file)) {
    switch (kind) {
      case kPng:
        replace_file(file, png_bytes(camera));
        break;
      case kPngFullNoise:
        replace_file(file, png_bytes(noisy));
        break;
      case kTiffUncompressed:
        replace_file(file, tiff_bytes(camera));
        break;
      case kTiffLzw:
        replace_file(file, tiff_bytes(camera, {TiffCompression::lzw, true}));
        break;
      default:
        replace_file(file, tiff_bytes(camera, {TiffCompression::deflate, true}));
        break;
    }
  }
  return file;
}

void BM_read_camera_picture_16_bit(benchmark::State& state) {
  const std::string file = camera_file(static_cast<int>(state.range(0)));
  state.SetLabel(kKindNames[state.range(0)]);
  for (auto _ : state) {
    const GreyImageOwner image = read_camera_picture(file);
    benchmark::DoNotOptimize(image->pixels);
  }
}
BENCHMARK(BM_read_camera_picture_16_bit)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond);

// The floor under the PNG reader on this machine: zlib alone inflating the
// same picture's image data (its IDAT chunks joined), without libpng's
// unfiltering, checksums or our conversion. On a shared machine the ratio of
// the two says more than either time.
void BM_inflate_only_png_image_data(benchmark::State& state) {
  std::ifstream in(camera_file(static_cast<int>(state.range(0))), std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string data;
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const auto byte = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(file[at + i])); };
    const uint32_t length = (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
    if (file.compare(at + 4, 4, "IDAT") == 0) data.append(file, at + 8, length);
    at += 12 + length;
  }
  std::vector<Bytef> rows(1280 * (1024 * 2 + 1));
  state.SetLabel(kKindNames[state.range(0)]);
  for (auto _ : state) {
    uLongf size = rows.size();
    if (uncompress(rows.data(), &size, reinterpret_cast<const Bytef*>(data.data()), data.size()) != Z_OK)
      state.SkipWithError("not inflated");
    benchmark::DoNotOptimize(rows.data());
  }
}
BENCHMARK(BM_inflate_only_png_image_data)->Arg(kPng)->Arg(kPngFullNoise)->Unit(benchmark::kMillisecond);

// The residual map as the export takes it: a few microns of waviness inside
// the mask (3.2 mm round the centre of 10.24 mm), no data outside.
HeightField residual_map() {
  HeightField field;
  field.cols = field.rows = kMapSide;
  field.step_x = field.step_y = 0.04;
  field.title = "residual to the sphere, channel 0";
  for (int y = 0; y < kMapSide; ++y) {
    for (int x = 0; x < kMapSide; ++x) {
      const double u = (x - 128) * 0.04;
      const double v = (y - 128) * 0.04;
      field.heights.push_back(u * u + v * v < 3.2 * 3.2 ? 0.004 * std::sin(u * 3.0) * std::cos(v * 2.0)
                                                         : std::nan(""));
    }
  }
  return field;
}

std::string export_bytes(HeightFormat format, const HeightField& field, const Picture& map) {
  switch (format) {
    case HeightFormat::gsf:
      return gsf_bytes(field);
    case HeightFormat::csv:
      return csv_bytes(field);
    case HeightFormat::xyz:
      return xyz_bytes(field);
    case HeightFormat::ply:
      return ply_bytes(field);
    case HeightFormat::png:
      break;
  }
  return png_bytes(rgb_samples(map));
}

Picture map_picture(const HeightField& field) {
  HeightMatrix map;
  for (int y = 0; y < kMapSide; ++y)
    for (int x = 0; x < kMapSide; ++x) {
      const double z = field.at(x, y);
      map(x, y) = std::isnan(z) ? 0.0 : z;  // the map shows 0 outside the mask
    }
  Picture picture(kMapSide, kMapSide);
  render_full_map(map, picture, -0.005, 0.005);
  return picture;
}

const char* const kFormatNames[] = {"gsf", "csv", "xyz", "ply", "png"};

// The bytes only.
void BM_export_map_bytes(benchmark::State& state) {
  const HeightField field = residual_map();
  const Picture map = map_picture(field);
  const auto format = static_cast<HeightFormat>(state.range(0));
  state.SetLabel(kFormatNames[state.range(0)]);
  for (auto _ : state) {
    const std::string bytes = export_bytes(format, field, map);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_export_map_bytes)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// The whole export of one format as the program does it: the bytes, then the
// whole-file replacement with its fsync and rename.
void BM_export_map_file(benchmark::State& state) {
  const HeightField field = residual_map();
  const Picture map = map_picture(field);
  const auto format = static_cast<HeightFormat>(state.range(0));
  state.SetLabel(kFormatNames[state.range(0)]);
  const std::string file = bench_dir() + "/map" + height_format_extension(format);
  for (auto _ : state) replace_file(file, export_bytes(format, field, map));
}
BENCHMARK(BM_export_map_file)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace
