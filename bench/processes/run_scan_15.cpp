// run_scan 15 times (or argv[4] times) on one picture in one process, files
// in memory (put them on a tmpfs): the program compare_run_scan.py starts
// alternately against two builds of the engine. Built by hand against each
// build's static core, as that script's help says, so that it also builds
// against older trees; FORCE_TARGET=avx2 keeps the kernels on AVX2 (for
// trees whose kernels dispatch through Highway).
#include <cstdlib>
#include <cstring>

#include "scan/run_scan.h"

#ifdef WITH_HWY
#include <hwy/targets.h>
#endif

int main(int argc, char** argv) {
  if (argc < 4) return 2;
#ifdef WITH_HWY
  const char* force = std::getenv("FORCE_TARGET");
  if (force != nullptr && std::strcmp(force, "avx2") == 0) hwy::SetSupportedTargetsForTest(HWY_AVX2);
#endif
  const int count = argc > 4 ? std::atoi(argv[4]) : 15;
  for (int i = 0; i < count; ++i) run_scan(argv[1], nullptr, argv[2], "ScanParameter", argv[3]);
  return 0;
}
