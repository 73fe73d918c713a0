// Writes the seed inputs of the fuzz targets: small valid files that the
// workbench itself produces (bitmaps from the engine's writer, the default
// settings files, parameter files from scn_SavePar, height files and an
// engine profile, a fringe picture and a colour map through the PNG and TIFF
// writers in each layout the readers take, frame-set records), laid out as each target reads
// its input.
//
// Usage: make_seeds DIR   (creates DIR/<target>/ for each target)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/height_matrix.h"
#include "analysis/height_text_file.h"
#include "common/settings_file.h"
#include "formats/picture_writers.h"
#include "render/colour_map.h"
#include "settings/channel_settings.h"
#include "settings/method_settings.h"
#include "studies/study_table.h"
#include "settings/surface_settings.h"
#include "scan/grey_image.h"
#include "scan/include/scan.h"
#include "scan/run_scan.h"

namespace fs = std::filesystem;

namespace {


std::string file_bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

// Grey level of a vertical fringe pattern with a period of `period` pixels.
uint8_t fringe_level(int x, int y, double period) {
  const double phase = 2.0 * std::numbers::pi * (x + 0.01 * (x * x + y * y)) / period;
  return static_cast<uint8_t>(std::lrint(128.0 + 100.0 * std::cos(phase)));
}

// An image of the given kind, every byte of its rows set from a pattern.
void save_image(const fs::path& file, int type, int width, int height, bool odd_table) {
  GreyImage* image = img_create(type, width, height);
  if (image == nullptr) throw std::runtime_error("cannot create a seed image");
  for (int y = 0; y < height; ++y) {
    uint8_t* row = img_line(image, y);
    for (int i = 0; i < image->stride; ++i)
      row[i] = fringe_level(i / type, y, 10.0) ^ static_cast<uint8_t>(i % type);
  }
  if (odd_table) {
    uint8_t table[1024];
    for (int i = 0; i < 256; ++i) {
      table[4 * i] = static_cast<uint8_t>(i);
      table[4 * i + 1] = static_cast<uint8_t>(255 - i);
      table[4 * i + 2] = static_cast<uint8_t>(i / 2);
      table[4 * i + 3] = 0;
    }
    img_set_color_table(image, table);
  }
  const int code = img_save_bmp(image, file.c_str());
  img_destroy(image);
  if (code != BMP_OK) throw std::runtime_error("cannot write " + file.string());
}

void bmp_seeds(const fs::path& dir) {
  save_image(dir / "grey_10x3.bmp", 1, 10, 3, false);  // 8-bit, stride 12
  save_image(dir / "grey_1x1.bmp", 1, 1, 1, false);
  save_image(dir / "table_5x4.bmp", 1, 5, 4, true);    // a table that is not the ramp
  save_image(dir / "rgb_5x3.bmp", 3, 5, 3, false);     // 24-bit, stride 16
  save_image(dir / "word_3x2.bmp", 2, 3, 2, false);    // 16-bit
  save_image(dir / "rgba_2x2.bmp", 4, 2, 2, false);    // 32-bit
}

// Input layout of the scan_par target: section name, line feed, file.
void scan_par_seeds(const fs::path& dir, const fs::path& work) {
  const std::string dialog_file = file_bytes(work / "scnmod.ini");
  put(dir / "dialog_defaults", "ScanParameter\n" + dialog_file);
  put(dir / "dialog_defaults_lower_case", "scanparameter\n" + dialog_file);

  const fs::path saved = work / "saved.ini";
  const ScnPar par{3, 20, 12.5, 0.012, 0.011, 25.0, 3.2, 0.1, -0.2, -10.0};
  scn_SavePar(&par, saved.c_str(), "ScanParameter");
  scn_SavePar(&par, saved.c_str(), "Other");
  put(dir / "saved_two_sections", "Other\n" + file_bytes(saved));
}

// Input layout of the run_scan target (see its source): flags, width,
// height, pattern period, ten parameter selectors, pixel bytes.
std::string run_scan_input(uint8_t flags, int width, int height,
                           const std::vector<uint8_t>& selectors, const std::string& pixels) {
  std::string input;
  input += static_cast<char>(flags);
  input += static_cast<char>(width - 1);
  input += static_cast<char>(height - 1);
  input += static_cast<char>(56);  // period 3 + 56 / 8 = 10 pixels
  for (uint8_t selector : selectors) input += static_cast<char>(selector);
  input.append(10 - selectors.size(), '\0');
  return input + pixels;
}

void run_scan_seeds(const fs::path& dir) {
  const std::string quiet(1, static_cast<char>(128));  // no noise over the pattern
  put(dir / "defaults_file", run_scan_input(4, 64, 64, {}, quiet));
  put(dir / "defaults_direct", run_scan_input(5, 64, 64, {}, quiet));
  put(dir / "defaults_reference", run_scan_input(6, 48, 40, {}, quiet));
  // NFilt 0 and FlawThr 128 (selector 10: byte - 128) over the pattern.
  put(dir / "no_smoothing_no_flaw_test", run_scan_input(4, 64, 64, {1, 10, 0}, quiet));
  std::string grey;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) grey += static_cast<char>(fringe_level(x, y, 10.0));
  put(dir / "plain_pixels", run_scan_input(0, 32, 32, {}, grey));
}

void read_profile_seeds(const fs::path& dir, const fs::path& work) {
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) map(x, y) = 0.001 * (x - y) + (x == y ? kNoHeight : 0.0);
  write_heights((dir / "wide_8x6").string(), map, 8, 6, 0.04, 0.04);
  write_heights((dir / "high_6x8").string(), map, 6, 8, 0.04, 0.05);
  write_heights((dir / "single_1x1").string(), map, 1, 1, 0.04, 0.04);

  // The engine's own profile of a small fringe image.
  GreyImage* image = img_create(1, 64, 64);
  if (image == nullptr) throw std::runtime_error("cannot create a seed image");
  for (int y = 0; y < 64; ++y) {
    uint8_t* row = img_line(image, y);
    for (int x = 0; x < 64; ++x) row[x] = fringe_level(x, y, 10.0);
  }
  const fs::path bmp = work / "sim00.bmp";
  img_save_bmp(image, bmp.c_str());
  img_destroy(image);
  run_scan(bmp.c_str(), nullptr, (work / "scnmod.ini").c_str(), "ScanParameter",
           (dir / "engine_profile_16x16").c_str());
}

// A small fringe picture as the engine holds it, and a colour map as the
// height export writes it.
GreyImage* seed_fringes(int width, int height) {
  GreyImage* image = img_create(1, width, height);
  if (image == nullptr) throw std::runtime_error("cannot create a seed image");
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) img_line(image, y)[x] = fringe_level(x, y, 5.0);
  return image;
}

Picture seed_colour_map(int side) {
  HeightMatrix map(side, side);
  for (int x = 0; x < side; ++x)
    for (int y = 0; y < side; ++y) map(x, y) = 0.001 * (x - y);
  Picture picture;
  render_map(map, 0, side - 1, 0, side - 1, kMapColourClasses, picture, colour_blue, colour_red,
             colour_green, -0.01, 0.01);
  return picture;
}

// Grey samples as colour, with alpha when asked.
SampleImage coloured(const SampleImage& grey, bool alpha) {
  SampleImage out = grey;
  out.channels = alpha ? 4 : 3;
  out.samples.clear();
  for (const uint16_t v : grey.samples) {
    out.samples.insert(out.samples.end(), {v, static_cast<uint16_t>(v / 2), v});
    if (alpha) out.samples.push_back(v);
  }
  return out;
}

SampleImage with_alpha(const SampleImage& grey) {
  SampleImage out = grey;
  out.channels = 2;
  out.samples.clear();
  for (const uint16_t v : grey.samples) out.samples.insert(out.samples.end(), {v, v});
  return out;
}

void png_seeds(const fs::path& dir) {
  GreyImage* image = seed_fringes(16, 12);
  const SampleImage grey8 = grey_samples(*image, 8);
  const SampleImage grey16 = grey_samples(*image, 16);
  img_destroy(image);
  put(dir / "grey8", png_bytes(grey8));
  put(dir / "grey16", png_bytes(grey16));
  put(dir / "grey_alpha8", png_bytes(with_alpha(grey8)));
  put(dir / "rgb16", png_bytes(coloured(grey16, false)));
  put(dir / "rgba8", png_bytes(coloured(grey8, true)));
  put(dir / "colour_map", png_bytes(rgb_samples(seed_colour_map(20))));
}

void tiff_seeds(const fs::path& dir) {
  GreyImage* image = seed_fringes(20, 18);
  const SampleImage grey8 = grey_samples(*image, 8);
  const SampleImage grey16 = grey_samples(*image, 16);
  img_destroy(image);
  put(dir / "strips_none8", tiff_bytes(grey8, {TiffCompression::none, false, 0, 5}));
  put(dir / "strips_lzw16", tiff_bytes(grey16, {TiffCompression::lzw, true, 0, 7}));
  put(dir / "strips_deflate8_big_endian", tiff_bytes(grey8, {TiffCompression::deflate, false, 0, 0, true}));
  put(dir / "strips_packbits16", tiff_bytes(grey16, {TiffCompression::packbits}));
  put(dir / "tiles_lzw8", tiff_bytes(grey8, {TiffCompression::lzw, false, 16}));
  put(dir / "tiles_none16_big_endian", tiff_bytes(grey16, {TiffCompression::none, false, 16, 0, true}));
  put(dir / "rgb8", tiff_bytes(coloured(grey8, false)));
  put(dir / "rgba16_deflate", tiff_bytes(coloured(grey16, true), {TiffCompression::deflate, true}));
  put(dir / "grey_alpha8_packbits", tiff_bytes(with_alpha(grey8), {TiffCompression::packbits}));
}

// Input layout of the settings target: key, line feed, file.
void settings_seeds(const fs::path& dir, const fs::path& work) {
  put(dir / "image_ini", "Radius\n" + file_bytes(work / "image.ini"));
  put(dir / "image_1_ini", "XPixels\n" + file_bytes(work / "image_1.ini"));
  put(dir / "scnmod_ini", "LambdaF\n" + file_bytes(work / "scnmod.ini"));
  write_surface_file((work / "surface.ini").string(),
                     {SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2});
  put(dir / "surface_ini", "biconic:rx=7.6,ry=7.9,axis=30,q=-0.2\n" + file_bytes(work / "surface.ini"));
}

// Tables as `fringe study` writes them: a finished CSV with a failed run,
// and a journal with its "#" line and a torn last line.
void study_csv_seeds(const fs::path& dir, const fs::path& work) {
  StudyRunSettings base;
  base.scan = read_lines((work / "scnmod.ini").string());
  base.image = read_lines((work / "image.ini").string());
  const StudyPlan plan(base, {parse_study_axis("noise=0:1:3"), parse_study_axis("period=8,12")}, 2, 1);
  std::vector<StudyRow> rows;
  for (std::size_t run = 0; run < plan.run_count(); ++run)
    rows.push_back({run, {0.1 * run, std::sqrt(run + 1.0), -1e-5 * run, 1.0 - run / 50.0, double(run % 3)},
                    100.0 + run, "ok"});
  rows[5] = {5, {}, 12.5, "Cannot open file \"./sim00.bmp\", twice"};
  put(dir / "finished_csv", study_csv(plan, rows));
  rows.resize(4);
  put(dir / "journal_torn", "# fringe study " + study_fingerprint(plan) + "\n" + study_csv(plan, rows) +
                                "0.5,12,1,2,0.3");
}

// Frame-set records as "apply" writes them, one per method.
void frame_set_seeds(const fs::path& dir) {
  MethodSettings quadrature;
  put(dir / "quadrature", lines_text(method_settings_lines(quadrature)));
  MethodSettings phase_shift;
  phase_shift.method = FringeMethod::phase_shift;
  phase_shift.steps = 8;
  phase_shift.periods = {1280.0, 80.0, 10.0};
  phase_shift.errors.bits = 12;
  put(dir / "phase_shift_12_bits", lines_text(method_settings_lines(phase_shift)));
  MethodSettings fourier;
  fourier.method = FringeMethod::fourier;
  fourier.periods = {12.5};
  put(dir / "fourier", lines_text(method_settings_lines(fourier)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  try {
    const fs::path root = argv[1];
    const fs::path work = root / "work";
    fs::remove_all(work);
    fs::create_directories(work);
    write_default_settings(work.string());

    const char* const targets[] = {"bmp_load_fuzz",     "scan_par_fuzz", "run_scan_fuzz",
                                   "read_profile_fuzz", "settings_fuzz", "png_load_fuzz",
                                   "tiff_load_fuzz",    "study_csv_fuzz", "frame_set_fuzz"};
    for (const char* target : targets) {
      fs::remove_all(root / target);
      fs::create_directories(root / target);
    }
    bmp_seeds(root / "bmp_load_fuzz");
    scan_par_seeds(root / "scan_par_fuzz", work);
    run_scan_seeds(root / "run_scan_fuzz");
    read_profile_seeds(root / "read_profile_fuzz", work);
    settings_seeds(root / "settings_fuzz", work);
    png_seeds(root / "png_load_fuzz");
    tiff_seeds(root / "tiff_load_fuzz");
    study_csv_seeds(root / "study_csv_fuzz", work);
    frame_set_seeds(root / "frame_set_fuzz");
    fs::remove_all(work);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_seeds: %s\n", error.what());
    return 1;
  }
  return 0;
}
