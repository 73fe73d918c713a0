// Whether a buffer a reader handed back is as large as its record says. The
// fuzz targets used to read every byte of every row for this, which under the
// coverage instrumentation cost more than the reader itself; the address
// sanitizer answers the same question from its shadow memory at once. Builds
// without it (the plain replays of tests/fuzz_regressions) read the bytes,
// so that a short buffer still shows under valgrind or as a crash.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz_work_dir.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FRINGE_FUZZ_HAS_ASAN 1
#endif
#endif
#if !defined(FRINGE_FUZZ_HAS_ASAN) && defined(__SANITIZE_ADDRESS__)
#define FRINGE_FUZZ_HAS_ASAN 1
#endif

#ifdef FRINGE_FUZZ_HAS_ASAN
#include <sanitizer/asan_interface.h>
#endif

// Fails the input when any of the `size` bytes at `bytes` lies outside its
// allocation (or was freed).
inline void require_addressable(const void* bytes, std::size_t size) {
  if (size == 0) return;
#ifdef FRINGE_FUZZ_HAS_ASAN
  if (__asan_region_is_poisoned(const_cast<void*>(bytes), size) != nullptr)
    fuzz_fail("a buffer smaller than its record says");
#else
  const auto* p = static_cast<const volatile uint8_t*>(bytes);
  unsigned sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += p[i];
  volatile unsigned sink = sum;
  (void)sink;
#endif
}
