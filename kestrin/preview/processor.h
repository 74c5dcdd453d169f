// What the processor offers beyond the build's baseline, for the wider paths.
#pragma once

// On x86-64 with GCC or Clang, functions marked KL_AVX2 are compiled for
// those instructions and called only where has_avx2() says the processor
// has them; elsewhere it is not defined and the plain path serves.

#if defined(__SSE2__) && defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>

#define KL_AVX2 __attribute__((target("avx2")))

namespace kestrin::preview {

inline bool has_avx2() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

}  // namespace kestrin::preview
#endif
