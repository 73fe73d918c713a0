// The PNG reader (libpng under our error and limit hooks) on arbitrary file
// bytes; see picture_fuzz_checks.h for what must hold.
#include <cstddef>
#include <cstdint>

#include "picture_fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_picture_reader([](const std::string& file) { return read_png_picture(file); }, "input.png", data, size);
  return 0;
}
