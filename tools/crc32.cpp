#include "tools/crc32.h"

#include <zlib.h>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define PLB_CRC_FOLDING 1
#endif

namespace {

constexpr size_t kZlibChunk = size_t(1) << 30;
uint32_t ZlibCrc(uint32_t crc, const uint8_t* data, size_t n) {
  uLong c = crc;
  while (n > 0) {
    uInt part = static_cast<uInt>(n < kZlibChunk ? n : kZlibChunk);
    c = crc32(c, data, part);
    data += part;
    n -= part;
  }
  return static_cast<uint32_t>(c);
}

#ifdef PLB_CRC_FOLDING
// Folding constants for the reflected polynomial 0x04C11DB7 (powers of x modulo P, bit
// reflected): four-lane folding, one-lane folding, 128 to 64 bits, and the Barrett reduction
// (P and its quotient).
alignas(16) const uint64_t kK1K2[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) const uint64_t kK3K4[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) const uint64_t kK5K0[2] = {0x0163cd6124, 0x0000000000};
alignas(16) const uint64_t kPoly[2] = {0x01db710641, 0x01f7011641};

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const uint8_t* q) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// `n` is at least 64 and a multiple of 16; `crc` is the running value, inverted.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldedCrc(const uint8_t* p, size_t n, uint32_t crc) {
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kK1K2));
  for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
    x1 = Fold(x1, k, Load(p));
    x2 = Fold(x2, k, Load(p + 16));
    x3 = Fold(x3, k, Load(p + 32));
    x4 = Fold(x4, k, Load(p + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kK3K4));
  x1 = Fold(Fold(Fold(x1, k, x2), k, x3), k, x4);
  for (; n >= 16; p += 16, n -= 16) x1 = Fold(x1, k, Load(p));
  // 128 bits to 64, then the Barrett reduction to 32.
  const __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kK5K0));
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask), k, 0x00), _mm_srli_si128(x1, 4));
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kPoly));
  __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask), k, 0x10), mask);
  x1 = _mm_xor_si128(x1, _mm_clmulepi64_si128(t, k, 0x00));
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool HasFolding() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}
#endif
}  // namespace

uint32_t Crc32Of(const uint8_t* data, size_t n) {
  uint32_t crc = 0;
#ifdef PLB_CRC_FOLDING
  if (n >= 64 && HasFolding()) {
    size_t folded = n & ~size_t(15);
    crc = ~FoldedCrc(data, folded, ~crc);
    data += folded;
    n -= folded;
  }
#endif
  return ZlibCrc(crc, data, n);
}
