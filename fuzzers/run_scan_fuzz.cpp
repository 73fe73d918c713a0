// The whole engine on a small fuzzed 8-bit image (1 to 64 pixels a side) with
// fuzzed parameters, extreme values included (NaN, infinities, 0, negatives,
// huge smoothing pass counts).
//
// Input layout:
//   byte 0      flags: bit 0 drives the engine through its exported functions
//               with the raw record (NaN and infinities reach the engine, as
//               from a program that calls it directly); otherwise run_scan
//               reads the record from a parameter file written from the
//               values. Bit 1 processes the image as reference first. Bit 2
//               lays the pixel bytes over a clean fringe pattern.
//   bytes 1, 2  width and height: (byte mod 64) + 1
//   byte 3      fringe pattern period (bit 2): 3 + byte / 8 pixels
//   then        for each of the ten parameters a selector byte, for some
//               selectors followed by value bytes (see read_value)
//   rest        pixel bytes, row 0 first, repeated when too few
//
// Whatever the engine makes of it, the profile it writes must read back on
// the window side as heights or as a file error, never anything else.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/height_text_file.h"
#include "common/errors.h"
#include "fuzz_work_dir.h"
#include "scan/grey_image.h"
#include "scan/include/scan.h"
#include "scan/run_scan.h"

namespace {

constexpr char kSection[] = "ScanParameter";
constexpr int kMaxSide = 64;

// Consumes the input from the front; past its end every byte reads as 0.
class InputBytes {
 public:
  InputBytes(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
  void bytes(void* out, std::size_t count) {
    auto* target = static_cast<uint8_t*>(out);
    for (std::size_t i = 0; i < count; ++i) target[i] = byte();
  }
  const uint8_t* rest() const { return data_ + position_; }
  std::size_t rest_size() const { return position_ < size_ ? size_ - position_ : 0; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// One fuzzed parameter: its value for the record and the text (if any) that
// stands behind its key in the parameter file.
struct FuzzedValue {
  bool in_file = true;  // false: the key is left out (default applies)
  std::string text;     // the value text in the file
  double real = 0.0;
  int32_t integer = 0;
};

std::string number_text(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// Selectors: 0 key absent, 1 zero, 2 minus one, 3 NaN, 4 +inf, 5 -inf,
// 6 huge, 7 minus huge, 8 tiny, 9 raw bytes (8 for a double, 4 for an
// integer), 10 a small value from one byte, 11 up to 8 bytes of raw text.
FuzzedValue read_value(InputBytes& in, bool integer, double fallback) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  FuzzedValue value;
  double real = fallback;
  switch (in.byte() % 12) {
    case 0: value.in_file = false; break;
    case 1: real = 0.0; break;
    case 2: real = -1.0; break;
    case 3: real = std::numeric_limits<double>::quiet_NaN(); break;
    case 4: real = kInf; break;
    case 5: real = -kInf; break;
    case 6: real = integer ? 1e9 : 1e300; break;
    case 7: real = integer ? -1e9 : -1e300; break;
    case 8: real = integer ? 1.0 : 1e-300; break;
    case 9:
      if (integer) {
        int32_t raw = 0;
        in.bytes(&raw, sizeof raw);
        real = raw;
      } else {
        in.bytes(&real, sizeof real);
      }
      break;
    case 10: {
      const int b = in.byte();
      real = integer ? b - 128 : (b - 128) / 8.0;
      break;
    }
    default: {
      const int length = in.byte() % 9;
      for (int i = 0; i < length; ++i) {
        const char c = static_cast<char>(in.byte());
        if (c != '\n' && c != '\r' && c != '\0') value.text += c;
      }
      value.real = fallback;
      value.integer = static_cast<int32_t>(fallback);
      return value;
    }
  }
  value.real = real;
  // The record of the direct path: an integer field takes the value clamped
  // to its range (NaN as 0), as a caller's own conversion would.
  if (std::isnan(real)) value.integer = 0;
  else if (real >= INT32_MAX) value.integer = INT32_MAX;
  else if (real <= INT32_MIN) value.integer = INT32_MIN;
  else value.integer = static_cast<int32_t>(real);
  value.text = integer && std::isfinite(real) ? std::to_string(static_cast<long long>(real))
                                              : number_text(real);
  return value;
}

struct FieldSpec {
  const char* key;
  bool integer;
  double fallback;
};

constexpr FieldSpec kFields[10] = {
    {"NFilt", true, 2},         {"FlawThr", true, 16},     {"LambdaF", false, 10.0},
    {"CamResX", false, 0.01},   {"CamResY", false, 0.01},  {"Alpha", false, 30.0},
    {"MaskRadius", false, 3.5}, {"MaskXOfs", false, 0.0},  {"MaskYOfs", false, 0.0},
    {"DepthLimit", false, -10.0}};

ScnPar record_of(const FuzzedValue (&values)[10]) {
  ScnPar par{};
  par.NFilt = values[0].integer;
  par.FlawThr = values[1].integer;
  double* reals[8] = {&par.LambdaF,    &par.CamResX,  &par.CamResY,  &par.Alpha,
                      &par.MaskRadius, &par.MaskXOfs, &par.MaskYOfs, &par.DepthLimit};
  for (int i = 0; i < 8; ++i) *reals[i] = values[i + 2].real;
  return par;
}

std::string parameter_file_text(const FuzzedValue (&values)[10]) {
  std::string text = std::string("[") + kSection + "]\r\n";
  for (int i = 0; i < 10; ++i) {
    if (values[i].in_file) text += std::string(kFields[i].key) + "=" + values[i].text + "\r\n";
  }
  return text;
}

// The fringe image as an 8-bit bitmap file written by the engine's own writer.
void write_image(const std::string& file, InputBytes& in, int width, int height,
                 bool over_fringes, double period) {
  GreyImage* image = img_create(1, width, height);
  if (image == nullptr) fuzz_fail("a small image cannot be created");
  const uint8_t* pixels = in.rest();
  const std::size_t count = in.rest_size();
  std::size_t next = 0;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = img_line(image, y);
    for (int x = 0; x < width; ++x) {
      const int byte = count > 0 ? pixels[next++ % count] : 0;
      if (over_fringes) {
        // A slightly curved fringe field, as a sphere gives, plus noise.
        const double phase = 2.0 * std::numbers::pi * (x + 0.01 * (x * x + y * y)) / period;
        const int level = static_cast<int>(128.0 + 100.0 * std::cos(phase)) + (byte - 128) / 4;
        row[x] = static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
      } else {
        row[x] = static_cast<uint8_t>(byte);
      }
    }
  }
  if (img_save_bmp(image, file.c_str()) != BMP_OK) fuzz_fail("the image file cannot be written");
  img_destroy(image);
}

// Every line of every readable plane, read into a buffer of exactly the
// image width, plus reads outside the planes and rows, which must do nothing.
void read_all_planes(ScnHandle handle) {
  int32_t width = 0;
  int32_t height = 0;
  scn_GetImageSize(handle, &width, &height);
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide)
    fuzz_fail("image size out of range");
  std::vector<uint8_t> line(static_cast<std::size_t>(width));
  for (int32_t plane = SCN_PLANE_SOURCE; plane <= SCN_PLANE_SPARE; ++plane) {
    for (int32_t y = 0; y < height; ++y) scn_ReadImageLine(handle, plane, y, line.data());
    scn_ReadImageLine(handle, plane, -1, line.data());
    scn_ReadImageLine(handle, plane, height, line.data());
  }
  scn_ReadImageLine(handle, SCN_PLANE_SPARE + 1, 0, line.data());
  scn_ReadImageLine(handle, -1, 0, line.data());
}

void run_exported_functions(const ScnPar& par, const std::string& image, bool with_reference,
                            const std::string& profile) {
  ScnHandle handle = scn_Init();
  if (handle == nullptr) fuzz_fail("scn_Init failed");
  scn_SetPar(handle, &par);
  if (with_reference) {
    if (scn_LoadImage(handle, image.c_str()) != SCN_OK) fuzz_fail("reference image not loaded");
    scn_ImageProcessing(handle);
    scn_SetReference(handle);
  }
  if (scn_LoadImage(handle, image.c_str()) != SCN_OK) fuzz_fail("image not loaded");
  scn_ImageProcessing(handle);
  read_all_planes(handle);
  scn_ProfileCalculation(handle, with_reference ? 1 : 0);
  scn_SaveProfile(handle, profile.c_str());
  scn_Exit(handle);
}

// The window side reads the engine's profile: heights or a file error.
void read_back(const std::string& profile) {
  if (std::FILE* exists = std::fopen(profile.c_str(), "r")) {
    std::fclose(exists);
  } else {
    return;  // no profile written (no points to write)
  }
  // A small result grid: the file is parsed in full all the same, and the
  // whole-map resampling is the read_profile target's work.
  static HeightMatrix map;
  try {
    read_profile(profile, map, 32, 32);
  } catch (const FileError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputBytes in(data, size);
  const uint8_t flags = in.byte();
  const int width = in.byte() % kMaxSide + 1;
  const int height = in.byte() % kMaxSide + 1;
  const double period = 3.0 + in.byte() / 8.0;
  FuzzedValue values[10];
  for (int i = 0; i < 10; ++i) values[i] = read_value(in, kFields[i].integer, kFields[i].fallback);

  const std::string image = fuzz_work_file("sim00.bmp");
  const std::string ini = fuzz_work_file("scnmod.ini");
  const std::string profile = fuzz_work_file("profile00.txt");
  write_image(image, in, width, height, (flags & 4) != 0, period);
  const bool with_reference = (flags & 2) != 0;

  if ((flags & 1) != 0) {
    run_exported_functions(record_of(values), image, with_reference, profile);
  } else {
    write_work_file(ini, parameter_file_text(values));
    run_scan(image.c_str(), with_reference ? image.c_str() : nullptr, ini.c_str(), kSection,
             profile.c_str());
  }
  read_back(profile);
  clear_work_dir();
  return 0;
}
