// Run-time choice between code compiled for every x86-64 (SSE2), code
// compiled for AVX2 and code compiled for AVX-512. All variants do the same
// IEEE and integer operations in the same order (no fused multiply-add), so
// their results are identical; only the width of the vectors differs.
#pragma once

enum class SimdLevel { sse2 = 0, avx2 = 1, avx512 = 2 };

// What the AVX-512 variants are compiled for (the extensions simd_level()
// checks below).
#define AVX512_TARGET __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))

// The widest variant that may run. Lowered by tests to compare the variants
// on a processor that has the wider ones; never raised above what the
// processor has (simd_level() checks that).
inline SimdLevel& simd_ceiling() {
  static SimdLevel ceiling = SimdLevel::avx512;
  return ceiling;
}

// The widest variant the processor runs, within simd_ceiling().
inline SimdLevel simd_level() {
#if defined(__x86_64__) || defined(__i386__)
  static const SimdLevel supported = [] {
    __builtin_cpu_init();
    // The AVX-512 variants use 64-bit lane masks (DQ), byte and word lanes
    // (BW) and the 128/256-bit forms (VL) besides the foundation.
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
      return SimdLevel::avx512;
    if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
    return SimdLevel::sse2;
  }();
  return supported < simd_ceiling() ? supported : simd_ceiling();
#else
  return SimdLevel::sse2;
#endif
}

inline bool cpu_has_avx2() { return simd_level() >= SimdLevel::avx2; }
inline bool cpu_has_avx512() { return simd_level() >= SimdLevel::avx512; }
