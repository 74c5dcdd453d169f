// What the processor offers beyond the build's baseline, for the wider paths.
#pragma once

// On x86-64 with GCC or Clang, functions marked KL_AVX2 or KL_CLMUL are
// compiled for those instructions and called only where has_avx2() or
// has_clmul() says the processor has them; elsewhere neither is defined and
// the plain paths serve.

#if defined(__SSE2__) && defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>

#define KL_AVX2 __attribute__((target("avx2")))
#define KL_CLMUL __attribute__((target("pclmul,sse4.1")))

namespace kestrin::preview {

inline bool has_avx2() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

inline bool has_clmul() {
  static const bool available =
      __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return available;
}

}  // namespace kestrin::preview
#endif
