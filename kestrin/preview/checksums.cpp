// CRC-32 by slicing eight bytes at a time or by carry-less folding; Adler-32
// sixteen bytes at a time with SSE2.

#include "kestrin/preview/checksums.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "kestrin/preview/processor.h"

namespace kestrin::preview {

namespace {

// Slicing by eight: table[k][b] is the CRC of byte b followed by k zero bytes.
struct CrcTables {
  std::uint32_t table[8][256];
};

constexpr CrcTables make_crc_tables() {
  CrcTables t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t c = b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t.table[0][b] = c;
  }
  for (std::uint32_t b = 0; b < 256; ++b) {
    for (int k = 1; k < 8; ++k) {
      const std::uint32_t previous = t.table[k - 1][b];
      t.table[k][b] = (previous >> 8) ^ t.table[0][previous & 0xFF];
    }
  }
  return t;
}

constexpr CrcTables kCrcTables = make_crc_tables();

// The register's state, neither inverted going in nor coming out.
std::uint32_t crc_by_tables(std::uint32_t crc, const std::uint8_t* p, std::size_t size) {
  const auto& t = kCrcTables.table;
  for (; size >= 8; p += 8, size -= 8) {
    const std::uint32_t low =
        crc ^ (static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; size > 0; ++p, --size) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
  return crc;
}

#ifdef KL_CLMUL

// Folding by carry-less multiplication, after Intel's "Fast CRC Computation
// for Generic Polynomials Using PCLMULQDQ". Each constant is x to some power
// modulo the polynomial, bit-reflected, so that multiplying 128 bits by it
// moves them 512 or 128 bits on; the last two reduce 64 bits to 32 (Barrett).
KL_CLMUL inline __m128i fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

inline __m128i load(const std::uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The register's state as crc_by_tables; `size` is a multiple of 16, from 64.
KL_CLMUL std::uint32_t crc_by_folding(std::uint32_t crc, const std::uint8_t* p, std::size_t size) {
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
  p += 64;
  size -= 64;
  const __m128i by512 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  for (; size >= 64; p += 64, size -= 64) {
    x0 = _mm_xor_si128(fold(x0, by512), load(p));
    x1 = _mm_xor_si128(fold(x1, by512), load(p + 16));
    x2 = _mm_xor_si128(fold(x2, by512), load(p + 32));
    x3 = _mm_xor_si128(fold(x3, by512), load(p + 48));
  }
  const __m128i by128 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  x0 = _mm_xor_si128(fold(x0, by128), x1);
  x0 = _mm_xor_si128(fold(x0, by128), x2);
  x0 = _mm_xor_si128(fold(x0, by128), x3);
  for (; size >= 16; p += 16, size -= 16) x0 = _mm_xor_si128(fold(x0, by128), load(p));

  // 128 bits to 64, then to 32, then Barrett's reduction.
  const __m128i mask32 = _mm_setr_epi32(-1, 0, 0, 0);
  x0 = _mm_xor_si128(_mm_clmulepi64_si128(by128, x0, 0x01), _mm_srli_si128(x0, 8));
  const __m128i by32 = _mm_set_epi64x(0, 0x163cd6124);
  x0 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, mask32), by32, 0x00),
                     _mm_srli_si128(x0, 4));
  const __m128i barrett = _mm_set_epi64x(0x1f7011641, 0x1db710641);
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, mask32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), barrett, 0x00);
  return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(t, x0), 1));
}

#endif

constexpr std::uint32_t kAdlerModulus = 65521;
// The most bytes after which the sums, reduced, cannot pass 32 bits.
constexpr std::size_t kAdlerRun = 5552;

}  // namespace

std::uint32_t crc32(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size) {
  crc = ~crc;
#ifdef KL_CLMUL
  if (size >= 64 && has_clmul()) {
    const std::size_t folded = size & ~std::size_t{15};
    crc = crc_by_folding(crc, bytes, folded);
    bytes += folded;
    size -= folded;
  }
#endif
  return ~crc_by_tables(crc, bytes, size);
}

std::uint32_t adler32(std::uint32_t adler, const std::uint8_t* p, std::size_t size) {
  std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
  while (size > 0) {
    std::size_t run = std::min(size, kAdlerRun);
    size -= run;
#ifdef __SSE2__
    // Sixteen bytes a step: a gains their sum; b gains 16 a for each step
    // (counted in `steps_a`) and each byte weighted 16 down to 1.
    const std::size_t blocks = run / 16;
    if (blocks > 0) {
      const __m128i zero = _mm_setzero_si128();
      const __m128i high_weights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
      const __m128i low_weights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
      __m128i sum = zero, steps_a = zero, weighted = zero;
      for (std::size_t i = 0; i < blocks; ++i, p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        steps_a = _mm_add_epi32(steps_a, sum);
        sum = _mm_add_epi32(sum, _mm_sad_epu8(v, zero));
        weighted =
            _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), high_weights));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), low_weights));
      }
      const auto total = [](__m128i v) {
        std::uint32_t lanes[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), v);
        return std::uint64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
      };
      const std::uint64_t bytes = 16 * blocks;
      b = static_cast<std::uint32_t>((b + bytes * a + 16 * total(steps_a) + total(weighted)) %
                                     kAdlerModulus);
      a = static_cast<std::uint32_t>((a + total(sum)) % kAdlerModulus);
      run -= bytes;
    }
#endif
    for (; run > 0; --run, ++p) {
      a += *p;
      b += a;
    }
    a %= kAdlerModulus;
    b %= kAdlerModulus;
  }
  return b << 16 | a;
}

}  // namespace kestrin::preview
