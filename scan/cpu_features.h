// Run-time choice between code compiled for every x86-64 (SSE2) and code
// compiled for AVX2. Both variants do the same IEEE and integer operations in
// the same order (no fused multiply-add), so their results are identical.
#pragma once

// Set to true to run the SSE2 variants where AVX2 is present too, so that
// tests can compare the two.
inline bool& sse2_only() {
  static bool only = false;
  return only;
}

inline bool cpu_has_avx2() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return supported && !sse2_only();
#else
  return false;
#endif
}
